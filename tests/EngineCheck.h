#pragma once
// What the engine tests share: a quick simulated room, the frames an engine
// hands the recorder as they arrive on the room's threads, a video surface,
// and the signals every engine has, counted on the GUI thread.
#include "GTestMain.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "record/AVFrameWrapper.h"

#include <QAbstractVideoSurface>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QSharedPointer>
#include <QStringList>
#include <QWaitCondition>

#include <type_traits>
#include <utility>
#include <vector>

#include <simroom/SimRoom.h>

extern "C" {
#include <libavutil/frame.h>
}

namespace enginecheck
{

using testenv::logText;
using testenv::waitUntil;

inline void spin(int ms)
{
    testenv::waitUntil([] { return false; }, ms);
}

inline simroom::Config fastRoom(int peers = 1)
{
    simroom::Config config;
    config.joinDelayMs = 50;
    config.jitterMs = 1;
    config.peers.clear();
    for (int i = 0; i < peers; ++i)
        config.peers.push_back({ unsigned(20002 + i), "Demo Student", 255, 50, -1, true });
    return config;
}

// Every frame must be in the recording format: 16 kHz mono S16, packed.
struct FrameProbe {
    QMutex mutex;
    QWaitCondition arrived;
    int mic = 0, speaker = 0, badFormat = 0;
    std::vector<int16_t> micSamples;
    void take(const QSharedPointer<AVFrameWrapper> &wrapper, bool isMic)
    {
        const AVFrame *f = wrapper->frame();
        QMutexLocker lock(&mutex);
        if (!f || f->sample_rate != 16000 || f->ch_layout.nb_channels != 1 || f->format != AV_SAMPLE_FMT_S16
            || f->linesize[0] != f->nb_samples * 2) {
            ++badFormat;
        } else if (isMic) {
            const auto *s = reinterpret_cast<const int16_t *>(f->data[0]);
            micSamples.insert(micSamples.end(), s, s + f->nb_samples);
        }
        (isMic ? mic : speaker)++;
        arrived.wakeAll();
    }
    std::pair<int, int> counts()
    {
        QMutexLocker lock(&mutex);
        return { mic, speaker };
    }
    // Blocks the calling thread (no event loop) until both counts reach `least`.
    bool waitForBoth(int least, unsigned long guardMs)
    {
        const QDeadlineTimer deadline { qint64(guardMs) };
        QMutexLocker lock(&mutex);
        while (mic < least || speaker < least)
            if (!arrived.wait(&mutex, deadline))
                return false;
        return true;
    }
};

class Surface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return { QVideoFrame::Format_YUV420P, QVideoFrame::Format_RGB32 };
    }
    bool present(const QVideoFrame &frame) override
    {
        last = frame;
        ++count;
        return true;
    }
    QSize size() const { return last.size(); }
    QVideoFrame last;
    int count = 0;
};

// iLive reports cameras as mediaStatus instead.
template <class Engine, class = void>
struct HasUserVideoAvailable : std::false_type {
};
template <class Engine>
struct HasUserVideoAvailable<Engine, std::void_t<decltype(&Engine::userVideoAvailable)>> : std::true_type {
};

// Frames go straight to the probe on the thread that emits them; the other
// signals are counted on the GUI thread.
template <class Engine>
struct Watch {
    explicit Watch(Engine &engine)
    {
        QObject::connect(
            &engine, &Engine::micFrame, &engine, [this](QSharedPointer<AVFrameWrapper> f) { probe.take(f, true); },
            Qt::DirectConnection);
        QObject::connect(
            &engine, &Engine::spkFrame, &engine, [this](QSharedPointer<AVFrameWrapper> f) { probe.take(f, false); },
            Qt::DirectConnection);
        QObject::connect(&engine, &Engine::joined, &engine, [this] { ++joined; });
        QObject::connect(&engine, &Engine::leavingChannel, &engine, [this] { ++left; });
        if constexpr (HasUserVideoAvailable<Engine>::value)
            QObject::connect(&engine, &Engine::userVideoAvailable, &engine,
                [this](QString id, bool on) { video << QStringLiteral("%1:%2").arg(id).arg(on); });
    }
    FrameProbe probe;
    int joined = 0, left = 0;
    QStringList video;
};

// The main() of an engine test program: its own sandbox, an offscreen GUI
// (video tiles need one) and the log "LMRApp_<name>.log" that logText() reads.
inline int runTests(int argc, char **argv, const char *name)
{
    testenv::enterSandbox(name);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    testenv::programLogPath()
        = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_%1.log").arg(QLatin1String(name));
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace enginecheck
