// The recording status table on a real SQLite file, alone and from several
// threads at once.
#include "GTestMain.h"
#include "RecordCheck.h"
#include "TestEnv.h"

#include "record/LMRRecordSQLite.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using recordcheck::freshDir;
using recordcheck::ManualClock;
using recordcheck::rowCount;
using testenv::logText;

namespace
{

// Runs SQL on the store's file through a second connection, as another tool
// would; gives the first value of the first row, or -1.
int sql(const QString &file, const QString &statement)
{
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
        db.setDatabaseName(file);
        QSqlQuery query(db);
        const bool ok = db.open() && query.exec(statement);
        EXPECT_TRUE(ok) << statement.toStdString();
        if (ok && query.next())
            value = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
    return value;
}

// The store's connections: its own name and the names made from it.
QStringList connectionsOf(const QString &store)
{
    return QSqlDatabase::connectionNames().filter(QRegularExpression("^" + QRegularExpression::escape(store)));
}

// Counts down to zero; waiting yields until it gets there.
void arrive(std::atomic<int> &count) { --count; }
void awaitZero(const std::atomic<int> &count)
{
    while (count > 0)
        QThread::yieldCurrentThread();
}

// A thread with an event loop that runs calls one at a time, as the recorder's threads run their slots.
class Worker
{
public:
    Worker()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~Worker() { stop(); }
    void run(const std::function<void()> &work) // returns once `work` has run
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }
    void post(const std::function<void()> &work) { QMetaObject::invokeMethod(&m_context, work, Qt::QueuedConnection); }
    void stop()
    {
        m_thread.quit();
        m_thread.wait();
    }

private:
    QThread m_thread;
    QObject m_context;
};

// Qt's warnings from any thread (a connection used on the wrong thread, a
// connection removed while in use); they still reach stderr.
QMutex warningLock;
QStringList warnings;
std::atomic<QtMessageHandler> previousHandler { nullptr };
void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type >= QtWarningMsg) {
        QMutexLocker lock(&warningLock);
        warnings << text;
    }
    if (QtMessageHandler previous = previousHandler)
        previous(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}
struct CollectWarnings {
    CollectWarnings() { previousHandler = qInstallMessageHandler(collectWarnings); }
    ~CollectWarnings()
    {
        qInstallMessageHandler(previousHandler);
        QMutexLocker lock(&warningLock);
        warnings.clear();
    }
};

// What a store that cannot reach its file answers, on whichever thread.
void expectEveryCallFails(LMRRecordSQLite &db)
{
    EXPECT_FALSE(db.add("a", "1", "teacher"));
    EXPECT_FALSE(db.update("a", "1", RecordStatusChange()));
    EXPECT_FALSE(db.getTokenIsNotEmpty("a", "1"));
    EXPECT_EQ(db.getRecordStopTime("a", "1"), 0);
    EXPECT_TRUE(db.getDate("a", "1").isEmpty());
    EXPECT_TRUE(db.getRole("a", "1").isEmpty());
    EXPECT_TRUE(db.getDeletableTokens().isEmpty());
    EXPECT_TRUE(db.getUnuploadedTokens("1").isEmpty());
}

RecordStatusChange stopAt(qint64 ms)
{
    RecordStatusChange change;
    change.stopTime = ms;
    return change;
}

RecordStatusChange uploadTo(const QString &url)
{
    RecordStatusChange change;
    change.upload = url;
    return change;
}

const QString kOpened = QStringLiteral("数据库: 数据库打开成功");
const QString kNotOpened = QStringLiteral("数据库: 数据库打开失败");

} // namespace

// ---- status table ---------------------------------------------------------

