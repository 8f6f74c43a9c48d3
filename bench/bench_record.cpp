// Recording cost, as a timed tool.
//
//   bench_record encode [seconds]  encode `seconds` (default 3600) of 9 ms stereo
//                                  packets through the MP3 store, then the same PCM
//                                  with the ffmpeg command line; prints both times
//   bench_record live [seconds]    record tone frames at the engines' 10 ms cadence on
//                                  the real threads for a 60 s warm-up (two drift
//                                  checks, the status table's first checkpoints) and
//                                  then `seconds` (default 600); prints for those
//                                  seconds the CPU share of one core, the growth of
//                                  resident memory and of the heap in use, and the
//                                  drift of the written audio against the wall clock
#include "../tests/RecordCheck.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/ffmpeg/FFmpegPtr.h"
#include "record/AVFileStoreMP3.h"
#include "record/AVFrameWrapper.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

constexpr double kPi = 3.14159265358979323846;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// CPU seconds per thread name, from /proc.
QMap<QString, double> threadCpu()
{
    QMap<QString, double> cpu;
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const int open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open < 0 || close < 0 || fields.size() < 13)
            continue;
        cpu[QString::fromUtf8(line.mid(open + 1, close - open - 1))]
            += double(fields[11].toLongLong() + fields[12].toLongLong()) / double(ticks);
    }
    return cpu;
}

// Seconds of audio in an MP3 file, decoded with FFmpeg.
double decodedSeconds(const QString &path)
{
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return -1;
    avformat_find_stream_info(format, nullptr);
    const AVCodec *codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    ffmpeg::CodecContextPtr context(stream >= 0 ? avcodec_alloc_context3(codec) : nullptr);
    long samples = 0;
    int rate = 0;
    if (context && avcodec_parameters_to_context(context.get(), format->streams[stream]->codecpar) >= 0
        && avcodec_open2(context.get(), codec, nullptr) >= 0) {
        ffmpeg::PacketPtr packet(av_packet_alloc());
        ffmpeg::FramePtr frame(av_frame_alloc());
        while (av_read_frame(format, packet.get()) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(context.get(), packet.get()) >= 0)
                while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
                    samples += frame->nb_samples;
                    rate = frame->sample_rate;
                }
            av_packet_unref(packet.get());
        }
    }
    avformat_close_input(&format);
    return rate ? double(samples) / rate : -1;
}

// What the MP3 encoder puts in front of the first sample.
int encoderDelaySamples()
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
    ffmpeg::CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context)
        return 0;
    context->bit_rate = 32000;
    context->sample_fmt = AV_SAMPLE_FMT_S16P;
    context->sample_rate = 16000;
    av_channel_layout_default(&context->ch_layout, 2);
    return avcodec_open2(context.get(), codec, nullptr) >= 0 ? context->initial_padding : 0;
}

// One 9 ms stereo packet as the recorder hands it to the store.
ffmpeg::FramePtr stereoPacketFrame()
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->format = AV_SAMPLE_FMT_S16P;
    frame->sample_rate = 16000;
    frame->nb_samples = 144;
    av_channel_layout_default(&frame->ch_layout, 2);
    av_frame_get_buffer(frame.get(), 1);
    return frame;
}

