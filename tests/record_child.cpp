// A recording client reduced to the recorder: records one lesson from tone
// frames at the engines' 10 ms cadence so that tests can kill it mid-lesson
// and start it again.
//   lumira_record_child <record dir> <db file> <token> <seconds, -1: until killed>
// Prints "open <ms since epoch>" when the MP3 is open and "closed" after a
// clean stop. While the file is open, each feed is followed by
// "fed <samples> written <pairs>": the microphone samples the recorder has
// taken in so far and the packet pairs its MP3 store has taken, so that a
// test that kills the process knows both at the last line it read.
#include "RecordCheck.h"
#include "record/AVFrameWrapper.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cmath>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: %s <record dir> <db file> <token> <seconds>\n", argv[0]);
        return 2;
    }
    const int seconds = args[4].toInt();
    LMRRecordSQLite db(args[2], QStringLiteral("child"));
    RecordState &state = RecordState::process();
    auto recorder = std::make_unique<AudioDataDispatcherController>(state, &db, args[1]);

    long micT = 0, spkT = 0;
    bool opened = false;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&]() {
        recorder->acceptMicData(recordcheck::toneFrame(440, micT));
        recorder->acceptSpeakerData(recordcheck::toneFrame(660, spkT));
        if (opened && !state.fileClosed) {
            // Read after the frames went in: the intake takes them on this thread.
            std::printf("fed %lld written %lld\n", static_cast<long long>(state.receivedMicFrames.load()) * 160,
                static_cast<long long>(state.pairsWritten.load()));
            std::fflush(stdout);
        }
    });
    feed.start(10);

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        if (!opened && !state.fileClosed) {
            opened = true;
            std::printf("open %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
            if (seconds >= 0)
                QTimer::singleShot(seconds * 1000, [&]() { recorder->stopRecord(); });
        } else if (opened && state.fileClosed && seconds >= 0) {
            std::printf("closed\n");
            std::fflush(stdout);
            app.quit();
        }
    });
    watch.start(1);
    recorder->startRecord(args[3], QStringLiteral("10001"), QStringLiteral("teacher"));
    const int rc = app.exec();
    recorder.reset();
    return rc;
}
