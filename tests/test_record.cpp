// Class audio recording: the status table on a real SQLite file, alone and
// from several threads at once, the packet former on a clock that tests move,
// the dispatcher's start and resume rules, and whole recordings decoded back
// with FFmpeg, including one whose process was killed mid-lesson.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "RecordCheck.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/LMRAgora.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"
#include "record/PacketFormer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QWaitCondition>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <signal.h>
#include <thread>
#include <vector>

using namespace audiocheck;
using recordcheck::rowCount;
using testenv::waitUntil;

namespace
{

using testenv::logText;

QString freshDir(const QString &name)
{
    const QString dir = QDir(testenv::sandboxRoot()).filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

// A clock that stands still until the test moves it.
struct ManualClock {
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    RecordClock clock()
    {
        return [this]() { return now; };
    }
};

// Runs SQL on the store's file through a second connection, as another tool would.
void sql(const QString &file, const QString &statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(statement)) << statement.toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
}

// One value of a PRAGMA, read through a connection of its own.
int pragma(const QString &file, const QString &name)
{
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pragma"));
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("PRAGMA ") + name) && query.next())
            value = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pragma"));
    return value;
}

// Lessons of past months, uploaded and deleted: what a year of teaching leaves
// in the table, more rows than a table model reads in one go.
void addPastLessons(const QString &file, int count)
{
    sql(file,
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                       "INSERT INTO RecordStatus SELECT 'past-' || i, '10001', 'teacher', '0', '0', 'url', "
                       "date('now', '-40 day'), '08:00:00:000', '1' FROM n")
            .arg(count));
}

// The store's connections: its own name and the names made from it.
QStringList connectionsOf(const QString &store)
{
    QStringList names;
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name.startsWith(store))
            names << name;
    return names;
}

// Threads wait here until it has been counted down to zero.
class Latch
{
public:
    explicit Latch(int count)
        : m_count(count)
    {
    }
    void countDown()
    {
        QMutexLocker lock(&m_mutex);
        if (--m_count == 0)
            m_zero.wakeAll();
    }
    void wait()
    {
        QMutexLocker lock(&m_mutex);
        while (m_count > 0)
            m_zero.wait(&m_mutex);
    }
    void arriveAndWait()
    {
        countDown();
        wait();
    }

private:
    QMutex m_mutex;
    QWaitCondition m_zero;
    int m_count;
};

