#include "media/LMRAgora.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/video/VideoFrameConvert.h"

#include <QDate>

using namespace agora;

std::atomic<bool> LMRAgora::s_inRoom { false };

namespace
{
TSpdlog *log() { return TSpdlog::instance(); }
} // namespace

bool LMRAgoraVideoCallback::acceptable(const VideoFrame &f)
{
    return f.type == VideoFrame().type && f.uStride == f.vStride && f.yStride / 2 == f.vStride && f.width > 0
        && f.height > 0 && f.width <= videoconvert::kMaxSide && f.height <= videoconvert::kMaxSide && f.yBuffer
        && f.uBuffer && f.vBuffer;
}

bool LMRAgoraVideoCallback::onCaptureVideoFrame(VideoFrame &videoFrame)
{
    if (!acceptable(videoFrame))
        return false;
    m_agora->handleCaptureVideo(videoFrame);
    return true;
}

bool LMRAgoraVideoCallback::onRenderVideoFrame(unsigned int uid, VideoFrame &videoFrame)
{
    if (!acceptable(videoFrame))
        return false;
    m_agora->handleRenderVideo(uid, videoFrame);
    return true;
}

bool LMRAgoraAudioCallback::onRecordAudioFrame(AudioFrame &audioFrame)
{
    m_agora->handleRecordAudio(audioFrame);
    return true;
}

bool LMRAgoraAudioCallback::onPlaybackAudioFrame(AudioFrame &audioFrame)
{
    m_agora->handlePlaybackAudio(audioFrame);
    return true;
}

LMRAgora::LMRAgora(QObject *parent)
    : MediaEngine(QStringLiteral("Agora"), parent)
    , m_videoCallback(std::make_unique<LMRAgoraVideoCallback>(this))
    , m_audioCallback(std::make_unique<LMRAgoraAudioCallback>(this))
{
    // Queued from the SDK's render thread: timers live on the GUI thread.
    connect(this, &LMRAgora::sgCloseVideoTimer, this, &LMRAgora::setCloseVideoTimer);
}

LMRAgora::~LMRAgora() { release(); }

void LMRAgora::init()
{
    if (m_initialized)
        return;
    m_engine = createAgoraRtcEngine();
    if (!m_engine)
        return;
    rtc::RtcEngineContext context;
    context.eventHandler = this;
    context.appId = lumira::build::kAgoraAppId;
    context.context = nullptr;
    const int rc = m_engine->initialize(context);
    if (rc != 0)
        log()->avError(QStringLiteral("Agora 初始化失败:%1").arg(rc));
    log()->avInfo(QStringLiteral("Agora 初始化完成"));
    m_initialized = true;
}

void LMRAgora::release()
{
    if (m_engine)
        m_engine->release(false);
    m_initialized = false;
    m_engine = nullptr;
}

