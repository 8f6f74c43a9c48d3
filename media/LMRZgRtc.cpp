#include "media/LMRZgRtc.h"

#include "BuildConfig.h"
#include "app/TSpdlog.h"

using namespace ZEGO::EXPRESS;

namespace
{
TSpdlog *log() { return TSpdlog::instance(); }

// The engine as the process knows it: release() goes through here, so that a
// second adapter could never destroy an engine the first one still uses.
struct EngineHolder {
    QMutex mutex;
    IZegoExpressEngine *engine = nullptr; // under mutex
};

EngineHolder &holder()
{
    static EngineHolder h;
    return h;
}

constexpr int kCameraOpen = ZEGO_REMOTE_DEVICE_STATE_OPEN;
constexpr int kCameraDisabled = ZEGO_REMOTE_DEVICE_STATE_DISABLE;
// Longest line a plane may have: a wider one is no frame the views can show.
constexpr unsigned kMaxLineBytes = 4u * videoconvert::kMaxSide;
} // namespace

LMRZgRtc::LMRZgRtc(QObject *parent)
    : MediaEngine(QStringLiteral("zgrtc"), parent)
{
    ZegoEventHandler::registerTypes();
}

LMRZgRtc::~LMRZgRtc() { release(); }

void LMRZgRtc::init()
{
    if (m_initialized)
        return;
    m_engine = ZegoExpressSDK::createEngine(
        lumira::build::kZegoAppId, lumira::build::kZegoAppSign, m_testEnvironment, ZEGO_SCENARIO_GENERAL, nullptr);
    if (!m_engine)
        return;
    {
        QMutexLocker lock(&holder().mutex);
        holder().engine = m_engine;
    }
    log()->avInfo(QStringLiteral("ZegoExpress init ok"));
    m_initialized = true;

    ZegoCustomVideoRenderConfig renderConfig;
    renderConfig.bufferType = ZEGO_VIDEO_BUFFER_TYPE_RAW_DATA;
    renderConfig.frameFormatSeries = ZEGO_VIDEO_FRAME_FORMAT_SERIES_YUV;
    renderConfig.enableEngineRender = false;
    m_engine->enableCustomVideoRender(true, &renderConfig);

    ZegoVideoConfig videoConfig;
    videoConfig.captureWidth = videoConfig.encodeWidth = 240;
    videoConfig.captureHeight = videoConfig.encodeHeight = 180;
    videoConfig.fps = 15;
    videoConfig.bitrate = 300;
    videoConfig.codecID = 0;
    m_engine->setVideoConfig(videoConfig);

    ZegoAudioFrameParam audioParam;
    audioParam.sampleRate = ZEGO_AUDIO_SAMPLE_RATE_8K;
    audioParam.channel = ZEGO_AUDIO_CHANNEL_STEREO;
    m_engine->enableAudioDataCallback(
        true, ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_CAPTURED | ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_PLAYBACK, audioParam);

    m_videoRenderer = std::make_shared<CustomVideoRenderer>(this);
    m_engine->setCustomVideoRenderHandler(m_videoRenderer);
    m_audioHandler = std::make_shared<MyAudioDataHandler>(this);
    m_engine->setAudioDataHandler(m_audioHandler);

    m_player = m_engine->createMediaPlayer();
    if (!m_player)
        log()->avError(QStringLiteral("ZegoExpress 创建播放器失败"));

    // Emitted on the SDK's event thread: every room event crosses to the GUI thread.
    m_eventHandler = std::make_shared<ZegoEventHandler>();
    connect(m_eventHandler.get(), &ZegoEventHandler::sigRoomUserUpdate, this, &LMRZgRtc::onRoomUserUpdate,
        Qt::QueuedConnection);
    connect(m_eventHandler.get(), &ZegoEventHandler::sigRoomStreamUpdate, this, &LMRZgRtc::onRoomStreamUpdate,
        Qt::QueuedConnection);
    connect(m_eventHandler.get(), &ZegoEventHandler::sigRemoteCameraStateUpdate, this,
        &LMRZgRtc::onRemoteCameraStateUpdate, Qt::QueuedConnection);
    connect(m_eventHandler.get(), &ZegoEventHandler::sigPublisherQualityUpdate, this,
        &LMRZgRtc::onPublisherQualityUpdate, Qt::QueuedConnection);
    connect(m_eventHandler.get(), &ZegoEventHandler::sigPlayerQualityUpdate, this, &LMRZgRtc::onPlayerQualityUpdate,
        Qt::QueuedConnection);
    m_engine->setEventHandler(m_eventHandler);
    // The player does not own us: release() destroys it before we go.
    if (m_player)
        m_player->setEventHandler(std::shared_ptr<IZegoMediaPlayerEventHandler>(this, [](auto *) {}));
}

