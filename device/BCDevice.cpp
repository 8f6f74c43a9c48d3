#include "device/BCDevice.h"

#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "device/AudioOutputThread.h"
#include "device/DeviceLog.h"
#include "device/LoopBuffer.h"
#include "device/Mp3Decode.h"
#include "media/video/GenerateImage.h"
#include "media/video/VideoSurface.h"
#include "platform/AudioLibraryNoise.h"

#include <array>

#include <QAudioInput>
#include <QAudioOutput>
#include <QCamera>
#include <QCameraViewfinderSettings>
#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

// Developer traces, off unless QT_LOGGING_RULES turns "lumira.device.debug" on.
Q_LOGGING_CATEGORY(lcDevice, "lumira.device", QtInfoMsg)

namespace platform = lumira::platform;

namespace
{

constexpr int kThreadEndWaitMs = 3000;
constexpr int kInputBufferMs = 40;
constexpr int kOutputBufferMs = 100;
// Beyond the playing time of the buffered music: the output's own wait for
// data and the sound server's latency.
constexpr int kDrainGraceMs = 3000;

QString joined(const QList<int> &values)
{
    QStringList items;
    for (int v : values)
        items << QString::number(v);
    return items.join(QStringLiteral(", "));
}

// Writes the state of an input or output to the debug output, as "<what> <state>".
void logState(const char *what, QAudio::State state)
{
    switch (state) {
    case QAudio::ActiveState:
        qCDebug(lcDevice).noquote() << what << "active";
        break;
    case QAudio::SuspendedState:
        qCDebug(lcDevice).noquote() << what << "suspend";
        break;
    case QAudio::StoppedState:
        qCDebug(lcDevice).noquote() << what << "stop";
        break;
    case QAudio::IdleState:
        qCDebug(lcDevice).noquote() << what << "idle";
        break;
    default:
        break;
    }
}

// Replaced and stopped devices go once Qt Multimedia has delivered what it holds.
template <typename Device>
void stopAndDeleteLater(QPointer<Device> &device)
{
    if (device) {
        device->stop();
        device->deleteLater();
        device = nullptr;
    }
}

// Ends a thread whose objects were told to stop; false when it did not end.
bool endThread(QThread *thread)
{
    if (!thread)
        return true;
    thread->quit();
    if (!thread->wait(kThreadEndWaitMs)) {
        TSpdlog::instance()->avError(QStringLiteral("test music thread did not end"));
        // Never destroyed while running: it goes by itself once it ends.
        thread->setParent(nullptr);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        return false;
    }
    thread->deleteLater();
    return true;
}

} // namespace

BCDevice::BCDevice(QObject *parent)
    : QObject(parent)
    , m_recordBuffer(new LoopBuffer(kRecordBufferBytes, LoopBuffer::KeepNewest, false, this))
    , m_surface(new VideoSurface(this))
    , m_generate(new GenerateImage(this))
{
    m_recordBuffer->open(QIODevice::ReadWrite);
    m_recordBuffer->setSampleLayout(m_sampleBits, m_channels);
    connect(m_recordBuffer, &LoopBuffer::volume, this, &BCDevice::micWaveStrength);
    // Camera frames go to the preview on the thread that delivers them.
    GenerateImage *generate = m_generate;
    connect(
        m_surface, &VideoSurface::generateFrame, generate,
        [generate](const QVideoFrame &frame) { generate->renderFrame(frame); }, Qt::DirectConnection);
}

BCDevice::~BCDevice() { stopAll(); }

BCDevice *BCDevice::instance()
{
    // Never destroyed: QML and the engines hold it until the process ends; the
    // devices are closed when the application quits.
    static BCDevice *device = []() {
        auto *created = new BCDevice();
        if (QCoreApplication *app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, created, &BCDevice::stopAll);
        return created;
    }();
    return device;
}

QAudioFormat BCDevice::audioParams() const
{
    QAudioFormat format;
    format.setSampleRate(m_sampleRate);
    format.setChannelCount(m_channels);
    format.setSampleSize(m_sampleBits);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    return format;
}

void BCDevice::setAudioParam(int sampleRate, int channels, int sampleBites)
{
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_sampleBits = sampleBites;
}

