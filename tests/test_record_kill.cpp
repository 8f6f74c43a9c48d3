// A recording client killed with SIGKILL mid-lesson: every MP3 decodes, it
// holds everything the encoder could have released before the kill, and the
// next start of the lesson appends silence for the gap.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "RecordCheck.h"
#include "TestEnv.h"

#include "record/AudioDataDispatcher.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <signal.h>
#include <vector>

using namespace audiocheck;
using recordcheck::freshDir;
using testenv::waitUntil;

namespace
{

// At 16 kHz LAME codes MPEG-2 layer III: 576 samples (36 ms) per frame, and
// at 32 kbit/s every frame is 144 bytes. The recorder's packets are 144
// samples, four to a frame.
constexpr qint64 kFrameSamples = 576;
constexpr qint64 kFrameBytes = 144;
constexpr qint64 kPacketSamples = 144;

struct ChildRun {
    qint64 openMs = 0;
    qint64 endMs = 0;
    // From the child's last line before the kill; both only grow, so they
    // are at most what the recorder had when the kill came.
    qint64 fedSamples = 0; // taken in by the recorder
    qint64 pairsWritten = 0; // taken by the MP3 store, its output on disk
    QByteArray out;
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
    const bool opened = waitUntil(
        [&] {
            child.waitForReadyRead(10);
            run.out += child.readAllStandardOutput();
            return run.out.contains("open ");
        },
        10000);
    if (!opened)
        return false;
    const int at = run.out.indexOf("open ") + 5;
    run.openMs = run.out.mid(at, run.out.indexOf('\n', at) - at).toLongLong();
    return true;
}

// The counters of the child's last whole line: a line cut by a kill is not read.
void readCounters(ChildRun &run)
{
    const QList<QByteArray> lines = run.out.left(run.out.lastIndexOf('\n')).split('\n');
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const QList<QByteArray> words = line->split(' ');
        if (words.size() == 4 && words[0] == "fed" && words[2] == "written") {
            run.fedSamples = words[1].toLongLong();
            run.pairsWritten = words[3].toLongLong();
            return;
        }
    }
}

// The lesson's last heartbeat, as its row keeps it.
qint64 rowStopTime(const QString &dbFile, const QString &token)
{
    qint64 stop = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("killcheck"));
        db.setDatabaseName(dbFile);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT RecordStopTime FROM RecordStatus WHERE Token=? AND UserID='10001'"));
            query.addBindValue(token);
            if (query.exec() && query.next())
                stop = query.value(0).toString().toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("killcheck"));
    return stop;
}

// Lets the child record for `ms`, kills it and reads what it printed.
void killAfter(QProcess &child, int ms, ChildRun &run)
{
    waitUntil(
        [&] {
            child.waitForReadyRead(5);
            run.out += child.readAllStandardOutput();
            return false;
        },
        ms);
    ::kill(pid_t(child.processId()), SIGKILL);
    run.endMs = QDateTime::currentMSecsSinceEpoch();
    child.waitForFinished(5000);
    run.out += child.readAllStandardOutput();
    readCounters(run);
}

// What must be on disk after the store took `pairs` packet pairs. The store
// hands LAME whole frames only, so up to three packets wait for their frame;
// LAME releases a frame once the next one is coded (its bit reservoir is
// off), so one more frame is inside it. Nothing else may be missing: each
// released frame is written and flushed to the system at once, and a kill
// cannot take back what the system has. Hence 36 ms behind the store's
// input when the packets fill whole frames, 45 ms with one packet waiting,
// and no more than 63 ms; a tighter bound than that would need smaller MP3
// frames than 16 kHz allows.
qint64 samplesOnDiskAtLeast(qint64 pairs) { return std::max<qint64>(0, (pairs / 4 - 1) * kFrameSamples); }

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? 0 : sorted[size_t(p * double(sorted.size() - 1) + 0.5)];
}

} // namespace