int encode(double seconds, const QString &dir)
{
    const long packets = long(seconds * 1000 / 9);
    const QString rawPath = dir + QStringLiteral("/in.raw");
    QFile raw(rawPath);
    if (!raw.open(QIODevice::WriteOnly))
        return 1;

    AVFileStoreMP3 store(dir + QStringLiteral("/ours.mp3"));
    if (!store.open())
        return 1;
    std::vector<int16_t> interleaved(288);
    ffmpeg::FramePtr frame = stereoPacketFrame();

    // The PCM is made first and kept, so that both encoders get the same input
    // and neither pays for making it.
    std::vector<int16_t> left(size_t(packets) * 144), right(size_t(packets) * 144);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = int16_t(9000 * std::sin(2 * kPi * 440 * double(i) / 16000));
        right[i] = int16_t(9000 * std::sin(2 * kPi * 660 * double(i) / 16000));
    }
    for (long p = 0; p < packets; ++p) {
        for (int i = 0; i < 144; ++i) {
            interleaved[size_t(2 * i)] = left[size_t(p * 144 + i)];
            interleaved[size_t(2 * i + 1)] = right[size_t(p * 144 + i)];
        }
        raw.write(reinterpret_cast<const char *>(interleaved.data()), 576);
    }
    raw.close();

    QElapsedTimer timer;
    timer.start();
    for (long p = 0; p < packets; ++p) {
        std::memcpy(frame->data[0], &left[size_t(p * 144)], 288);
        std::memcpy(frame->data[1], &right[size_t(p * 144)], 288);
        store.write(frame.get());
    }
    store.close();
    const double ours = double(timer.nsecsElapsed()) / 1e9;

    timer.restart();
    QProcess ffmpegCli;
    ffmpegCli.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
            QStringLiteral("s16le"), QStringLiteral("-ar"), QStringLiteral("16000"), QStringLiteral("-ac"),
            QStringLiteral("2"), QStringLiteral("-i"), rawPath, QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
            QStringLiteral("-b:a"), QStringLiteral("32k"), QStringLiteral("-reservoir"), QStringLiteral("0"),
            QStringLiteral("-f"), QStringLiteral("mp3"), dir + QStringLiteral("/cli.mp3") });
    if (!ffmpegCli.waitForFinished(-1) || ffmpegCli.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpegCli.readAllStandardError().constData());
        return 1;
    }
    const double cli = double(timer.nsecsElapsed()) / 1e9;
    std::printf("encode %.0f s of 9 ms stereo packets (%ld packets)\n", seconds, packets);
    std::printf("  AVFileStoreMP3     %.2f s  (%.0fx real time), %lld bytes\n", ours, seconds / ours,
        QFile(dir + QStringLiteral("/ours.mp3")).size());
    std::printf("  ffmpeg command     %.2f s  (%.0fx real time), %lld bytes\n", cli, seconds / cli,
        QFile(dir + QStringLiteral("/cli.mp3")).size());
    std::printf("  ratio ffmpeg/ours  %.2f (target >= 1)\n", cli / ours);
    return 0;
}

// The baseline of the live figures, from the same run: the CPU the MP3
// encoder alone needs for one second of the recording's stereo packets.
double encoderShareOfOneCore(const QString &dir)
{
    constexpr int kSeconds = 60;
    AVFileStoreMP3 store(dir + QStringLiteral("/baseline.mp3"));
    if (!store.open())
        return -1;
    ffmpeg::FramePtr frame = stereoPacketFrame();
    // Nine seconds of tones (a whole number of packets), made before timing.
    std::vector<int16_t> left(144000), right(144000);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = int16_t(9000 * std::sin(2 * kPi * 440 * double(i) / 16000));
        right[i] = int16_t(9000 * std::sin(2 * kPi * 660 * double(i) / 16000));
    }
    const double before = cpuSeconds();
    for (long p = 0; p < kSeconds * 1000 / 9; ++p) {
        const size_t at = size_t(p % 1000) * 144;
        std::memcpy(frame->data[0], &left[at], 288);
        std::memcpy(frame->data[1], &right[at], 288);
        store.write(frame.get());
    }
    store.close();
    return (cpuSeconds() - before) / kSeconds;
}