bool BCDevice::supportResolution(QString uuid, int width, int height, int fps)
{
    if (m_cameras.isEmpty())
        getCameras();
    int at = -1;
    for (int i = 0; i < m_cameras.size() && at < 0; ++i)
        if (m_cameras.at(i).deviceName() == uuid)
            at = i;
    if (at < 0)
        return true;
    // Some drivers open a camera only once: the probe takes the place of the open one.
    releaseCamera();
    m_cameraIndex = -1;
    m_camera = new QCamera(m_cameras.at(at), this);
    m_camera->load();
    bool supported = false;
    for (const QCameraViewfinderSettings &setting : m_camera->supportedViewfinderSettings()) {
        if (setting.resolution() != QSize(width, height))
            continue;
        if (fps <= 0 || (setting.minimumFrameRate() <= fps && fps <= setting.maximumFrameRate()))
            supported = true;
    }
    return supported;
}

// ---- opening devices ----------------------------------------------------

QAudioFormat BCDevice::formatFor(const QAudioDeviceInfo &device, const QAudioFormat &wanted, const char *warning) const
{
    if (device.isFormatSupported(wanted))
        return wanted;
    qWarning() << warning;
    return device.nearestFormat(wanted);
}

void BCDevice::releaseCamera() { stopAndDeleteLater(m_camera); }

bool BCDevice::startCamera(int index)
{
    if (m_cameras.isEmpty() || index < 0 || index >= m_cameras.size())
        return false;
    m_cameraIndex = index;
    const QCameraInfo &camera = m_cameras.at(index);
    TSpdlog::instance()->avInfo(QStringLiteral("camera open ") + QString::number(index) + camera.deviceName()
        + QStringLiteral(" Name:") + camera.description());
    releaseCamera();
    m_camera = new QCamera(camera, this);
    m_camera->setViewfinder(m_surface);
    m_camera->start();
    return true;
}

bool BCDevice::startMicrophone(int index)
{
    if (m_mics.devices.isEmpty() || index < 0 || index >= m_mics.devices.size())
        return false;
    stopMicrophone();
    m_micIndex = index;
    const QAudioDeviceInfo &device = m_mics.devices.at(index);
    TSpdlog::instance()->avInfo(
        QStringLiteral("micphone begin ") + QString::number(index) + QLatin1Char(' ') + device.deviceName());
    const QAudioFormat format = formatFor(device, audioParams());
    m_input = new QAudioInput(device, format, this);
    // Small blocks from the sound server, so that the level follows the voice.
    m_input->setBufferSize(format.bytesForDuration(kInputBufferMs * 1000));
    connect(m_input, &QAudioInput::stateChanged, this, [](QAudio::State state) { logState("input", state); });
    m_recordBuffer->reset();
    m_recordBuffer->setSampleLayout(format.sampleSize(), format.channelCount());
    m_input->start(m_recordBuffer);
    return true;
}

bool BCDevice::startLoudspeaker(int index)
{
    if (m_speakers.devices.isEmpty() || index < 0 || index >= m_speakers.devices.size())
        return false;
    stopLoudspeaker();
    m_speakerIndex = index;
    const QAudioDeviceInfo &device = m_speakers.devices.at(index);
    TSpdlog::instance()->avInfo(
        QStringLiteral("speaker begin ") + QString::number(index) + QLatin1Char(' ') + device.deviceName());
    const QAudioFormat format = formatFor(device, audioParams(), "trying to use nearest");
    m_output = new QAudioOutput(device, format, this);
    m_output->setBufferSize(format.bytesForDuration(kOutputBufferMs * 1000)); // you hear yourself soon
    connect(m_output, &QAudioOutput::stateChanged, this, [](QAudio::State state) { logState("output", state); });
    m_output->start(m_recordBuffer);
    return true;
}

bool BCDevice::stopCamera()
{
    releaseCamera();
    m_cameraIndex = -1;
    return true;
}

bool BCDevice::stopMicrophone()
{
    stopAndDeleteLater(m_input);
    m_micIndex = -1;
    return true;
}

bool BCDevice::stopLoudspeaker()
{
    stopAndDeleteLater(m_output);
    m_speakerIndex = -1;
    return true;
}

bool BCDevice::stopAll()
{
    stopCamera();
    stopMicrophone();
    stopLoudspeaker();
    stopMp3();
    return true;
}

// ---- test music ---------------------------------------------------------