TEST(RecordStatus, RowLifecycleAndTheSingleRowRule)
{
    const QString file = freshDir("db1") + "/lumiraRecordSql.db";
    ManualClock t;
    LMRRecordSQLite db(file, "db1", t.clock());
    ASSERT_TRUE(db.isOpen());
    EXPECT_TRUE(logText().contains(kOpened));

    EXPECT_TRUE(db.add("lesson-1", "10001", "teacher"));
    EXPECT_TRUE(db.getTokenIsNotEmpty("lesson-1", "10001"));
    EXPECT_EQ(db.getRecordStopTime("lesson-1", "10001"), t.now);
    EXPECT_EQ(db.getRole("lesson-1", "10001"), "teacher");
    EXPECT_EQ(db.getDate("lesson-1", "10001"), QDateTime::fromMSecsSinceEpoch(t.now).toString("yyyy-MM-dd"));
    EXPECT_EQ(rowCount(file, "Token='lesson-1' AND RecordUpload='null' AND Del='0'"), 1);

    const RecordStatusChange beat = stopAt(t.now + 5000);
    EXPECT_TRUE(db.update("lesson-1", "10001", beat));
    EXPECT_EQ(db.getRecordStopTime("lesson-1", "10001"), t.now + 5000);
    EXPECT_TRUE(db.update("lesson-1", "10001", uploadTo("https://bucket/lesson-1.mp3")));
    EXPECT_EQ(rowCount(file, "RecordUpload='https://bucket/lesson-1.mp3'"), 1);

    // Unknown pairs: no row, no time, nothing to update.
    EXPECT_FALSE(db.getTokenIsNotEmpty("lesson-x", "10001"));
    EXPECT_EQ(db.getRecordStopTime("lesson-x", "10001"), 0);
    EXPECT_FALSE(db.update("lesson-x", "10001", beat));
    EXPECT_TRUE(logText().contains(QStringLiteral("数据库: 数据库update失败,token:lesson-x,userID:10001")));

    // Two rows for one pair: every single-row operation refuses, the retiring update too.
    EXPECT_TRUE(db.add("lesson-2", "10001", "student"));
    EXPECT_TRUE(db.add("lesson-2", "10001", "student"));
    EXPECT_FALSE(db.getTokenIsNotEmpty("lesson-2", "10001"));
    EXPECT_EQ(db.getRecordStopTime("lesson-2", "10001"), 0);
    EXPECT_EQ(db.getDate("lesson-2", "10001"), QString());
    EXPECT_EQ(db.getRole("lesson-2", "10001"), QString());
    RecordStatusChange retire;
    retire.userID = "0";
    EXPECT_FALSE(db.update("lesson-2", "10001", retire));
    EXPECT_EQ(rowCount(file, "Token='lesson-2' AND UserID='10001'"), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("数据库: 数据库getRole失败,token:lesson-2,userID:10001")));

    // Retiring a single row relabels it; a new row then stands alone.
    EXPECT_TRUE(db.update("lesson-1", "10001", retire));
    EXPECT_FALSE(db.getTokenIsNotEmpty("lesson-1", "10001"));
    EXPECT_EQ(rowCount(file, "Token='lesson-1' AND UserID='0'"), 1);
    EXPECT_TRUE(db.add("lesson-1", "10001", "teacher"));
    EXPECT_TRUE(db.getTokenIsNotEmpty("lesson-1", "10001"));
}

TEST(RecordStatus, QuotesInTokensStayInsideTheirRow)
{
    const QString file = freshDir("db2") + "/lumiraRecordSql.db";
    ManualClock t;
    LMRRecordSQLite db(file, "db2", t.clock());
    ASSERT_TRUE(db.add("plain", "10001", "teacher"));
    ASSERT_TRUE(db.add("o'brien", "10001", "student"));
    const QString sneaky = "x' OR '1'='1";
    EXPECT_FALSE(db.getTokenIsNotEmpty(sneaky, "10001")) << "must not match every row";
    RecordStatusChange del;
    del.del = 1;
    EXPECT_FALSE(db.update(sneaky, "10001", del));
    EXPECT_EQ(rowCount(file, "Del='1'"), 0);
    EXPECT_TRUE(db.update("o'brien", "10001", del));
    EXPECT_EQ(rowCount(file, "Del='1' AND Token='o''brien'"), 1);
    EXPECT_EQ(rowCount(file, "Del='0' AND Token='plain'"), 1);
    EXPECT_EQ(db.getRole("o'brien", "10001"), "student");

    // A user id that is not a number only ever matches itself.
    t.now += LMRRecordSQLite::kIdleBeforeAutoUploadMs + 1;
    EXPECT_EQ(db.getUnuploadedTokens("1 OR 1=1"), QStringList());
    EXPECT_EQ(db.getUnuploadedTokens("10001' --"), QStringList());
    QStringList idle = db.getUnuploadedTokens("10001");
    idle.sort();
    EXPECT_EQ(idle, QStringList({ "o'brien", "plain" }));
}