// A thread with an event loop that runs what it is given, one call at a time,
// as the recorder's threads run their slots.
class Worker
{
public:
    Worker()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~Worker() { stop(); }
    // Returns once `work` has run there.
    void run(const std::function<void()> &work)
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

// Qt's warnings, from any thread, while it lives; they still reach stderr.
class QtWarnings
{
public:
    QtWarnings()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&QtWarnings::handle);
    }
    ~QtWarnings()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList messages() const
    {
        QMutexLocker lock(&m_mutex);
        return m_messages;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        QtWarnings *self = s_current;
        if (self && type >= QtWarningMsg) {
            QMutexLocker lock(&self->m_mutex);
            self->m_messages << text;
        }
        if (self && self->m_previous)
            self->m_previous(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }

    static inline std::atomic<QtWarnings *> s_current { nullptr };
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_messages;
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
    EXPECT_TRUE(logText().contains(QStringLiteral("数据库: 数据库打开成功")));

    EXPECT_TRUE(db.add("lesson-1", "10001", "teacher"));
    EXPECT_TRUE(db.getTokenIsNotEmpty("lesson-1", "10001"));
    EXPECT_EQ(db.getRecordStopTime("lesson-1", "10001"), t.now);
    EXPECT_EQ(db.getRole("lesson-1", "10001"), "teacher");
    EXPECT_EQ(db.getDate("lesson-1", "10001"), QDateTime::fromMSecsSinceEpoch(t.now).toString("yyyy-MM-dd"));
    EXPECT_EQ(rowCount(file, "Token='lesson-1' AND RecordUpload='null' AND Del='0'"), 1);

    RecordStatusChange beat;
    beat.stopTime = t.now + 5000;
    EXPECT_TRUE(db.update("lesson-1", "10001", beat));
    EXPECT_EQ(db.getRecordStopTime("lesson-1", "10001"), t.now + 5000);
    RecordStatusChange uploaded;
    uploaded.upload = "https://bucket/lesson-1.mp3";
    EXPECT_TRUE(db.update("lesson-1", "10001", uploaded));
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
    ASSERT_TRUE(db.add("up2", "10001", "t"));
    ASSERT_TRUE(db.add("up3", "10001", "t"));
    ASSERT_TRUE(db.add("raw29", "10001", "t"));
    ASSERT_TRUE(db.add("raw30", "10001", "t"));
    ASSERT_TRUE(db.add("gone", "10001", "t"));
    sql(file, "UPDATE RecordStatus SET RecordUpload='url', Date=date('now','-2 day') WHERE Token='up2'");
    sql(file, "UPDATE RecordStatus SET RecordUpload='url', Date=date('now','-3 day') WHERE Token='up3'");
    sql(file, "UPDATE RecordStatus SET Date=date('now','-29 day') WHERE Token='raw29'");
    sql(file, "UPDATE RecordStatus SET Date=date('now','-30 day') WHERE Token='raw30'");
    sql(file, "UPDATE RecordStatus SET Del='1', Date=date('now','-40 day') WHERE Token='gone'");
    QStringList deletable = db.getDeletableTokens();
    deletable.sort();
    EXPECT_EQ(deletable, QStringList({ "raw30", "up3" }));
}

TEST(RecordStatus, AnUnopenableDatabaseFailsEveryCallQuietly)
{
    LMRRecordSQLite db("/proc/no/such/dir/lumiraRecordSql.db", "broken");
    EXPECT_FALSE(db.isOpen());
    EXPECT_TRUE(logText().contains(kNotOpened));
    expectEveryCallFails(db);
    Worker other;
    other.run([&] { expectEveryCallFails(db); });
}

// ---- status table across threads ------------------------------------------

TEST(RecordStatusThreads, FourThreadsAtOnceKeepTheirRowsAndSeeEachOthers)
{
    QtWarnings warnings;
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

        Latch written(kThreads);
        Latch checked(kThreads);
        Latch leave(1);
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
                    RecordStatusChange beat;
                    beat.stopTime = stopOf(i, k);
                    if (!db.update(tok, user(i), beat))
                        bad << "beat " + tok;
                    if (k % 2 == 0) {
                        RecordStatusChange uploaded;
                        uploaded.upload = "https://bucket/" + tok;
                        if (!db.update(tok, user(i), uploaded))
                            bad << "upload " + tok;
                    }
                    if (db.getRecordStopTime(tok, user(i)) != stopOf(i, k))
                        bad << "stop time of " + tok;
                    if (db.getRole(tok, user(i)) != role)
                        bad << "role of " + tok;
                }
                // Everything the others wrote is committed by now.
                written.arriveAndWait();
                for (int j = 0; j < kThreads; ++j)
                    for (int k = 0; k < kTokens; ++k)
                        if (db.getRecordStopTime(token(j, k), user(j)) != stopOf(j, k))
                            bad << "sees " + token(j, k);
                checked.countDown();
                leave.wait();
            }));
            threads.back()->start();
        }
        // The GUI thread goes on meanwhile.
        for (int k = 0; k < kTokens; ++k) {
            EXPECT_TRUE(db.add(token(9, k), user(9), "teacher"));
            EXPECT_TRUE(db.getTokenIsNotEmpty(token(9, k), user(9)));
        }
        checked.wait();
        const QStringList whileRunning = connectionsOf("four");
        leave.countDown();
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
        EXPECT_EQ(db.getRecordStopTime(token(3, kTokens - 1), user(3)), stopOf(3, kTokens - 1));
        EXPECT_EQ(logText().count(kOpened) - openedBefore, 1) << "one line for the store, not one per thread";
    }
    EXPECT_TRUE(connectionsOf("four").isEmpty());
    EXPECT_EQ(warnings.messages(), QStringList());
}