int live(QCoreApplication &app, double seconds, const QString &dir)
{
    const double encoderShare = encoderShareOfOneCore(dir);
    LMRRecordSQLite db(dir + QStringLiteral("/status.db"), QStringLiteral("bench"));
    RecordState &state = RecordState::process();
    AudioDataDispatcherController recorder(state, &db, dir);

    // The engines deliver from their own threads.
    QThread feeder;
    feeder.setObjectName(QStringLiteral("feeder"));
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(10);
    feed.moveToThread(&feeder);
    long micT = 0, spkT = 0;
    QObject::connect(&feed, &QTimer::timeout, &feed, [&]() {
        recorder.acceptMicData(recordcheck::toneFrame(440, micT));
        recorder.acceptSpeakerData(recordcheck::toneFrame(660, spkT));
    });
    QObject::connect(&feeder, &QThread::started, &feed, qOverload<>(&QTimer::start));
    feeder.start();

    recorder.startRecord(QStringLiteral("bench"), QStringLiteral("10001"), QStringLiteral("teacher"));
    QElapsedTimer wall;
    while (state.fileClosed)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    wall.start();
    const double warmUp = 60;
    seconds += warmUp;
    double cpuAtWarm = 0;
    long rssAtWarm = 0;
    size_t heapAtWarm = 0;
    qint64 wallAtWarm = 0;
    QMap<QString, double> threadsAtWarm;
    QTimer::singleShot(int(warmUp * 1000), [&]() {
        threadsAtWarm = threadCpu();
        cpuAtWarm = cpuSeconds();
        rssAtWarm = residentKiB();
        heapAtWarm = mallinfo2().uordblks;
        wallAtWarm = wall.nsecsElapsed();
    });
    // Resident memory once a minute, to tell settling from growth.
    QVector<long> rssSamples;
    QTimer rssTimer;
    QObject::connect(&rssTimer, &QTimer::timeout, [&]() { rssSamples << residentKiB(); });
    rssTimer.start(60000);
    double cpuAtEnd = 0;
    long rssAtEnd = 0;
    size_t heapAtEnd = 0;
    qint64 wallAtEnd = 0;
    QMap<QString, double> threadsAtEnd;
    QTimer::singleShot(int(seconds * 1000), [&]() {
        threadsAtEnd = threadCpu();
        cpuAtEnd = cpuSeconds();
        rssAtEnd = residentKiB();
        heapAtEnd = mallinfo2().uordblks;
        wallAtEnd = wall.nsecsElapsed();
        recorder.stopRecord();
        app.quit();
    });
    app.exec();
    const double recorded = double(wall.nsecsElapsed()) / 1e9;
    while (!state.fileClosed || state.store.load())
        QThread::msleep(5);
    QMetaObject::invokeMethod(&feed, "stop", Qt::BlockingQueuedConnection);
    feeder.quit();
    feeder.wait();

    const double decoded = decodedSeconds(dir + QStringLiteral("/") + AudioDataDispatcher::fileName("bench", "10001"));
    const double span = double(wallAtEnd - wallAtWarm) / 1e9;
    const double share = (cpuAtEnd - cpuAtWarm) / span;
    double recorderShare = 0;
    for (auto it = threadsAtEnd.cbegin(); it != threadsAtEnd.cend(); ++it)
        if (it.key().startsWith(QLatin1String("rec-")))
            recorderShare += (it.value() - threadsAtWarm.value(it.key())) / span;
    std::printf("live recording of %.1f s (tone frames every 10 ms, recorder on its own threads)\n", recorded);
    std::printf(
        "  CPU share of one core  %.2f %% for the recorder's threads (target <= 1.5 %%); %.2f %% for the whole\n"
        "                         process with the tone feeder standing in for an engine (after %.0f s warm-up)\n",
        recorderShare * 100, share * 100, warmUp);
    std::printf("    baseline: the MP3 encoder alone, %.2f %%\n", encoderShare * 100);
    for (auto it = threadsAtEnd.cbegin(); it != threadsAtEnd.cend(); ++it)
        std::printf("    %-14s %.2f %%\n", qPrintable(it.key()),
            100 * (it.value() - threadsAtWarm.value(it.key())) / (double(wallAtEnd - wallAtWarm) / 1e9));
    // The decoded stream starts with the encoder's delay (1105 samples for
    // LAME); that is not audio the recorder wrote.
    const double delay = double(encoderDelaySamples()) / 16000;
    std::printf("  written audio          %.3f s with %.0f ms of encoder delay: drift %+.0f ms against the wall clock "
                "(target <= 30 ms)\n",
        decoded, delay * 1000, (decoded - delay - recorded) * 1000);
    std::printf("  resident memory        %ld KiB after warm-up, %ld KiB at the end: %+ld KiB (target 0)\n", rssAtWarm,
        rssAtEnd, rssAtEnd - rssAtWarm);
    std::printf("  heap in use            %+lld bytes over the same time (target 0)\n",
        static_cast<long long>(heapAtEnd) - static_cast<long long>(heapAtWarm));
    std::printf("  resident memory each minute (KiB):");
    for (long kib : rssSamples)
        std::printf(" %ld", kib);
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "*.debug=false"); // recorder log lines stay out of the figures
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("encode"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString log = dir.path() + QStringLiteral("/bench.log");
    TSpdlog::create(log, log);
    if (mode == QLatin1String("encode"))
        return encode(args.value(2, QStringLiteral("3600")).toDouble(), dir.path());
    if (mode == QLatin1String("live"))
        return live(app, args.value(2, QStringLiteral("600")).toDouble(), dir.path());
    std::fprintf(stderr, "usage: %s encode|live [seconds]\n", argv[0]);
    return 2;
}
