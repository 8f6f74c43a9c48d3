// Class audio recording: the packet former on a clock that tests move, the
// dispatcher's start and resume rules, and whole recordings decoded back with
// FFmpeg, including a stop with a long backlog. Killed recordings are in
// test_record_kill.cpp.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "RecordCheck.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"
#include "record/PacketFormer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace audiocheck;
using recordcheck::rowCount;
using testenv::waitUntil;

using recordcheck::freshDir;
using recordcheck::ManualClock;
using testenv::logText;

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

TEST(PacketFormer, AtCloseCachedBytesBecomePacketsAndBothChannelsEndTogether)
{
    RecordState st;
    ManualClock t;
    PacketFormer former(st, t.clock());
    former.start(t.now);
    st.micCache = QByteArray(300, '\x44');
    st.micByteCache = { QByteArray(288, '\x01') };
    st.spkByteCache = QVector<QByteArray>(4, QByteArray(288, '\x02'));
    st.micShortTicks = 7;
    former.flush();
    ASSERT_EQ(st.micByteCache.size(), 4);
    ASSERT_EQ(st.spkByteCache.size(), 4);
    EXPECT_EQ(st.micByteCache[1], QByteArray(288, '\x44'));
    EXPECT_EQ(st.micByteCache[2], QByteArray(12, '\x44') + QByteArray(276, '\0')) << "the last bytes, padded";
    EXPECT_EQ(st.micByteCache[3], QByteArray(288, '\0')) << "evened with silence";
    EXPECT_TRUE(st.micCache.isEmpty());
    EXPECT_EQ(st.micShortTicks, 0);

    st.spkCache = QByteArray(100, '\x55');
    former.flush();
    ASSERT_EQ(st.spkByteCache.size(), 5);
    ASSERT_EQ(st.micByteCache.size(), 5);
    EXPECT_EQ(st.micByteCache[4], QByteArray(288, '\0'));
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

// Only a short break is filled; a start always ends with exactly one row for
// the pair, whatever the table held before.
TEST_F(Dispatcher, LongBreaksMissingAndStaleRows)
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

    // A row whose file was deleted, and two rows of one pair (a table from an
    // older client): retired, so the new row is the only match.
    ASSERT_TRUE(db->add("again", "10001", "teacher"));
    ASSERT_TRUE(db->add("twice", "10001", "teacher"));
    ASSERT_TRUE(db->add("twice", "10001", "teacher"));
    for (const char *token : { "fresh", "again", "twice" }) {
        const int before = logText().size();
        dispatcher->startRecord(token, "10001", "student");
        if (qstrcmp(token, "fresh") == 0) {
            EXPECT_FALSE(logText().mid(before).contains(QStringLiteral("数据库update失败")));
        }
        EXPECT_TRUE(st.micByteCache.isEmpty()) << token;
        dispatcher->stopRecord();
        EXPECT_EQ(db->getRole(token, "10001"), "student") << token;
    }
    EXPECT_EQ(rowCount(dir + "/status.db", "Token='again' AND UserID='0'"), 1);
    EXPECT_EQ(rowCount(dir + "/status.db", "Token='twice' AND UserID='0'"), 2);
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
// Ten seconds in a room, per vendor: test_classroom's VendorLesson.

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

// ---- stopping with a backlog -----------------------------------------------

TEST(Recording, AResumedHalfHourOfSilenceIsWrittenAtStopAndNotIntoTheNextLesson)
{
    const QString dir = freshDir("backlog");
    LMRRecordSQLite db(dir + "/status.db", "backlog");
    RecordState st;
    AudioDataDispatcherController recorder(st, &db, dir);
    const QString resumed = dir + "/" + AudioDataDispatcher::fileName("resumed", "10001");
    const QString next = dir + "/" + AudioDataDispatcher::fileName("next", "10001");
    {
        QFile f(resumed); // recorded until half an hour ago
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(db.add("resumed", "10001", "teacher"));
    RecordStatusChange stopped;
    stopped.stopTime = QDateTime::currentMSecsSinceEpoch() - 30 * 60 * 1000;
    ASSERT_TRUE(db.update("resumed", "10001", stopped));

    // Resumed, stopped at once, and the next lesson asked for at once: the
    // calls only post; the half hour is written on the recorder's threads.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(recorder.startRecord("resumed", "10001", "teacher"));
    recorder.stopRecord();
    ASSERT_TRUE(recorder.startRecord("next", "10001", "student"));
    const qint64 callsMs = clock.elapsed();
    ASSERT_TRUE(waitUntil([&] { return st.currentRecordToken() == "next" && !st.fileClosed; }, 120000));
    std::printf("stop and next start returned after %lld ms; the half hour was written after %lld ms\n",
        static_cast<long long>(callsMs), static_cast<long long>(clock.elapsed()));
    long micT = 0, spkT = 0;
    for (int i = 0; i < 100; ++i) { // a second of the next lesson
        recorder.acceptMicData(recordcheck::toneFrame(440, micT));
        recorder.acceptSpeakerData(recordcheck::toneFrame(660, spkT));
        waitUntil([] { return false; }, 10);
    }
    recorder.stopRecord();
    ASSERT_TRUE(waitUntil([&] { return st.currentRecordToken().isEmpty(); }, 10000));

    const Decoded a = decode(resumed);
    ASSERT_EQ(a.channels, 2);
    // 200 000 packets of silence, the few ticks before the stop, and the
    // encoder's lead-in and last frame.
    EXPECT_GE(a.seconds(), 1800.0);
    EXPECT_LE(a.seconds(), 1801.0);
    EXPECT_LT(rms(a.left), 50);
    EXPECT_LT(rms(a.right), 50);

    const Decoded b = decode(next);
    ASSERT_EQ(b.channels, 2);
    EXPECT_GE(b.seconds(), 0.9);
    EXPECT_LT(b.seconds(), 3.0) << "none of the half hour";
    EXPECT_NEAR(frequency(b.left, 16000), 440, 5);
    EXPECT_NEAR(frequency(b.right, 16000), 660, 5);
}

TEST(Recording, ALessonStartsWithNothingLeftByAnother)
{
    const QString dir = freshDir("leftovers");
    LMRRecordSQLite db(dir + "/status.db", "leftovers");
    RecordState st;
    AudioDataDispatcherController recorder(st, &db, dir);
    {
        // What a lesson whose file never opened can leave behind.
        QMutexLocker micBytes(&st.micByteLock);
        QMutexLocker spkBytes(&st.spkByteLock);
        QMutexLocker micPackets(&st.micPacketLock);
        QMutexLocker spkPackets(&st.spkPacketLock);
        st.micCache = QByteArray(1000, '\x33');
        st.spkCache = QByteArray(500, '\x33');
        st.micByteCache = QVector<QByteArray>(500, QByteArray(288, '\x33'));
        st.spkByteCache = QVector<QByteArray>(400, QByteArray(288, '\x33'));
    }
    ASSERT_TRUE(recorder.startRecord("clean", "10001", "teacher"));
    ASSERT_TRUE(waitUntil([&] { return !st.fileClosed; }, 3000));
    waitUntil([] { return false; }, 500);
    recorder.stopRecord();
    ASSERT_TRUE(waitUntil([&] { return st.currentRecordToken().isEmpty(); }, 10000));
    const Decoded d = decode(dir + "/" + AudioDataDispatcher::fileName("clean", "10001"));
    ASSERT_EQ(d.channels, 2);
    EXPECT_LT(d.seconds(), 2.0) << "none of the 4.5 s left over";
    const auto loudest = [](const std::vector<int16_t> &s) {
        int peak = 0;
        for (int16_t v : s)
            peak = std::max(peak, std::abs(int(v)));
        return peak;
    };
    EXPECT_LT(loudest(d.left), 100);
    EXPECT_LT(loudest(d.right), 100);
    EXPECT_TRUE(logText().contains(QStringLiteral("音频录制: 丢弃上次录制的残留,字节:1500,包:900")));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("record");
    return testenv::runGoogleTests(argc, argv, "LMRApp_record.log");
}