TEST(RecordStatusThreads, ConnectionsGoWithTheirThreadsOrWithTheStore)
{
    QtWarnings warnings;
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

    // A thread still running when the store goes: the store closes its
    // connection, and the thread ends later without it.
    Worker survivor;
    survivor.run([&] { EXPECT_TRUE(db->getTokenIsNotEmpty("plain", "10001")); });
    EXPECT_EQ(connectionsOf("ends").size(), 2);
    db.reset();
    EXPECT_TRUE(connectionsOf("ends").isEmpty());
    survivor.stop();
    EXPECT_EQ(rowCount(file, "Token IN ('made', 'plain')"), 2);
    EXPECT_EQ(warnings.messages(), QStringList());
}

TEST(RecordStatusThreads, AThreadThatCannotOpenTheFileFailsItsCallsQuietly)
{
    const QString dir = freshDir("vanished");
    LMRRecordSQLite db(dir + "/lumiraRecordSql.db", "vanished");
    ASSERT_TRUE(db.add("kept", "10001", "teacher"));
    const int logged = logText().size();
    ASSERT_TRUE(QDir(dir).removeRecursively()); // the folder goes while the client runs
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

// A long lesson's heartbeats, while a thread that added a row sits idle and
// another keeps reading. The table holds more rows than a table model reads
// in one go, so a whole-table select stops part way; if it kept its read
// snapshot, no checkpoint could get past it and the write-ahead log would
// take every heartbeat for the rest of the lesson.
TEST(RecordStatusThreads, TheWriteAheadLogStaysBoundedThroughALongLesson)
{
    const QString file = freshDir("wal") + "/lumiraRecordSql.db";
    LMRRecordSQLite db(file, "wal");
    addPastLessons(file, 400);
    const qint64 pageSize = pragma(file, "page_size");
    const qint64 autoCheckpoint = pragma(file, "wal_autocheckpoint");
    ASSERT_GT(pageSize, 0);
    ASSERT_GT(autoCheckpoint, 0);
    // 24 bytes of header per page; twice the checkpoint size leaves room for
    // the commit that crosses it.
    const qint64 bound = 2 * autoCheckpoint * (pageSize + 24);
    // Each heartbeat commits at least one page: four times the bound if none
    // of the log were ever reused.
    const int beats = 8 * int(autoCheckpoint);

    Worker recorder;
    Worker runner;
    Worker page;
    recorder.run([&] { ASSERT_TRUE(db.add("long", "10001", "teacher")); });
    // The upload runner finds a file without a row, adds one, and then has
    // nothing to do until the lesson ends.
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
            for (int beat = 0; beat < autoCheckpoint; ++beat) {
                RecordStatusChange change;
                change.stopTime = ++stop;
                ASSERT_TRUE(db.update("long", "10001", change));
            }
        });
        largest = std::max(largest, QFileInfo(file + "-wal").size());
    }
    beating = false;
    page.run([] {});
    EXPECT_LT(largest, bound) << beats << " heartbeats";
    EXPECT_EQ(db.getRecordStopTime("long", "10001"), stop);
    EXPECT_EQ(wrong, QStringList()) << "a read saw the stop time go back";
}

// ---- packet former ----------------------------------------------------------

TEST(PacketFormer, SilentSourcesStillFillTheirChannel)
{
    RecordState st;
    ManualClock t;
    PacketFormer former(st, t.clock());
    former.start(t.now);
    st.micCache = QByteArray(288 * 3, '\x11');
    for (int i = 0; i < 10; ++i) {
        t.now += 9;
        former.tick();
    }
    ASSERT_EQ(st.micByteCache.size(), 10);
    ASSERT_EQ(st.spkByteCache.size(), 10);
    EXPECT_EQ(st.micByteCache[2], QByteArray(288, '\x11'));
    EXPECT_EQ(st.micByteCache[3], QByteArray(288, '\0'));
    for (const QByteArray &p : st.spkByteCache)
        EXPECT_EQ(p, QByteArray(288, '\0'));
    EXPECT_EQ(st.micCount, 10);
    EXPECT_EQ(st.spkCount, 10);
}