void LMRAgora::enterRoom(QString uid, QString sig, QString roomid)
{
    if (!m_engine)
        return;
    s_inRoom = true;
    resetFrameCounts();
    const QByteArray logFile = (DirHelper::instance()->logPathWithAgora() + QStringLiteral("/agora_")
        + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log"))
                                   .toUtf8();
    m_engine->setLogFile(logFile.constData());
    m_engine->setLogFilter(rtc::LOG_FILTER_INFO);

    rtc::VideoEncoderConfiguration config;
    config.dimensions = { 240, 180 };
    config.frameRate = 15;
    config.minFrameRate = -1;
    config.bitrate = -1;
    config.minBitrate = -1;
    config.orientationMode = 0;
    config.degradationPreference = 1;
    config.mirrorMode = 0;
    m_engine->setVideoEncoderConfiguration(config);
    m_engine->enableAudioVolumeIndication(300, 3, false);
    m_engine->enableVideo();

    util::AutoPtr<media::IMediaEngine> mediaEngine;
    if (m_engine->queryInterface(rtc::AGORA_IID_MEDIA_ENGINE, mediaEngine.storage()) == 0 && mediaEngine) {
        mediaEngine->registerVideoFrameObserver(m_videoCallback.get());
        mediaEngine->registerAudioFrameObserver(m_audioCallback.get());
    }
    m_engine->setRecordingAudioFrameParameters(16000, 1, rtc::RAW_AUDIO_FRAME_OP_MODE_READ_ONLY, 160);

    m_uid = uid;
    m_sig = sig;
    m_roomid = roomid;
    m_localAudioMuted = false;
    const QByteArray token = sig.toUtf8();
    const QByteArray channel = roomid.toUtf8();
    const int rc = m_engine->joinChannel(token.constData(), channel.constData(), nullptr, uid.toUInt());
    if (rc != 0)
        log()->avError(QStringLiteral("Agora 进入房间失败:") + QString::number(rc));
}

void LMRAgora::exitRoom()
{
    if (!m_engine)
        return;
    log()->avInfo(QStringLiteral("Agora send mic package %1").arg(micFrames()));
    log()->avInfo(QStringLiteral("Agora send speaker package %1").arg(speakerFrames()));
    for (QTimer *timer : qAsConst(m_closeVideoTimers)) {
        disconnect(timer, &QTimer::timeout, this, &LMRAgora::onCloseVideoTimer);
        timer->stop();
        timer->deleteLater();
    }
    m_closeVideoTimers.clear();
    enableLocalVideo(false);
    m_engine->leaveChannel();
    log()->avInfo(QStringLiteral("Agora 退出房间成功"));
    s_inRoom = false;
    emit leavingChannel();
}

void LMRAgora::onWarning(int warn, const char *msg)
{
    log()->avWarn(QStringLiteral("Agora 警告 err:") + QString::number(warn) + QStringLiteral(" msg:")
        + QString::fromUtf8(msg ? msg : ""));
}

void LMRAgora::onError(int err, const char *msg)
{
    log()->avError(QStringLiteral("Agora 错误 err:") + QString::number(err) + QStringLiteral(" msg:")
        + QString::fromUtf8(msg ? msg : ""));
}

void LMRAgora::onJoinChannelSuccess(const char *, rtc::uid_t, int)
{
    s_inRoom = true;
    log()->avInfo(QStringLiteral("Agora 进入房间成功"));
    emit joined();
}

void LMRAgora::onRtcStats(const rtc::RtcStats &stats) { emit rtcStats(stats.lastmileDelay); }

void LMRAgora::onRemoteAudioStats(const rtc::RemoteAudioStats &stats)
{
    emit remoteAudioStats(stats.networkTransportDelay);
}

void LMRAgora::onAudioVolumeIndication(const rtc::AudioVolumeInfo *speakers, unsigned int, int)
{
    if (!speakers)
        return;
    emit volumeChanged(QString::number(speakers[0].uid), int(speakers[0].volume / 255.0 * 100.0));
}

void LMRAgora::onConnectionStateChanged(rtc::CONNECTION_STATE_TYPE state, rtc::CONNECTION_CHANGED_REASON_TYPE)
{
    if (state != rtc::CONNECTION_STATE_FAILED)
        return;
    log()->avError(QStringLiteral("Agora 断开网络连接，退出教室"));
    if (m_engine)
        m_engine->leaveChannel();
}

void LMRAgora::setupLocalVideo(QQuickItem *view) { m_views.setLocal(view); }

void LMRAgora::setupRemoteVideo(QString id, QQuickItem *view) { m_views.setRemote(id, view); }

namespace
{
ffmpeg::FramePtr frameOf(const media::IVideoFrameObserver::VideoFrame &f)
{
    VendorVideoFrame record;
    record.width = f.width;
    record.height = f.height;
    record.strides[0] = f.yStride;
    record.strides[1] = f.uStride;
    record.strides[2] = f.vStride;
    record.planes[0] = static_cast<const uint8_t *>(f.yBuffer);
    record.planes[1] = static_cast<const uint8_t *>(f.uBuffer);
    record.planes[2] = static_cast<const uint8_t *>(f.vBuffer);
    return videoconvert::fromI420(record);
}
} // namespace

void LMRAgora::handleCaptureVideo(const media::IVideoFrameObserver::VideoFrame &frame)
{
    m_views.drawLocal([&frame] { return frameOf(frame); });
}

void LMRAgora::handleRenderVideo(unsigned int uid, const media::IVideoFrameObserver::VideoFrame &frame)
{
    const QString id = QString::number(uid);
    if (!m_views.drawRemote(
            id, [&frame] { return frameOf(frame); }, frame.rotation)
        || !s_inRoom)
        return;
    if (m_engine)
        m_engine->muteRemoteVideoStream(uid, false);
    emit userVideoAvailable(id, true);
    emit sgCloseVideoTimer(id);
}

namespace
{
AudioConvertInput inputOf(const media::IAudioFrameObserver::AudioFrame &frame)
{
    AudioConvertInput input;
    input.sampleRate = frame.samplesPerSec;
    input.channels = frame.channels;
    input.samplesPerChannel = frame.samples;
    input.length = frame.samples * frame.channels * frame.bytesPerSample;
    input.buffer = QByteArray(static_cast<const char *>(frame.buffer), input.length);
    return input;
}
} // namespace

void LMRAgora::handleRecordAudio(const media::IAudioFrameObserver::AudioFrame &frame)
{
    if (!s_inRoom || frame.channels <= 0 || m_localAudioMuted || !frame.buffer)
        return;
    deliverAudio(inputOf(frame), true);
}

void LMRAgora::handlePlaybackAudio(const media::IAudioFrameObserver::AudioFrame &frame)
{
    if (!s_inRoom || frame.channels <= 0 || !frame.buffer)
        return;
    deliverAudio(inputOf(frame), false);
}

void LMRAgora::setCloseVideoTimer(QString uid)
{
    QTimer *timer = m_closeVideoTimers.value(uid);
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, &LMRAgora::onCloseVideoTimer);
        m_closeVideoTimers.insert(uid, timer);
    }
    timer->start(1000);
}