void LMRZgRtc::release()
{
    QMutexLocker lock(&holder().mutex);
    if (!m_engine || holder().engine != m_engine)
        return;
    log()->avInfo(QStringLiteral("ZegoExpress release"));
    m_engine->logoutRoom(m_roomId);
    m_engine->destroyMediaPlayer(m_player);
    m_engine->enableCustomVideoRender(false, nullptr);
    m_engine->setAudioDataHandler(nullptr);
    m_engine->setEventHandler(nullptr);
    // Returns once no SDK thread is in a callback of ours.
    ZegoExpressSDK::destroyEngine(m_engine);
    holder().engine = nullptr;
    m_engine = nullptr;
    m_player = nullptr;
    m_eventHandler.reset();
    m_videoRenderer.reset();
    m_audioHandler.reset();
    m_initialized = false;
    m_inRoom = false;
    m_playing.clear();
    QMutexLocker posLock(&m_mediaPosMutex);
    m_mediaPlaying = false;
    m_mediaPos.clear();
}

void LMRZgRtc::loginRoom(QString roomID, QString userID, QString userName)
{
    if (userID.isEmpty() || !m_engine)
        return;
    log()->avInfo(QStringLiteral("zego login room"));
    m_inRoom = true;
    resetFrameCounts();
    m_roomId = roomID.toStdString();
    m_userId = userID.toStdString();
    m_engine->loginRoom(m_roomId, ZegoUser(m_userId, userName.toStdString()));
    // The SDK's confirmation is not awaited.
    emit joined();
    if (m_engine)
        m_engine->startPublishingStream(m_userId);
}

void LMRZgRtc::logoutRoom()
{
    if (!m_engine)
        return;
    log()->avInfo(QStringLiteral("zego logout room"));
    m_inRoom = false;
    log()->avInfo(QStringLiteral("zgrtc send mic package %1").arg(micFrames()));
    log()->avInfo(QStringLiteral("zgrtc send speaker package %1").arg(speakerFrames()));
    m_engine->stopPreview();
    m_engine->logoutRoom(m_roomId);
    m_playing.clear();
    emit leavingChannel();
}

// ---- room events, GUI thread ------------------------------------------------

void LMRZgRtc::playStream(const QString &id, bool start)
{
    const std::string streamId = id.toStdString();
    if (start) {
        log()->avInfo(QStringLiteral("zego 拉取远端视频 %1,%2").arg(id).arg(1));
        m_engine->startPlayingStream(streamId, nullptr);
        m_playing.insert(id);
    } else {
        log()->avInfo(QStringLiteral("zego 停止拉取远端视频 %1,%2").arg(id).arg(0));
        m_engine->stopPlayingStream(streamId);
        m_playing.remove(id);
    }
    emit userVideoAvailable(id, start);
}

// The events come queued: one that was on its way when we left the room (or
// released the engine) is stale and changes nothing.
void LMRZgRtc::onRoomUserUpdate(std::string, ZegoUpdateType updateType, std::vector<ZegoUser> userList)
{
    if (!m_engine || !m_inRoom)
        return;
    for (const ZegoUser &user : userList)
        playStream(QString::fromStdString(user.userID), updateType == ZEGO_UPDATE_TYPE_ADD);
}

void LMRZgRtc::onRoomStreamUpdate(std::string, ZegoUpdateType updateType, std::vector<ZegoStream> streamList)
{
    if (!m_engine || !m_inRoom)
        return;
    for (const ZegoStream &stream : streamList)
        playStream(QString::fromStdString(stream.streamID), updateType == ZEGO_UPDATE_TYPE_ADD);
}

void LMRZgRtc::onRemoteCameraStateUpdate(std::string streamID, ZegoRemoteDeviceState state)
{
    if (!m_inRoom)
        return;
    if (int(state) == kCameraOpen)
        emit userVideoAvailable(QString::fromStdString(streamID), true);
    else if (int(state) == kCameraDisabled)
        emit userVideoAvailable(QString::fromStdString(streamID), false);
}

void LMRZgRtc::onPublisherQualityUpdate(std::string streamID, ZegoPublishStreamQuality quality)
{
    if (m_inRoom && streamID == m_userId)
        emit rtcStats(quality.rtt);
}

// Our own stream is never played, so a played remote stream's round trip is
// what the delay display gets as the remote audio's delay.
void LMRZgRtc::onPlayerQualityUpdate(std::string streamID, ZegoPlayStreamQuality quality)
{
    if (m_inRoom && (streamID == m_userId || m_playing.contains(QString::fromStdString(streamID))))
        emit remoteAudioStats(quality.rtt);
}

// ---- audio, SDK audio thread ------------------------------------------------