TEST(RecordStatus, IdleAndAgeBoundaries)
{
    const QString file = freshDir("db3") + "/lumiraRecordSql.db";
    ManualClock t;
    LMRRecordSQLite db(file, "db3", t.clock());
    ASSERT_TRUE(db.add("idle", "10001", "teacher"));
    const qint64 stop = t.now;
    t.now = stop + 2 * 3600 * 1000;
    EXPECT_TRUE(db.getUnuploadedTokens("10001").isEmpty()) << "2 h idle";
    t.now = stop + LMRRecordSQLite::kIdleBeforeAutoUploadMs;
    EXPECT_TRUE(db.getUnuploadedTokens("10001").isEmpty()) << "exactly 3 h";
    t.now = stop + LMRRecordSQLite::kIdleBeforeAutoUploadMs + 1;
    EXPECT_EQ(db.getUnuploadedTokens("10001"), QStringList({ "idle" }));
    EXPECT_TRUE(db.getUnuploadedTokens("20002").isEmpty());

    // Uploaded rows go after 3 days, all rows after 30; deleted rows never again.
    for (const char *token : { "up2", "up3", "raw29", "raw30", "gone" })
        ASSERT_TRUE(db.add(token, "10001", "t"));
    sql(file, "UPDATE RecordStatus SET RecordUpload='url', Date=date('now','-2 day') WHERE Token='up2'");
    sql(file, "UPDATE RecordStatus SET RecordUpload='url', Date=date('now','-3 day') WHERE Token='up3'");
    sql(file, "UPDATE RecordStatus SET Date=date('now','-29 day') WHERE Token='raw29'");
    sql(file, "UPDATE RecordStatus SET Date=date('now','-30 day') WHERE Token='raw30'");
    sql(file, "UPDATE RecordStatus SET Del='1', Date=date('now','-40 day') WHERE Token='gone'");
    QStringList deletable = db.getDeletableTokens();
    deletable.sort();
    EXPECT_EQ(deletable, QStringList({ "raw30", "up3" }));
}

// ---- status table across threads ------------------------------------------

