// A recording client reduced to the recorder: records one lesson from tone
// frames at the engines' 10 ms cadence so that tests can kill it mid-lesson
// and start it again.
//   lumira_record_child <record dir> <db file> <token> <seconds, -1: until killed>
// Prints "open <ms since epoch>" when the MP3 is open and "closed" after a
// clean stop.
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

namespace
{

QSharedPointer<AVFrameWrapper> tone(double hz, long &t)
{
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = 16000;
    frame->nb_samples = 160;
    av_channel_layout_default(&frame->ch_layout, 1);
    av_frame_get_buffer(frame, 1); // linesize[0] is then exactly 320 bytes
    auto *s = reinterpret_cast<int16_t *>(frame->data[0]);
    for (int i = 0; i < 160; ++i, ++t)
        s[i] = int16_t(9000 * std::sin(2 * 3.14159265358979323846 * hz * double(t) / 16000));
    return QSharedPointer<AVFrameWrapper>::create(frame);
}

} // namespace

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
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&]() {
        recorder->acceptMicData(tone(440, micT));
        recorder->acceptSpeakerData(tone(660, spkT));
    });
    feed.start(10);

    QTimer watch;
    bool opened = false;
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