TEST(KilledRecording, TwentyKillsAtRandomMomentsLoseNoMoreThanTheEncoderHolds)
{
    const QString dir = freshDir("kills");
    QRandomGenerator random(20261207);
    std::vector<double> fedLossMs, storeLossMs;
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const QString token = QStringLiteral("kill%1").arg(i);
        QProcess child;
        ChildRun run;
        ASSERT_TRUE(startChild(child, dir, token, -1, run));
        // From the first ticks to a second and a half in, never at the same phase.
        killAfter(child, 10 + i * 70 + int(random.bounded(60)), run);

        const QString file = dir + "/" + AudioDataDispatcher::fileName(token, "10001");
        const qint64 size = QFileInfo(file).size();
        EXPECT_EQ(size % kFrameBytes, 0) << "no frame is cut in half";
        const Decoded d = decode(file, true);
        const qint64 decoded = qint64(d.left.size());
        EXPECT_EQ(decoded, size / kFrameBytes * kFrameSamples) << "every frame on disk decodes";
        if (size > 0) {
            EXPECT_EQ(d.channels, 2);
            EXPECT_EQ(d.rate, 16000);
        }
        EXPECT_GE(decoded, samplesOnDiskAtLeast(run.pairsWritten))
            << "the store had taken " << run.pairsWritten << " packet pairs";
        // The decoded length counts LAME's lead-in (1105 samples of silence
        // at the start of each file), so this is the length lost, not the
        // content: the last 69 ms of content stay inside the encoder.
        if (run.pairsWritten >= 8) {
            storeLossMs.push_back(double(run.pairsWritten * kPacketSamples - decoded) / 16.0);
            fedLossMs.push_back(double(run.fedSamples - decoded) / 16.0);
            if (decoded >= 16000 / 2) {
                EXPECT_NEAR(frequency(d.left, 16000), 440, 5);
                EXPECT_NEAR(frequency(d.right, 16000), 660, 5);
            }
        }
    }
    ASSERT_GE(fedLossMs.size(), 15u);
    std::printf("%zu kills: audio lost behind what the recorder took in, ms: min %.0f median %.0f p90 %.0f max %.0f\n",
        fedLossMs.size(), percentile(fedLossMs, 0), percentile(fedLossMs, 0.5), percentile(fedLossMs, 0.9),
        percentile(fedLossMs, 1));
    std::printf("behind what the MP3 store took, ms: min %.0f median %.0f p90 %.0f max %.0f\n",
        percentile(storeLossMs, 0), percentile(storeLossMs, 0.5), percentile(storeLossMs, 0.9),
        percentile(storeLossMs, 1));
}

TEST(KilledRecording, AKilledRecordingResumesWithSilenceForTheGap)
{
    const QString dir = freshDir("killed");
    const QString file = dir + "/" + AudioDataDispatcher::fileName("lesson-k", "10001");

    QProcess first;
    ChildRun a;
    ASSERT_TRUE(startChild(first, dir, "lesson-k", -1, a));
    killAfter(first, 2500, a);

    const Decoded cut = decode(file);
    ASSERT_EQ(cut.channels, 2);
    ASSERT_EQ(cut.rate, 16000);
    EXPECT_GE(qint64(cut.left.size()), samplesOnDiskAtLeast(a.pairsWritten));
    std::printf("killed after %.3f s: decoded %.3f s, %.0f ms behind what the recorder took in\n",
        double(a.endMs - a.openMs) / 1000.0, cut.seconds(), double(a.fedSamples - qint64(cut.left.size())) / 16.0);
    EXPECT_NEAR(frequency(cut.left, 16000), 440, 5);
    EXPECT_NEAR(frequency(cut.right, 16000), 660, 5);

    // The next start of the lesson appends: the silence for the gap, then new audio.
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    waitUntil([] { return false; }, 1000);
    const qint64 stopMs = rowStopTime(dir + "/status.db", "lesson-k");
    ASSERT_GT(stopMs, a.openMs);
    QProcess second;
    ChildRun b;
    const qint64 launchMs = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(startChild(second, dir, "lesson-k", 1, b));
    ASSERT_TRUE(second.waitForFinished(10000));
    b.out += second.readAllStandardOutput();
    EXPECT_TRUE(b.out.contains("closed"));
    readCounters(b);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(before)) << "earlier audio kept byte for byte";

    // Then silence from the last heartbeat to the new start, which lies
    // between the launch of the second client and its open file; the new
    // file section also starts with LAME's lead-in (69 ms).
    // The decoder's filter bank and overlap carry the killed part's last
    // frame into the first two frames after it.
    const Decoded whole = decode(file);
    const size_t quietFrom = cut.left.size() + size_t(2 * kFrameSamples);
    size_t resumed = quietFrom;
    while (resumed < whole.left.size() && std::abs(int(whole.left[resumed])) < 2000)
        ++resumed;
    const double silent = double(resumed - cut.left.size()) / 16000;
    EXPECT_GE(silent, double(launchMs - stopMs) / 1000 - 0.01);
    EXPECT_LE(silent, double(b.openMs - stopMs) / 1000 + 0.069 + 0.05);
    ASSERT_GT(resumed, quietFrom + 16000 / 2);
    const std::vector<int16_t> silence(whole.left.begin() + long(quietFrom), whole.left.begin() + long(resumed));
    EXPECT_LT(rms(silence), 50);
    // And all the second client took in before its clean stop.
    EXPECT_GE(qint64(whole.left.size() - resumed), b.fedSamples);
    EXPECT_GT(b.fedSamples, 16000 / 2);
    std::printf("resumed after %.3f s of silence with %.3f s\n", silent, double(whole.left.size() - resumed) / 16000);
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("record_kill");
    return testenv::runGoogleTests(argc, argv, "LMRApp_record_kill.log");
}