TEST(PacketFormer, APartialPacketWaitsSixtyTicks)
{
    RecordState st;
    ManualClock t;
    PacketFormer former(st, t.clock());
    former.start(t.now);
    st.micCache = QByteArray(100, '\x22');
    for (int tickNo = 1; tickNo <= 59; ++tickNo) {
        former.tick();
        ASSERT_EQ(st.micByteCache.size(), 0) << "tick " << tickNo;
    }
    EXPECT_EQ(st.spkByteCache.size(), 59) << "the other channel goes on";
    former.tick();
    ASSERT_EQ(st.micByteCache.size(), 1);
    EXPECT_EQ(st.micByteCache[0].left(100), QByteArray(100, '\x22'));
    EXPECT_EQ(st.micByteCache[0].mid(100), QByteArray(188, '\0'));
    EXPECT_TRUE(st.micCache.isEmpty());
    EXPECT_EQ(st.micShortTicks, 0);
    former.tick();
    EXPECT_EQ(st.micByteCache.size(), 2) << "then silence, one per tick";
}

TEST(PacketFormer, ASlowTimerIsPutBackOnTheClockEvery3003Packets)
{
    RecordState st;
    ManualClock t;
    PacketFormer former(st, t.clock());
    const qint64 start = t.now;
    former.start(start);
    // Ticks come 10 % late; both sources deliver at the true rate (32 bytes/ms),
    // so bytes pile up between checks.
    double clockMs = 0;
    double fedMic = 0;
    qint64 fedBytes = 0;
    for (int check = 1; check <= 3; ++check) {
        while (st.micCount < check * 3003) {
            clockMs += 9.9;
            t.now = start + qint64(clockMs);
            fedMic = clockMs * 32;
            const qint64 want = qint64(fedMic) / 2 * 2;
            const QByteArray bytes(int(want - fedBytes), '\x05');
            fedBytes = want;
            st.micCache += bytes;
            st.spkCache += bytes;
            former.tick();
        }
        const qint64 elapsed = t.now - start;
        EXPECT_LE(std::abs(elapsed - 9 * st.micCount), 9) << "check " << check;
        EXPECT_LE(std::abs(elapsed - 9 * st.spkCount), 9) << "check " << check;
        EXPECT_TRUE(st.micCache.isEmpty());
        EXPECT_TRUE(st.spkCache.isEmpty());
        EXPECT_EQ(st.nextDriftCheck % 3003, 0);
        EXPECT_GT(st.nextDriftCheck, st.micCount);
        // What was queued matches the clock too.
        EXPECT_EQ(st.micByteCache.size(), st.micCount);
        EXPECT_EQ(st.spkByteCache.size(), st.spkCount);
    }
    EXPECT_TRUE(logText().contains(QStringLiteral("音频录制: 需要mic填充包数:")));
}

// ---- dispatcher -------------------------------------------------------------

class Dispatcher : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshDir(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        db = std::make_unique<LMRRecordSQLite>(dir + "/status.db", "dispatch", t.clock());
        dispatcher = std::make_unique<AudioDataDispatcher>(st, db.get(), dir, t.clock());
    }
    QString mp3(const QString &token) const { return dir + "/" + AudioDataDispatcher::fileName(token, "10001"); }
    void touch(const QString &path) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    QString dir;
    RecordState st;
    ManualClock t;
    std::unique_ptr<LMRRecordSQLite> db;
    std::unique_ptr<AudioDataDispatcher> dispatcher;
};