TEST(RecordStatusThreads, FourThreadsAtOnceKeepTheirRowsAndSeeEachOthers)
{
    CollectWarnings collect;
    const QString file = freshDir("four") + "/lumiraRecordSql.db";
    const int openedBefore = logText().count(kOpened);
    ManualClock t;
    {
        LMRRecordSQLite db(file, "four", t.clock());
        constexpr int kThreads = 4;
        constexpr int kTokens = 40;
        const auto token = [](int thread, int k) { return QStringLiteral("w%1-%2").arg(thread).arg(k); };
        const auto user = [](int thread) { return QString::number(20001 + thread); };
        const auto stopOf = [&](int thread, int k) { return t.now + 1000 * thread + k + 1; };

        std::atomic<int> written { kThreads }, checked { kThreads }, leave { 1 };
        std::vector<QStringList> wrong(kThreads);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back(QThread::create([&, i] {
                QStringList &bad = wrong[size_t(i)];
                const QString role = i % 2 ? QStringLiteral("student") : QStringLiteral("teacher");
                for (int k = 0; k < kTokens; ++k) {
                    const QString tok = token(i, k);
                    if (!db.add(tok, user(i), role))
                        bad << "add " + tok;
                    if (!db.update(tok, user(i), stopAt(stopOf(i, k))))
                        bad << "beat " + tok;
                    if (k % 2 == 0 && !db.update(tok, user(i), uploadTo("https://bucket/" + tok)))
                        bad << "upload " + tok;
                    if (db.getRecordStopTime(tok, user(i)) != stopOf(i, k))
                        bad << "stop time of " + tok;
                    if (db.getRole(tok, user(i)) != role)
                        bad << "role of " + tok;
                }
                // Everything the others wrote is committed by now.
                arrive(written);
                awaitZero(written);
                for (int j = 0; j < kThreads; ++j)
                    for (int k = 0; k < kTokens; ++k)
                        if (db.getRecordStopTime(token(j, k), user(j)) != stopOf(j, k))
                            bad << "sees " + token(j, k);
                arrive(checked);
                awaitZero(leave);
            }));
            threads.back()->start();
        }
        // The GUI thread goes on meanwhile.
        for (int k = 0; k < kTokens; ++k)
            EXPECT_TRUE(db.add(token(9, k), user(9), "teacher"));
        awaitZero(checked);
        const QStringList whileRunning = connectionsOf("four");
        arrive(leave);
        for (const auto &thread : threads)
            thread->wait();

        for (int i = 0; i < kThreads; ++i)
            EXPECT_TRUE(wrong[size_t(i)].isEmpty())
                << "thread " << i << ": " << wrong[size_t(i)].join(", ").toStdString();
        EXPECT_EQ(whileRunning.size(), 1 + kThreads) << whileRunning.join(", ").toStdString();
        EXPECT_TRUE(whileRunning.contains("four")) << "the first connection keeps the store's name";
        EXPECT_EQ(connectionsOf("four"), QStringList({ "four" })) << "the ended threads gave theirs back";
        EXPECT_EQ(rowCount(file, "Token LIKE 'w%'"), (kThreads + 1) * kTokens);
        EXPECT_EQ(rowCount(file, "RecordUpload LIKE 'https://bucket/w%'"), kThreads * kTokens / 2);
        EXPECT_EQ(logText().count(kOpened) - openedBefore, 1) << "one line for the store, not one per thread";
    }
    EXPECT_TRUE(connectionsOf("four").isEmpty());
    QMutexLocker lock(&warningLock);
    EXPECT_EQ(warnings, QStringList());
}

TEST(RecordStatusThreads, ConnectionsGoWithTheirThreadsOrWithTheStore)
{
    CollectWarnings collect;
    const QString file = freshDir("ends") + "/lumiraRecordSql.db";

    // Made on a thread that then ends: its connection goes, the store stays usable.
    std::unique_ptr<LMRRecordSQLite> db;
    std::unique_ptr<QThread> maker(QThread::create([&] {
        db = std::make_unique<LMRRecordSQLite>(file, "ends");
        EXPECT_TRUE(db->add("made", "10001", "teacher"));
    }));
    maker->start();
    maker->wait();
    ASSERT_TRUE(db && db->isOpen());
    EXPECT_TRUE(connectionsOf("ends").isEmpty());
    EXPECT_EQ(db->getRole("made", "10001"), "teacher");
    EXPECT_EQ(connectionsOf("ends").size(), 1);

    // A thread Qt did not start, as a library's callback thread, ends the same way.
    std::thread plain([&] { EXPECT_TRUE(db->add("plain", "10001", "student")); });
    plain.join();
    EXPECT_EQ(connectionsOf("ends").size(), 1);
    EXPECT_EQ(db->getRole("plain", "10001"), "student");

    // A thread still running when the store goes ends later without its connection.
    Worker survivor;
    survivor.run([&] { EXPECT_TRUE(db->getTokenIsNotEmpty("plain", "10001")); });
    EXPECT_EQ(connectionsOf("ends").size(), 2);
    db.reset();
    EXPECT_TRUE(connectionsOf("ends").isEmpty());
    survivor.stop();
    EXPECT_EQ(rowCount(file, "Token IN ('made', 'plain')"), 2);
    QMutexLocker lock(&warningLock);
    EXPECT_EQ(warnings, QStringList());
}

