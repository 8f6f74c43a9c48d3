#include "record/LMRRecordSQLite.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>

namespace
{
const QString kConnection = QStringLiteral("lumiraRecordSql.db");
const QString kCreateTable = QStringLiteral(
    "CREATE TABLE RecordStatus (Token TEXT NOT NULL,UserID TEXT,Role TEXT,RecordStartTime TEXT,RecordStopTime "
    "TEXT,RecordUpload TEXT,Date DATE,Time TEXT,Del TEXT)");

TSpdlog *log() { return TSpdlog::instance(); }
} // namespace

LMRRecordSQLite *LMRRecordSQLite::instance()
{
    static LMRRecordSQLite store(DirHelper::instance()->dbPath() + QStringLiteral("/lumiraRecordSql.db"), kConnection);
    return &store;
}

LMRRecordSQLite::LMRRecordSQLite(const QString &filePath, const QString &connectionName, RecordClock clock)
    : m_connectionName(connectionName)
    , m_clock(std::move(clock))
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    m_db.setDatabaseName(filePath);
    if (!m_db.open()) {
        log()->otherError(QStringLiteral("数据库: 数据库打开失败"));
        return;
    }
    log()->otherInfo(QStringLiteral("数据库: 数据库打开成功"));
    QSqlQuery(m_db).exec(kCreateTable); // fails harmlessly when the table exists
    // The recorder's heartbeat commits ten times a second. A write-ahead log
    // without a sync per commit keeps that cheap and still survives a crash
    // of the client; only a power cut can lose the last heartbeats, which
    // only shortens the silence padded on resume.
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    m_model = std::make_unique<QSqlTableModel>(nullptr, m_db);
    m_model->setTable(QStringLiteral("RecordStatus"));
    m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
}