TEST_F(Dispatcher, ResumingAfterAShortBreakQueuesSilenceForTheGap)
{
    EXPECT_EQ(AudioDataDispatcher::fileName("tok", "10001"), "tok_10001_pc.mp3");
    touch(mp3("tok"));
    ASSERT_TRUE(db->add("tok", "10001", "teacher"));
    RecordStatusChange uploaded;
    uploaded.upload = "https://bucket/x.mp3";
    db->update("tok", "10001", uploaded);
    t.now += 30000;
    dispatcher->startRecord("tok", "10001", "teacher");
    EXPECT_EQ(st.micByteCache.size(), 3333);
    EXPECT_EQ(st.spkByteCache.size(), 3333);
    EXPECT_EQ(st.micCount, 0) << "silence for the gap leaves the drift counts alone";
    EXPECT_EQ(rowCount(dir + "/status.db", "Token='tok' AND RecordUpload='null'"), 1) << "to be uploaded again";
    EXPECT_TRUE(logText().contains(QStringLiteral("音频录制: 承接上次录制,fileName:") + mp3("tok")));

    // The same lesson again changes nothing.
    dispatcher->startRecord("tok", "10001", "teacher");
    EXPECT_EQ(st.micByteCache.size(), 3333);
    dispatcher->stopRecord();
    EXPECT_EQ(db->getRecordStopTime("tok", "10001"), t.now) << "the heartbeat runs once at stop";
}

TEST_F(Dispatcher, ALongBreakOrAMissingRowFillsNothing)
{
    touch(mp3("late"));
    ASSERT_TRUE(db->add("late", "10001", "teacher"));
    t.now += 2 * 3600 * 1000;
    dispatcher->startRecord("late", "10001", "teacher");
    EXPECT_TRUE(st.micByteCache.isEmpty());
    dispatcher->stopRecord();

    touch(mp3("norow"));
    dispatcher->startRecord("norow", "10001", "teacher");
    EXPECT_TRUE(st.micByteCache.isEmpty());
    EXPECT_TRUE(db->getTokenIsNotEmpty("norow", "10001")) << "a row is added for the file";
    dispatcher->stopRecord();
}

TEST_F(Dispatcher, ANewFileRetiresAStaleRow)
{
    ASSERT_TRUE(db->add("again", "10001", "teacher")); // its file was deleted
    dispatcher->startRecord("again", "10001", "student");
    EXPECT_TRUE(db->getTokenIsNotEmpty("again", "10001"));
    EXPECT_EQ(db->getRole("again", "10001"), "student");
    EXPECT_EQ(rowCount(dir + "/status.db", "Token='again' AND UserID='0'"), 1);
    EXPECT_TRUE(st.micByteCache.isEmpty());
    dispatcher->stopRecord();
}

TEST_F(Dispatcher, SilenceFillingLimits)
{
    dispatcher->fillNullAudioData(0);
    dispatcher->fillNullAudioData(3600000);
    EXPECT_TRUE(st.micByteCache.isEmpty());
    dispatcher->fillNullAudioData(3599999);
    EXPECT_EQ(st.micByteCache.size(), 399999);
    EXPECT_EQ(st.spkByteCache.size(), 399999);
    EXPECT_EQ(st.micByteCache.last(), QByteArray(288, '\0'));
    dispatcher->fillNullAudioDataNum(-5);
    EXPECT_EQ(st.micByteCache.size(), 399999);
}

TEST_F(Dispatcher, FramesCountOnlyWhileRecording)
{
    long t = 0;
    auto wrapped = recordcheck::toneFrame(440, t);
    dispatcher->acceptMicData(wrapped);
    EXPECT_TRUE(st.micCache.isEmpty());
    dispatcher->startRecord("frames", "10001", "teacher");
    dispatcher->acceptMicData(wrapped);
    dispatcher->acceptSpeakerData(wrapped);
    dispatcher->acceptSpeakerData(QSharedPointer<AVFrameWrapper>::create(nullptr)); // an empty wrapper is ignored
    EXPECT_EQ(st.micCache.size(), 320);
    EXPECT_EQ(st.spkCache.size(), 320);
    EXPECT_EQ(st.receivedMicFrames, 1u);
    dispatcher->stopRecord();
    EXPECT_TRUE(logText().contains(QStringLiteral("record recv mic package 1")));
}