AudioConvertInput LMRZgRtc::audioInput(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels)
{
    AudioConvertInput input;
    if (!data || channels <= 0 || sampleRate <= 0 || dataLength > unsigned(AudioConvert::kCapacity) * 64)
        return input;
    input.sampleRate = sampleRate;
    input.channels = channels;
    input.samplesPerChannel = int(dataLength / 2) / channels;
    input.length = int(dataLength);
    input.buffer = QByteArray(reinterpret_cast<const char *>(data), input.length);
    return input;
}

void LMRZgRtc::onCapturedAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels)
{
    if (channels == 0 || !m_inRoom || m_localAudioMuted)
        return;
    deliverAudio(audioInput(data, dataLength, sampleRate, channels), true);
}

void LMRZgRtc::onPlaybackAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels)
{
    if (channels == 0 || !m_inRoom)
        return;
    deliverAudio(audioInput(data, dataLength, sampleRate, channels), false);
}

// ---- video, SDK render thread -----------------------------------------------

bool LMRZgRtc::frameRecord(
    int width, int height, const unsigned char *const planes[3], const unsigned int lengths[3], VendorVideoFrame &out)
{
    if (width < 2 || height < 2 || width > videoconvert::kMaxSide || height > videoconvert::kMaxSide || !planes
        || !lengths)
        return false;
    out.width = width & ~1;
    out.height = height & ~1;
    const unsigned rows = unsigned(height);
    const unsigned long long lineSizes[3] = { lengths[0] / rows, 2ull * lengths[1] / rows, 2ull * lengths[2] / rows };
    for (int i = 0; i < 3; ++i) {
        if (!planes[i] || lineSizes[i] > kMaxLineBytes)
            return false;
        out.planes[i] = planes[i];
        out.strides[i] = int(lineSizes[i]);
    }
    // Every row that is read lies within its plane's length (rows x line
    // size never exceeds it), as long as a line holds the row's pixels.
    return out.strides[0] >= width && out.strides[1] >= (width + 1) / 2 && out.strides[2] >= (width + 1) / 2;
}

namespace
{
VideoViews::FrameSource frameOf(unsigned char **data, unsigned int *dataLength, int width, int height)
{
    return [=]() -> ffmpeg::FramePtr {
        VendorVideoFrame record;
        if (!LMRZgRtc::frameRecord(width, height, data, dataLength, record))
            return nullptr;
        return videoconvert::fromI420(record);
    };
}
} // namespace

void LMRZgRtc::onCapturedVideoFrameRawData(unsigned char **data, unsigned int *dataLength, int width, int height)
{
    try {
        m_views.drawLocal(frameOf(data, dataLength, width, height));
    } catch (...) {
        log()->avError(QStringLiteral("LMRZgRtc onCapturedVideoFrameRawData error"));
    }
}

void LMRZgRtc::onRemoteVideoFrameRawData(
    unsigned char **data, unsigned int *dataLength, int width, int height, const std::string &streamID)
{
    try {
        m_views.drawRemote(QString::fromStdString(streamID), frameOf(data, dataLength, width, height));
    } catch (...) {
        log()->avError(QStringLiteral("LMRZgRtc onRemoteVideoFrameRawData error"));
    }
}

// ---- views and local capture, GUI thread -------------------------------------

void LMRZgRtc::setupLocalVideo(QQuickItem *view, QString)
{
    m_views.setLocal(view);
    log()->avInfo(QStringLiteral("LMRZgRtc 设置自定义本地视频回调"));
}

void LMRZgRtc::setupRemoteVideo(QString id, QQuickItem *view, QString) { m_views.setRemote(id, view); }

void LMRZgRtc::enableLocalVideo(bool flag)
{
    if (!m_engine)
        return;
    if (flag) {
        log()->avInfo(QStringLiteral("LMRZgRtc 启动本地视频采集"));
        m_engine->enableCamera(true);
        m_engine->startPreview(nullptr);
        m_engine->mutePublishStreamVideo(false);
    } else {
        log()->avInfo(QStringLiteral("LMRZgRtc 停止本地视频采集"));
        m_engine->stopPreview();
        m_engine->mutePublishStreamVideo(true);
        m_engine->enableCamera(false);
    }
}

void LMRZgRtc::enableLocalAudio(bool flag)
{
    if (!m_engine || !m_initialized)
        return;
    m_engine->muteMicrophone(!flag);
    m_localAudioMuted = !flag;
    log()->avInfo(flag ? QStringLiteral("zego 启动本地音频采集") : QStringLiteral("zego 静音本地音频采集"));
}

void LMRZgRtc::muteAllRemoteAudioStreams(bool flag)
{
    if (m_engine && m_initialized)
        m_engine->muteSpeaker(flag);
}