LMRRecordSQLite::~LMRRecordSQLite()
{
    m_model.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString LMRRecordSQLite::quoted(const QString &value)
{
    QString text = value;
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

int LMRRecordSQLite::selectPair(const QString &token, const QString &userID)
{
    if (!m_model)
        return -1;
    m_model->setFilter(QStringLiteral("Token=%1 AND UserID=%2").arg(quoted(token), quoted(userID)));
    if (!m_model->select())
        return -1;
    while (m_model->canFetchMore())
        m_model->fetchMore();
    return m_model->rowCount();
}

bool LMRRecordSQLite::add(QString token, QString userID, QString role)
{
    QMutexLocker lock(&m_mutex);
    if (!m_model) {
        log()->otherError(QStringLiteral("数据库: 数据库add失败,token:%1,userID:%2,role:%3").arg(token, userID, role));
        return false;
    }
    m_model->setFilter(QString());
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(m_clock());
    const QString ms = QString::number(now.toMSecsSinceEpoch());
    QSqlRecord record = m_model->record();
    record.setValue(QStringLiteral("Token"), token);
    record.setValue(QStringLiteral("UserID"), userID);
    record.setValue(QStringLiteral("Role"), role);
    record.setValue(QStringLiteral("RecordStartTime"), ms);
    record.setValue(QStringLiteral("RecordStopTime"), ms);
    record.setValue(QStringLiteral("RecordUpload"), QStringLiteral("null"));
    record.setValue(QStringLiteral("Date"), now.toString(QStringLiteral("yyyy-MM-dd")));
    record.setValue(QStringLiteral("Time"), now.toString(QStringLiteral("hh:mm:ss:zzz")));
    record.setValue(QStringLiteral("Del"), 0);
    const bool ok = m_model->insertRecord(-1, record) && m_model->submitAll();
    if (!ok) {
        log()->otherError(QStringLiteral("数据库: 数据库add失败,token:%1,userID:%2,role:%3").arg(token, userID, role));
        m_model->revertAll();
    }
    return ok;
}

bool LMRRecordSQLite::writeColumn(const QString &column, const QVariant &value)
{
    QSqlRecord record = m_model->record(0);
    record.setValue(column, value);
    const bool ok = m_model->setRecord(0, record) && m_model->submitAll();
    if (!ok) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,com:%1,msg:%2").arg(column, value.toString()));
        m_model->revertAll();
    }
    return ok;
}

bool LMRRecordSQLite::update(QString token, QString userID, RecordStatusChange change)
{
    QMutexLocker lock(&m_mutex);
    if (selectPair(token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库update失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    bool ok = true;
    // Each column is its own write; the row stays selected because the filter
    // names the old user id only until that column is written last.
    if (change.stopTime >= 0)
        ok = writeColumn(QStringLiteral("RecordStopTime"), QString::number(change.stopTime));
    if (!change.upload.isEmpty() && m_model->rowCount() == 1)
        ok = writeColumn(QStringLiteral("RecordUpload"), change.upload);
    if (change.del == 1 && m_model->rowCount() == 1)
        ok = writeColumn(QStringLiteral("Del"), QStringLiteral("1"));
    if (!change.userID.isEmpty() && m_model->rowCount() == 1)
        ok = writeColumn(QStringLiteral("UserID"), change.userID);
    return ok;
}

bool LMRRecordSQLite::getTokenIsNotEmpty(QString token, QString userID)
{
    QMutexLocker lock(&m_mutex);
    if (selectPair(token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getTokenIsNotEmpty失败,token:%1,userID:%2").arg(token, userID));
        return false;
    }
    return true;
}

qint64 LMRRecordSQLite::getRecordStopTime(QString token, QString userID)
{
    QMutexLocker lock(&m_mutex);
    if (selectPair(token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getRecordStopTime失败,token:%1,userID:%2").arg(token, userID));
        return 0;
    }
    return m_model->record(0).value(QStringLiteral("RecordStopTime")).toString().toLongLong();
}

QString LMRRecordSQLite::getDate(QString token, QString userID)
{
    QMutexLocker lock(&m_mutex);
    if (selectPair(token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getDate失败,token:%1,userID:%2").arg(token, userID));
        return QString();
    }
    return m_model->record(0).value(QStringLiteral("Date")).toString();
}

QString LMRRecordSQLite::getRole(QString token, QString userID)
{
    QMutexLocker lock(&m_mutex);
    if (selectPair(token, userID) != 1) {
        log()->otherError(QStringLiteral("数据库: 数据库getRole失败,token:%1,userID:%2").arg(token, userID));
        return QString();
    }
    return m_model->record(0).value(QStringLiteral("Role")).toString();
}

QStringList LMRRecordSQLite::tokensWhere(const QString &filter, const std::function<bool(int row)> &keep)
{
    QStringList tokens;
    if (!m_model)
        return tokens;
    m_model->setFilter(filter);
    if (!m_model->select())
        return tokens;
    while (m_model->canFetchMore())
        m_model->fetchMore();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString token = m_model->record(row).value(QStringLiteral("Token")).toString();
        if (keep(row) && !tokens.contains(token))
            tokens << token;
    }
    return tokens;
}

QStringList LMRRecordSQLite::getDeletableTokens()
{
    QMutexLocker lock(&m_mutex);
    const auto all = [](int) { return true; };
    QStringList tokens
        = tokensWhere(QStringLiteral("Del=0 AND date('now', '-3 day') >= date(Date) AND RecordUpload !='null'"), all);
    for (const QString &token : tokensWhere(QStringLiteral("Del=0 AND date('now', '-30 day') >= date(Date)"), all))
        if (!tokens.contains(token))
            tokens << token;
    return tokens;
}

QStringList LMRRecordSQLite::getUnuploadedTokens(QString userID)
{
    QMutexLocker lock(&m_mutex);
    // Ids are numbers and go in as they are; anything else is quoted so that
    // it can only ever match itself.
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    const QString id = number.match(userID).hasMatch() ? userID : quoted(userID);
    const qint64 now = m_clock();
    return tokensWhere(QStringLiteral("UserID=%1 AND RecordUpload='null'").arg(id), [&](int row) {
        const qint64 stop = m_model->record(row).value(QStringLiteral("RecordStopTime")).toString().toLongLong();
        return now - stop > kIdleBeforeAutoUploadMs;
    });
}