// ---- whole recordings -------------------------------------------------------

namespace
{

struct ChildRun {
    qint64 openMs = 0;
    qint64 endMs = 0;
};

// Starts the recording client; returns once its file is open.
bool startChild(QProcess &child, const QString &dir, const QString &token, int seconds, ChildRun &run)
{
    child.setProgram(QStringLiteral(LUMIRA_RECORD_CHILD));
    child.setArguments({ dir, dir + "/status.db", token, QString::number(seconds) });
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start();
    if (!child.waitForStarted(5000))
        return false;
    QByteArray out;
    const bool opened = waitUntil(
        [&] {
            child.waitForReadyRead(10);
            out += child.readAllStandardOutput();
            return out.contains("open ");
        },
        10000);
    if (!opened)
        return false;
    const int at = out.indexOf("open ") + 5;
    run.openMs = out.mid(at, out.indexOf('\n', at) - at).toLongLong();
    return true;
}

} // namespace

TEST(Recording, AKilledRecordingDecodesToTheKillAndResumesWithSilence)
{
    const QString dir = freshDir("killed");
    const QString file = dir + "/" + AudioDataDispatcher::fileName("lesson-k", "10001");

    QProcess first;
    ChildRun a;
    ASSERT_TRUE(startChild(first, dir, "lesson-k", -1, a));
    waitUntil([] { return false; }, 2500);
    ::kill(pid_t(first.processId()), SIGKILL);
    a.endMs = QDateTime::currentMSecsSinceEpoch();
    first.waitForFinished(5000);

    const Decoded cut = decode(file);
    ASSERT_EQ(cut.channels, 2);
    ASSERT_EQ(cut.rate, 16000);
    const double recorded = double(a.endMs - a.openMs) / 1000.0;
    // On disk up to the kill, less what no MP3 encoder can have written yet:
    // the packet of the running tick (9 ms), the frame LAME is coding (36 ms)
    // and the part of a frame still being gathered (up to 36 ms).
    const double lag = recorded - cut.seconds();
    EXPECT_GE(lag, 0.0);
    EXPECT_LE(lag, 0.1) << "decoded " << cut.seconds() << " s of " << recorded << " s";
    std::printf("killed after %.3f s: decoded %.3f s, %.0f ms behind the kill\n", recorded, cut.seconds(), lag * 1000);
    EXPECT_NEAR(frequency(cut.left, 16000), 440, 5);
    EXPECT_NEAR(frequency(cut.right, 16000), 660, 5);

    // The next start of the lesson appends: the silence for the gap, then new audio.
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    waitUntil([] { return false; }, 1000);
    QProcess second;
    ChildRun b;
    ASSERT_TRUE(startChild(second, dir, "lesson-k", 1, b));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_TRUE(second.readAllStandardOutput().contains("closed"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(before)) << "earlier audio kept byte for byte";

    const Decoded whole = decode(file);
    // The gap is counted from the last heartbeat, at most 100 ms before the kill.
    const double gap = double(b.openMs - a.endMs) / 1000.0;
    const double expected = cut.seconds() + gap + 1.0;
    EXPECT_NEAR(whole.seconds(), expected, 0.2) << "decoded " << whole.seconds() << " s";
    // Silence sits between the two parts.
    const size_t gapStart = cut.left.size() + 16000 / 5;
    const size_t gapEnd = size_t((cut.seconds() + gap) * 16000) - 16000 / 5;
    ASSERT_LT(gapStart, gapEnd);
    const std::vector<int16_t> silence(whole.left.begin() + long(gapStart), whole.left.begin() + long(gapEnd));
    EXPECT_LT(rms(silence), 50);
}

TEST(Recording, TenSecondsInAnAgoraRoomGiveTenSecondsOfStereo)
{
    const QString dir = freshDir("agora");
    LMRRecordSQLite db(dir + "/status.db", "agora-room");
    RecordState &st = RecordState::process();
    AudioDataDispatcherController recorder(st, &db, dir);
    LMRAgora agora;
    QObject::connect(&agora, &LMRAgora::micFrame, &recorder, &AudioDataDispatcherController::acceptMicData);
    QObject::connect(&agora, &LMRAgora::spkFrame, &recorder, &AudioDataDispatcherController::acceptSpeakerData);
    simroom::Config room; // one remote peer
    room.joinDelayMs = 50;
    simroom::Room::instance().setConfig(room);
    int joined = 0;
    QObject::connect(&agora, &LMRAgora::joined, [&] { ++joined; });
    agora.init();
    agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return joined == 1; }, 5000));
    waitUntil([] { return false; }, 1000); // the remote peer is heard

    recorder.startRecord("lesson-a", "10001", "teacher");
    ASSERT_TRUE(waitUntil([&] { return !st.fileClosed; }, 3000));
    waitUntil([] { return false; }, 10000);
    recorder.stopRecord();
    ASSERT_TRUE(waitUntil([&] { return st.fileClosed.load() && st.store.load() == nullptr; }, 3000));
    agora.exitRoom();
    agora.release();

    const Decoded d = decode(dir + "/" + AudioDataDispatcher::fileName("lesson-a", "10001"));
    ASSERT_EQ(d.channels, 2);
    EXPECT_NEAR(d.seconds(), 10.0, 0.1);
    EXPECT_NEAR(frequency(d.left, 16000), 440, 5) << "left is the microphone";
    EXPECT_NEAR(frequency(d.right, 16000), 660, 5) << "right is what the speaker plays";
    EXPECT_GT(rms(d.left), 1000);
    EXPECT_GT(rms(d.right), 1000);
}