void LMRAgora::onCloseVideoTimer()
{
    for (auto it = m_closeVideoTimers.begin(); it != m_closeVideoTimers.end(); ++it) {
        if (it.value()->remainingTime() <= 0) {
            it.value()->stop();
            emit userVideoAvailable(it.key(), false);
            return;
        }
    }
}

void LMRAgora::enableLocalVideo(bool flag)
{
    if (!m_engine)
        return;
    m_engine->enableLocalVideo(flag);
    log()->avInfo(flag ? QStringLiteral("Agora 启动本地视频采集") : QStringLiteral("Agora 停止本地视频采集"));
}

void LMRAgora::enableLocalAudio(bool flag)
{
    if (!m_engine)
        return;
    if (flag) {
        m_engine->enableLocalAudio(true);
        m_engine->muteLocalAudioStream(false);
        m_localAudioMuted = false;
        log()->avInfo(QStringLiteral("Agora 启动本地音频采集"));
    } else {
        m_engine->muteLocalAudioStream(true);
        m_localAudioMuted = true;
        log()->avInfo(QStringLiteral("Agora 静音本地音频采集"));
    }
}

void LMRAgora::muteAllRemoteAudioStreams(bool flag)
{
    if (m_engine)
        m_engine->muteAllRemoteAudioStreams(flag);
}

namespace
{
// Lists the devices of a collection into the log, then releases it.
void logDevices(rtc::IAudioDeviceCollection *devices, const QString &line, const QString &volumeLine)
{
    if (!devices)
        return;
    for (int i = 0; i < devices->getCount(); ++i) {
        char name[512] = {};
        char id[512] = {};
        if (devices->getDevice(i, name, id) == 0)
            log()->avInfo(line.arg(i).arg(QString::fromUtf8(name), QString::fromUtf8(id)));
    }
    int volume = 0;
    devices->getApplicationVolume(volume);
    log()->avInfo(volumeLine.arg(volume));
    devices->release();
}

QByteArray deviceId(const QString &uuid)
{
    QByteArray id = uuid.toUtf8();
    id.resize(std::min(id.size(), 511));
    return id;
}
} // namespace

