#include "record/LMRRecordSQLite.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "record/RecordName.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QThread>

#include <map>

namespace
{
const QString kConnection = QStringLiteral("lumiraRecordSql.db");
const QString kCreateTable = QStringLiteral(
    "CREATE TABLE RecordStatus (Token TEXT NOT NULL,UserID TEXT,Role TEXT,RecordStartTime TEXT,RecordStopTime "
    "TEXT,RecordUpload TEXT,Date DATE,Time TEXT,Del TEXT)");
// The store's own connections never wait on each other: its lock orders them
// and none keeps a snapshot between calls. Another process on the file (a
// tool, a second client) can hold the write lock for a moment. The wait is
// kept short because the heartbeat waits holding the store's lock, and the
// recorder's thread with it.
constexpr int kBusyTimeoutMs = 2000;

TSpdlog *log() { return TSpdlog::instance(); }
} // namespace

struct LMRRecordSQLite::ThreadConnection {
    QString name;
    QSqlDatabase db;
    std::unique_ptr<QSqlTableModel> model; // null when the file did not open
    std::unique_ptr<QSqlQuery> stopTimeWrite; // the heartbeat's statement, prepared once
    QMetaObject::Connection threadEnd;

    ~ThreadConnection()
    {
        QObject::disconnect(threadEnd);
        // The statement, the model and this handle keep the connection in
        // use: all go before its name does.
        stopTimeWrite.reset();
        model.reset();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

struct LMRRecordSQLite::Connections {
    QMutex mutex; // orders every operation of the store, on any thread
    std::map<QThread *, std::unique_ptr<ThreadConnection>> byThread;
    int derived = 0; // connections named after the first so far

    void release(QThread *thread)
    {
        QMutexLocker lock(&mutex);
        byThread.erase(thread);
    }
};

// One operation: the store's lock and the calling thread's model. Leaving it
// ends the model's query: a select that stopped part way (the whole-table
// select after an add reads only the first rows of a long table) keeps a
// read snapshot until that thread's next call. In WAL mode a snapshot held by
// an idle thread stops every checkpoint, and the -wal file would take every
// heartbeat of the lesson.
class LMRRecordSQLite::Operation
{
public:
    explicit Operation(LMRRecordSQLite &store)
        : m_lock(&store.m_connections->mutex)
    {
        m_connection = store.threadConnection();
        if (m_connection)
            m_model = m_connection->model.get();
    }
    ~Operation()
    {
        if (m_model)
            m_model->query().finish();
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

    QSqlTableModel *model() const { return m_model; }
    ThreadConnection *connection() const { return m_connection; }

private:
    QMutexLocker m_lock;
    ThreadConnection *m_connection = nullptr;
    QSqlTableModel *m_model = nullptr;
};

LMRRecordSQLite *LMRRecordSQLite::instance()
{
    static LMRRecordSQLite store(DirHelper::instance()->dbPath() + QStringLiteral("/lumiraRecordSql.db"), kConnection);
    return &store;
}

LMRRecordSQLite::LMRRecordSQLite(const QString &filePath, const QString &connectionName, RecordClock clock)
    : m_filePath(filePath)
    , m_connectionName(connectionName)
    , m_clock(std::move(clock))
    , m_connections(std::make_shared<Connections>())
{
    std::unique_ptr<ThreadConnection> first = open(connectionName);
    if (!first->model) {
        log()->otherError(QStringLiteral("数据库: 数据库打开失败"));
        return;
    }
    log()->otherInfo(QStringLiteral("数据库: 数据库打开成功"));
    m_opened = true;
    watchThreadEnd(QThread::currentThread(), *first);
    m_connections->byThread.emplace(QThread::currentThread(), std::move(first));
}

LMRRecordSQLite::~LMRRecordSQLite()
{
    // Connections of threads still running close here, on this thread; a
    // thread that ends meanwhile finds nothing left to release.
    QMutexLocker lock(&m_connections->mutex);
    m_connections->byThread.clear();
}

std::unique_ptr<LMRRecordSQLite::ThreadConnection> LMRRecordSQLite::open(const QString &name) const
{
    auto connection = std::make_unique<ThreadConnection>();
    connection->name = name;
    QSqlDatabase &db = connection->db;
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_filePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return connection;
    QSqlQuery(db).exec(kCreateTable); // fails harmlessly when the table exists
    // The recorder's heartbeat commits ten times a second. A write-ahead log
    // without a sync per commit keeps that cheap and still survives a crash
    // of the client; only a power cut can lose the last heartbeats, which
    // only shortens the silence padded on resume. The log mode stays with
    // the file, the sync level is each connection's own.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    connection->model = std::make_unique<QSqlTableModel>(nullptr, db);
    connection->model->setTable(QStringLiteral("RecordStatus"));
    connection->model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    return connection;
}

void LMRRecordSQLite::watchThreadEnd(QThread *thread, ThreadConnection &connection)
{
    // Direct, so the connection closes on its own thread as that ends. The
    // store may be gone by then: the hook holds only the shared part.
    std::weak_ptr<Connections> connections = m_connections;
    connection.threadEnd = QObject::connect(
        thread, &QThread::finished, thread,
        [connections, thread] {
            if (const std::shared_ptr<Connections> alive = connections.lock())
                alive->release(thread);
        },
        Qt::DirectConnection);
}

LMRRecordSQLite::ThreadConnection *LMRRecordSQLite::threadConnection()
{
    if (!m_opened)
        return nullptr;
    QThread *thread = QThread::currentThread();
    auto &byThread = m_connections->byThread;
    const auto found = byThread.find(thread);
    if (found != byThread.end())
        return found->second.get();
    std::unique_ptr<ThreadConnection> connection
        = open(m_connectionName + QLatin1Char('#') + QString::number(++m_connections->derived));
    // A connection that did not open is kept all the same: the thread's
    // calls fail from then on without another attempt, or another line.
    if (!connection->model)
        log()->otherError(QStringLiteral("数据库: 数据库打开失败"));
    watchThreadEnd(thread, *connection);
    return byThread.emplace(thread, std::move(connection)).first->second.get();
}

QString LMRRecordSQLite::quoted(const QString &value)
{
    QString text = value;
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

int LMRRecordSQLite::selectPair(QSqlTableModel *model, const QString &token, const QString &userID)
{
    if (!model)
        return -1;
    model->setFilter(QStringLiteral("Token=%1 AND UserID=%2").arg(quoted(token), quoted(userID)));
    if (!model->select())
        return -1;
    while (model->canFetchMore())
        model->fetchMore();
    return model->rowCount();
}

bool LMRRecordSQLite::add(QString token, QString userID, QString role)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (!model) {
        log()->otherError(QStringLiteral("数据库: 数据库add失败,token:%1,userID:%2,role:%3").arg(token, userID, role));
        return false;
    }
    model->setFilter(QString());
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(m_clock());
    const QString ms = QString::number(now.toMSecsSinceEpoch());
    QSqlRecord record = model->record();
    record.setValue(QStringLiteral("Token"), token);
    record.setValue(QStringLiteral("UserID"), userID);
    record.setValue(QStringLiteral("Role"), role);
    record.setValue(QStringLiteral("RecordStartTime"), ms);
    record.setValue(QStringLiteral("RecordStopTime"), ms);
    record.setValue(QStringLiteral("RecordUpload"), QStringLiteral("null"));
    record.setValue(QStringLiteral("Date"), now.toString(QStringLiteral("yyyy-MM-dd")));
    record.setValue(QStringLiteral("Time"), now.toString(QStringLiteral("hh:mm:ss:zzz")));
    record.setValue(QStringLiteral("Del"), 0);
    const bool ok = model->insertRecord(-1, record) && model->submitAll();
    if (!ok) {
        log()->otherError(QStringLiteral("数据库: 数据库add失败,token:%1,userID:%2,role:%3").arg(token, userID, role));
        model->revertAll();
    }
    return ok;
}

bool LMRRecordSQLite::writeColumn(QSqlTableModel *model, const QString &column, const QVariant &value)
{
    QSqlRecord record = model->record(0);
    record.setValue(column, value);
    const bool ok = model->setRecord(0, record) && model->submitAll();
    if (!ok) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,com:%1,msg:%2").arg(column, value.toString()));
        model->revertAll();
    }
    return ok;
}

// The heartbeat, ten times a second for the whole lesson: one prepared
// statement that writes the stop time only when exactly one row matches, as
// the model's select, set and submit would, at a fraction of their cost.
bool LMRRecordSQLite::writeStopTime(const QString &token, const QString &userID, qint64 stopTime)
{
    Operation op(*this);
    ThreadConnection *connection = op.connection();
    if (!op.model()) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    if (!connection->stopTimeWrite) {
        auto query = std::make_unique<QSqlQuery>(connection->db);
        if (!query->prepare(QStringLiteral(
                "UPDATE RecordStatus SET RecordStopTime=? WHERE rowid=(SELECT rowid FROM RecordStatus WHERE "
                "Token=? AND UserID=?) AND (SELECT COUNT(*) FROM RecordStatus WHERE Token=? AND UserID=?)=1"))) {
            log()->otherError(QStringLiteral("数据库: 数据库update失败,com:%1,msg:%2")
                                  .arg(QStringLiteral("RecordStopTime"), QString::number(stopTime)));
            return false;
        }
        connection->stopTimeWrite = std::move(query);
    }
    QSqlQuery &query = *connection->stopTimeWrite;
    query.bindValue(0, QString::number(stopTime));
    query.bindValue(1, token);
    query.bindValue(2, userID);
    query.bindValue(3, token);
    query.bindValue(4, userID);
    const bool ran = query.exec();
    const int rows = ran ? query.numRowsAffected() : 0;
    query.finish();
    if (!ran) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,com:%1,msg:%2")
                              .arg(QStringLiteral("RecordStopTime"), QString::number(stopTime)));
        return false;
    }
    if (rows != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    return true;
}

bool LMRRecordSQLite::update(QString token, QString userID, RecordStatusChange change)
{
    if (change.stopTime >= 0 && change.upload.isEmpty() && change.del != 1 && change.userID.isEmpty())
        return writeStopTime(token, userID, change.stopTime);
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (selectPair(model, token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    bool ok = true;
    // Each column is its own write; the row stays selected because the filter
    // names the old user id only until that column is written last.
    if (change.stopTime >= 0)
        ok = writeColumn(model, QStringLiteral("RecordStopTime"), QString::number(change.stopTime));
    if (!change.upload.isEmpty() && model->rowCount() == 1)
        ok = writeColumn(model, QStringLiteral("RecordUpload"), change.upload);
    if (change.del == 1 && model->rowCount() == 1)
        ok = writeColumn(model, QStringLiteral("Del"), QStringLiteral("1"));
    if (!change.userID.isEmpty() && model->rowCount() == 1)
        ok = writeColumn(model, QStringLiteral("UserID"), change.userID);
    return ok;
}

bool LMRRecordSQLite::retire(const QString &token, const QString &userID)
{
    Operation op(*this);
    ThreadConnection *connection = op.connection();
    if (!op.model()) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    QSqlQuery query(connection->db);
    bool ok = query.prepare(QStringLiteral("UPDATE RecordStatus SET UserID='0' WHERE Token=? AND UserID=?"));
    if (ok) {
        query.bindValue(0, token);
        query.bindValue(1, userID);
        ok = query.exec();
    }
    query.finish();
    if (!ok)
        log()->otherError(
            QStringLiteral("数据库: 数据库update失败,com:%1,msg:%2").arg(QStringLiteral("UserID"), token));
    return ok;
}

bool LMRRecordSQLite::getTokenIsNotEmpty(QString token, QString userID)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (selectPair(model, token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getTokenIsNotEmpty失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    return true;
}

qint64 LMRRecordSQLite::getRecordStopTime(QString token, QString userID)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (selectPair(model, token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getRecordStopTime失败,token:%1,userID:%2").arg(token, userID));
        return 0;
    }
    return model->record(0).value(QStringLiteral("RecordStopTime")).toString().toLongLong();
}

QString LMRRecordSQLite::getDate(QString token, QString userID)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (selectPair(model, token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getDate失败,token:%1,userID:%2").arg(token, userID));
        return QString();
    }
    return model->record(0).value(QStringLiteral("Date")).toString();
}

QString LMRRecordSQLite::getRole(QString token, QString userID)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    if (selectPair(model, token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getRole失败,token:%1,userID:%2").arg(token, userID));
        return QString();
    }
    return model->record(0).value(QStringLiteral("Role")).toString();
}

QStringList LMRRecordSQLite::tokensWhere(
    QSqlTableModel *model, const QString &filter, const std::function<bool(int row)> &keep)
{
    QStringList tokens;
    if (!model)
        return tokens;
    model->setFilter(filter);
    if (!model->select())
        return tokens;
    while (model->canFetchMore())
        model->fetchMore();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString token = model->record(row).value(QStringLiteral("Token")).toString();
        if (!keep(row) || tokens.contains(token))
            continue;
        // Listed tokens become file names in the record directory; an old or
        // tampered table may hold anything.
        if (!recordname::isPlainFileName(token)) {
            TSpdlog::instance()->otherError(QStringLiteral("数据库: 跳过不合法的录制名:") + recordname::forLog(token));
            continue;
        }
        tokens << token;
    }
    return tokens;
}

QStringList LMRRecordSQLite::getDeletableTokens()
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    const auto all = [](int) { return true; };
    QStringList tokens = tokensWhere(
        model, QStringLiteral("Del=0 AND date('now', '-3 day') >= date(Date) AND RecordUpload !='null'"), all);
    for (const QString &token :
        tokensWhere(model, QStringLiteral("Del=0 AND date('now', '-30 day') >= date(Date)"), all))
        if (!tokens.contains(token))
            tokens << token;
    return tokens;
}

QStringList LMRRecordSQLite::getUnuploadedTokens(QString userID)
{
    Operation op(*this);
    QSqlTableModel *model = op.model();
    // Ids are numbers and go in as they are; anything else is quoted so that
    // it can only ever match itself.
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    const QString id = number.match(userID).hasMatch() ? userID : quoted(userID);
    const qint64 now = m_clock();
    return tokensWhere(model, QStringLiteral("UserID=%1 AND RecordUpload='null'").arg(id), [&](int row) {
        const qint64 stop = model->record(row).value(QStringLiteral("RecordStopTime")).toString().toLongLong();
        return now - stop > kIdleBeforeAutoUploadMs;
    });
}