TEST(Recording, ANewLessonClosesTheFirstFileBeforeOpeningTheSecond)
{
    const QString dir = freshDir("switch");
    LMRRecordSQLite db(dir + "/status.db", "switch");
    RecordState st;
    AudioDataDispatcherController recorder(st, &db, dir);
    recorder.startRecord("one", "10001", "teacher");
    ASSERT_TRUE(waitUntil([&] { return !st.fileClosed; }, 3000));
    waitUntil([] { return false; }, 600);
    recorder.startRecord("one", "10001", "teacher"); // ignored
    recorder.startRecord("two", "10001", "teacher");
    const QString two = dir + "/" + AudioDataDispatcher::fileName("two", "10001");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(two).size() > 0; }, 3000));
    const QString first = dir + "/" + AudioDataDispatcher::fileName("one", "10001");
    const qint64 firstSize = QFileInfo(first).size();
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(QFileInfo(first).size(), firstSize) << "the first file is closed";
    EXPECT_GT(decode(first).seconds(), 0.4);
    const QString log = logText();
    EXPECT_EQ(log.count(QStringLiteral("音频录制: 准备启动录制,recordToken:one")), 1);
    const int startOne = log.indexOf(QStringLiteral("音频录制: 准备启动录制,recordToken:one"));
    const int closeOne = log.indexOf(QRegularExpression(QStringLiteral("音频录制: 关闭mp3文件\\r?\\n")), startOne);
    const int startTwo = log.indexOf(QStringLiteral("音频录制: 准备启动录制,recordToken:two"), startOne);
    const int openTwo = log.indexOf(QRegularExpression(QStringLiteral("音频录制: 打开mp3文件\\r?\\n")), startTwo);
    ASSERT_GT(closeOne, 0);
    ASSERT_GT(openTwo, 0);
    EXPECT_LT(closeOne, openTwo) << "the first file is closed before the second opens";
    recorder.stopRecord();
    ASSERT_TRUE(waitUntil([&] { return st.fileClosed.load() && st.store.load() == nullptr; }, 3000));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("record");
    return testenv::runGoogleTests(argc, argv, "LMRApp_record.log");
}