TEST(RecordStatusThreads, AStoreOrThreadThatCannotOpenTheFileFailsItsCallsQuietly)
{
    LMRRecordSQLite broken("/proc/no/such/dir/lumiraRecordSql.db", "broken");
    EXPECT_FALSE(broken.isOpen());
    EXPECT_TRUE(logText().contains(kNotOpened));
    expectEveryCallFails(broken);
    Worker other;
    other.run([&] { expectEveryCallFails(broken); });

    // The folder goes while the client runs: a thread new to the store cannot open it.
    const QString dir = freshDir("vanished");
    LMRRecordSQLite db(dir + "/lumiraRecordSql.db", "vanished");
    ASSERT_TRUE(db.add("kept", "10001", "teacher"));
    const int logged = logText().size();
    ASSERT_TRUE(QDir(dir).removeRecursively());
    Worker late;
    late.run([&] {
        expectEveryCallFails(db);
        expectEveryCallFails(db);
    });
    const QString log = logText().mid(logged);
    EXPECT_EQ(log.count(kNotOpened), 1) << "once for the thread, not once per call";
    EXPECT_EQ(log.count(kOpened), 0);
    EXPECT_EQ(log.count(QStringLiteral("数据库: 数据库getRole失败,token:a,userID:1")), 2);
}

// A long lesson's heartbeats while one thread that added a row sits idle and
// another keeps reading. With more rows than a table model reads at once, a
// whole-table select stops part way; if it kept its read snapshot, no
// checkpoint could pass it and the write-ahead log would grow all lesson.
TEST(RecordStatusThreads, TheWriteAheadLogStaysBoundedThroughALongLesson)
{
    const QString file = freshDir("wal") + "/lumiraRecordSql.db";
    LMRRecordSQLite db(file, "wal");
    // A year of lessons, uploaded and deleted.
    sql(file,
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
        "INSERT INTO RecordStatus SELECT 'past-' || i, '10001', 'teacher', '0', '0', 'url', "
        "date('now', '-40 day'), '08:00:00:000', '1' FROM n");
    const qint64 pageSize = sql(file, "PRAGMA page_size");
    const qint64 autoCheckpoint = sql(file, "PRAGMA wal_autocheckpoint");
    ASSERT_GT(pageSize, 0);
    ASSERT_GT(autoCheckpoint, 0);
    // 24 header bytes per page; twice the checkpoint leaves room for the commit
    // crossing it. Each beat commits a page: 4x the bound if the log never wrapped.
    const qint64 bound = 2 * autoCheckpoint * (pageSize + 24);
    const int beats = 8 * int(autoCheckpoint);

    Worker recorder;
    Worker runner;
    Worker page;
    recorder.run([&] { ASSERT_TRUE(db.add("long", "10001", "teacher")); });
    // The upload runner adds a row for an orphan file, then idles.
    runner.run([&] {
        db.getUnuploadedTokens("10001");
        EXPECT_TRUE(db.add("orphan", "10001", "teacher"));
    });
    std::atomic<bool> beating { true };
    QStringList wrong;
    page.post([&] {
        qint64 seen = 0;
        while (beating) {
            const qint64 stop = db.getRecordStopTime("long", "10001");
            if (stop < seen)
                wrong << QStringLiteral("%1 after %2").arg(stop).arg(seen);
            seen = stop;
            db.getDeletableTokens();
        }
    });
    qint64 stop = QDateTime::currentMSecsSinceEpoch();
    qint64 largest = 0;
    for (int done = 0; done < beats; done += int(autoCheckpoint)) {
        recorder.run([&] {
            for (int beat = 0; beat < autoCheckpoint; ++beat)
                ASSERT_TRUE(db.update("long", "10001", stopAt(++stop)));
        });
        largest = std::max(largest, QFileInfo(file + "-wal").size());
    }
    beating = false;
    page.run([] {});
    EXPECT_LT(largest, bound) << beats << " heartbeats";
    EXPECT_EQ(db.getRecordStopTime("long", "10001"), stop);
    EXPECT_EQ(wrong, QStringList()) << "a read saw the stop time go back";
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("record-status");
    return testenv::runGoogleTests(argc, argv, "LMRApp_record_status.log");
}