bool BCDevice::playMp3(QString file, int speakerIndex)
{
    if (m_playing)
        return false;
    // Without the speaker nothing would hear the decoder: start neither.
    if (m_speakers.devices.isEmpty() || speakerIndex < 0 || speakerIndex >= m_speakers.devices.size()) {
        return false;
    }
    m_playing = true;

    auto *decoder = new Mp3Decode(file); // deleted when its thread finishes
    if (!m_playBuffer) {
        m_playBuffer = std::make_unique<LoopBuffer>(kPlaybackBufferBytes, LoopBuffer::RefuseLargerThanFree, true);
        m_playBuffer->open(QIODevice::ReadWrite);
        m_playBuffer->setSampleLayout(16, 2);
    }
    decoder->setBuffer(m_playBuffer.get());
    decoder->setOutputRate(kPlaybackRate);
    setAudioParam(kPlaybackRate, 2, 16);

    m_decoderThread = new QThread(this);
    decoder->moveToThread(m_decoderThread);
    connect(this, &BCDevice::sgStopMp3, decoder, &Mp3Decode::stop);
    const int session = ++m_playSession;
    connect(decoder, &Mp3Decode::sgDecodeEnd, this, [this, session](qint64 bytes) { onDecodeEnded(session, bytes); });
    connect(m_decoderThread, &QThread::finished, decoder, &QObject::deleteLater);
    m_decoderThread->start(QThread::InheritPriority);
    QTimer::singleShot(0, decoder, &Mp3Decode::run);

    const QAudioDeviceInfo &device = m_speakers.devices.at(speakerIndex);
    const QAudioFormat format = formatFor(device, audioParams());
    auto *output = new AudioOutputThread(device, format); // deleted when its thread finishes
    output->setSource(m_playBuffer.get());
    m_outputThread = new QThread(this);
    output->moveToThread(m_outputThread);
    connect(this, &BCDevice::sgStopMp3, output, &AudioOutputThread::stop, Qt::QueuedConnection);
    connect(output, &AudioOutputThread::sgPlayEnd, this, &BCDevice::onPlaybackEnded, Qt::QueuedConnection);
    connect(m_outputThread, &QThread::finished, output, &QObject::deleteLater);
    m_outputThread->start(QThread::InheritPriority);
    QTimer::singleShot(0, output, &AudioOutputThread::run);
    return true;
}

void BCDevice::onDecodeEnded(int session, qint64 bytes)
{
    if (session != m_playSession || !m_playing)
        return;
    // The output reports its end when the server runs dry, which a stream that
    // never started (nothing decoded, or less than the server's prebuffer) never
    // does: once what was handed over has had time to play, the playback ends.
    const qint64 pending = qMin(bytes, kPlaybackBufferBytes);
    const int playMs = int(pending * 1000 / (kPlaybackRate * 2 * 2)) + kDrainGraceMs;
    QTimer::singleShot(bytes == 0 ? 0 : playMs, this, [this, session]() {
        if (session == m_playSession)
            onPlaybackEnded();
    });
}

void BCDevice::onPlaybackEnded()
{
    if (!m_playing)
        return;
    stopMp3();
    emit sgMp3Finished();
}

bool BCDevice::stopMp3()
{
    emit sgStopMp3();
    if (!m_playing)
        return true;
    const bool ended = endThread(m_outputThread) & endThread(m_decoderThread);
    m_outputThread = nullptr;
    m_decoderThread = nullptr;
    if (m_playBuffer) {
        m_playBuffer->reset();
        if (ended) {
            m_playBuffer.reset();
        } else {
            // A thread may still read or write it: it stays until the application quits.
            LoopBuffer *buffer = m_playBuffer.release();
            connect(qApp, &QCoreApplication::aboutToQuit, buffer, &QObject::deleteLater);
        }
    }
    m_playing = false;
    ++m_playSession; // late notices of this playback are void
    return true;
}

// ---- diagnostics --------------------------------------------------------

void BCDevice::dumpInfo()
{
    platform::quietAudioLibraries();
    const auto dump = [](const char *label, QAudio::Mode mode) {
        for (const QAudioDeviceInfo &device : QAudioDeviceInfo::availableDevices(mode)) {
            qDebug().noquote() << label << device.deviceName() << joined(device.supportedSampleSizes())
                               << joined(device.supportedSampleRates()) << joined(device.supportedChannelCounts())
                               << device.supportedCodecs().join(QStringLiteral(", "));
        }
    };
    dump("input", QAudio::AudioInput);
    dump("output", QAudio::AudioOutput);
}

qlonglong BCDevice::currentThreadId() { return qlonglong(quintptr(QThread::currentThreadId())); }