void LMRZgRtc::setMediaVolume(int) { }

// ---- devices -----------------------------------------------------------------

void LMRZgRtc::setCameraDrive(QString uuid)
{
    if (!m_engine)
        return;
    log()->avInfo(QStringLiteral("Zego 设置摄像头 %1:").arg(uuid));
    log()->avInfo(QStringLiteral("ZeGo SetCamera %1").arg(uuid));
    const std::string id = uuid.toStdString();
    const std::vector<ZegoDeviceInfo> devices = m_engine->getVideoDeviceList();
    for (const ZegoDeviceInfo &device : devices) {
        if (device.deviceID.find(id) != std::string::npos) {
            m_engine->useVideoDevice(device.deviceID);
            break;
        }
    }
    // Two virtual cameras of streaming tools show no one: another camera takes their place.
    if (uuid == QStringLiteral("YY开播") || uuid == QStringLiteral("6RoomsCamV10")) {
        for (const ZegoDeviceInfo &device : devices) {
            if (device.deviceName.find(id) == std::string::npos) {
                m_engine->useVideoDevice(device.deviceID);
                break;
            }
        }
    }
}

void LMRZgRtc::setMicDrive(QString uuid)
{
    if (!m_engine)
        return;
    log()->avInfo(QStringLiteral("Zego 设置麦克风 %1:").arg(uuid));
    m_engine->useAudioDevice(ZEGO_AUDIO_DEVICE_TYPE_INPUT, uuid.toStdString());
}

void LMRZgRtc::setPlayerDrive(QString uuid)
{
    if (!m_engine)
        return;
    log()->avInfo(QStringLiteral("Zego 设置扬声器 %1:").arg(uuid));
    m_engine->useAudioDevice(ZEGO_AUDIO_DEVICE_TYPE_OUTPUT, uuid.toStdString());
}

// ---- courseware audio ----------------------------------------------------------

int LMRZgRtc::playMedia(QString path)
{
    if (!m_engine || !m_player)
        return 0;
    IZegoMediaPlayer *player = m_player;
    player->loadResource(path.toStdString(), [path, player](int errorCode) {
        // On whichever thread the SDK finishes loading.
        log()->avInfo(QStringLiteral("zego playMedia%1,errorCode=%2").arg(path).arg(errorCode));
        log()->avInfo(QStringLiteral("zego playMedia totalDuration%1,playVolume=%2,publishVolume=%3")
                          .arg(player->getTotalDuration())
                          .arg(player->getPlayVolume())
                          .arg(player->getPublishVolume()));
    });
    player->enableAux(true);
    player->start();
    m_mediaDurationMs = qint64(player->getTotalDuration());
    {
        QMutexLocker lock(&m_mediaPosMutex);
        m_mediaPlaying = true;
    }
    return int(m_mediaDurationMs / 1000);
}

bool LMRZgRtc::resumeMedia()
{
    if (!m_engine || !m_player)
        return false;
    m_player->resume();
    return true;
}

bool LMRZgRtc::pauseMedia()
{
    if (!m_engine || !m_player)
        return false;
    m_player->pause();
    return true;
}

void LMRZgRtc::stopMedia()
{
    if (!m_engine || !m_player)
        return;
    m_player->stop();
    QMutexLocker lock(&m_mediaPosMutex);
    m_mediaPlaying = false;
    m_mediaPos.clear();
}

void LMRZgRtc::seekMedia(int ms_pos)
{
    if (m_engine && m_player && ms_pos >= 0)
        m_player->seekTo((unsigned long long)ms_pos, nullptr);
}

QStringList LMRZgRtc::getCurrentPos()
{
    if (!m_engine)
        return {};
    QMutexLocker lock(&m_mediaPosMutex);
    if (m_mediaPos.isEmpty())
        return { QStringLiteral("0"), QStringLiteral("0") };
    return m_mediaPos;
}

// The duration is the one playMedia() learnt: the player is not called back
// from inside its own callback.
void LMRZgRtc::onMediaPlayerPlayingProgress(IZegoMediaPlayer *, unsigned long long millisecond)
{
    const QStringList pos { QString::number(m_mediaDurationMs / 1000), QString::number(millisecond / 1000) };
    QMutexLocker lock(&m_mediaPosMutex);
    if (m_mediaPlaying) // a report still on its way after stopMedia() is stale
        m_mediaPos = pos;
}

void LMRZgRtc::onMediaPlayerStateUpdate(IZegoMediaPlayer *, ZegoMediaPlayerState state, int)
{
    if (state != ZEGO_MEDIA_PLAYER_STATE_PLAY_ENDED)
        return;
    QMutexLocker lock(&m_mediaPosMutex);
    m_mediaPlaying = false;
    m_mediaPos.clear();
}