void LMRAgora::setCameraDrive(QString uuid)
{
    if (!m_engine)
        return;
    util::AutoPtr<rtc::IVideoDeviceManager> manager;
    if (m_engine->queryInterface(rtc::AGORA_IID_VIDEO_DEVICE_MANAGER, manager.storage()) != 0 || !manager)
        return;
    log()->avInfo(QStringLiteral("Agora 设置摄像头 %1").arg(uuid));
    manager->setDevice(deviceId(uuid).constData());
}

void LMRAgora::selectAudioDevice(const QString &uuid, bool playback)
{
    if (!m_engine)
        return;
    util::AutoPtr<rtc::IAudioDeviceManager> manager;
    if (m_engine->queryInterface(rtc::AGORA_IID_AUDIO_DEVICE_MANAGER, manager.storage()) != 0 || !manager)
        return;
    const QByteArray id = deviceId(uuid);
    if (playback) {
        log()->avInfo(QStringLiteral("Agora 设置扬声器 %1").arg(uuid));
        logDevices(manager->enumeratePlaybackDevices(), QStringLiteral("Play List:No:%1 Name:%2 Id:%3"),
            QStringLiteral("Play application Vol is:%1"));
        manager->setPlaybackDevice(id.constData());
    } else {
        log()->avInfo(QStringLiteral("Agora 设置麦克风 %1:").arg(uuid));
        logDevices(manager->enumerateRecordingDevices(), QStringLiteral("Mic List:No:%1 Name:%2 Id:%3"),
            QStringLiteral("Mic application Vol is:%1"));
        manager->setRecordingDevice(id.constData());
    }
}

void LMRAgora::setMicDrive(QString uuid) { selectAudioDevice(uuid, false); }

void LMRAgora::setPlayerDrive(QString uuid) { selectAudioDevice(uuid, true); }

void LMRAgora::setMediaVolume(int value)
{
    if (!m_engine)
        return;
    util::AutoPtr<rtc::IAudioDeviceManager> manager;
    if (m_engine->queryInterface(rtc::AGORA_IID_AUDIO_DEVICE_MANAGER, manager.storage()) == 0 && manager)
        manager->setPlaybackDeviceVolume(value);
}

int LMRAgora::playMedia(QString path)
{
    if (!m_engine)
        return 0;
    const QByteArray file = path.toUtf8();
    m_engine->startAudioMixing(file.constData(), false, false, 1);
    return m_engine->getAudioMixingDuration() / 1000;
}

bool LMRAgora::resumeMedia()
{
    if (!m_engine)
        return false;
    m_engine->resumeAudioMixing();
    return true;
}

bool LMRAgora::pauseMedia()
{
    if (!m_engine)
        return false;
    m_engine->pauseAudioMixing();
    return true;
}

void LMRAgora::stopMedia()
{
    if (m_engine)
        m_engine->stopAudioMixing();
}

void LMRAgora::seekMedia(int ms_pos)
{
    if (m_engine)
        m_engine->setAudioMixingPosition(ms_pos);
}

QStringList LMRAgora::getCurrentPos()
{
    if (!m_engine)
        return {};
    return { QString::number(m_engine->getAudioMixingDuration() / 1000),
        QString::number(m_engine->getAudioMixingCurrentPosition() / 1000) };
}

void LMRAgora::test()
{
    enterRoom(QString::fromLatin1(lumira::build::kAgoraTestUid), QString::fromLatin1(lumira::build::kAgoraTestToken),
        QString::fromLatin1(lumira::build::kAgoraTestRoom));
}
