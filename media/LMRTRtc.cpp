#include "media/LMRTRtc.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "device/BCDevice.h"
#include "media/video/VideoFrameConvert.h"
#include "platform/SharedLibraryName.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QMetaType>

namespace
{
TSpdlog *log() { return TSpdlog::instance(); }

QString fromSdk(const char *text) { return QString::fromUtf8(text ? text : ""); }

// Two virtual cameras are listed by the device manager under their name;
// the SDK selects them by their own PID.
bool isNamedVirtualCamera(const QString &uuid)
{
    return uuid == QStringLiteral("YY开播") || uuid == QStringLiteral("6RoomsCamV10");
}
} // namespace

LMRTRtc::LMRTRtc(QObject *parent, CameraCheck cameraCheck)
    : MediaEngine(QStringLiteral("TRtc"), parent)
    , m_cameraCheck(std::move(cameraCheck))
{
    // QML calls setSkinSmooth with this type's name.
    qRegisterMetaType<uint32_t>("uint32_t");
    if (!m_cameraCheck)
        m_cameraCheck = [](const QString &uuid, int width, int height, int fps) {
            return BCDevice::instance()->supportResolution(uuid, width, height, fps);
        };

    const QDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/LiteAV"));
    m_library.setFileName(dir.absoluteFilePath(lumira::platform::sharedLibraryFileName(QStringLiteral("liteav"))));
    if (!m_library.load()) {
        qWarning() << m_library.errorString();
        fatal(QStringLiteral("Fatal:TRtc dll liteav.dll load error"));
    }
    m_getTRTCShareInstance = reinterpret_cast<GetTRTCShareInstance>(m_library.resolve("getTRTCShareInstance"));
    if (!m_getTRTCShareInstance)
        fatal(QStringLiteral("Fatal:TRtc dll getTRTCShareInstance load error"));
    m_destroyTRTCShareInstance
        = reinterpret_cast<DestroyTRTCShareInstance>(m_library.resolve("destroyTRTCShareInstance"));
    if (!m_destroyTRTCShareInstance)
        fatal(QStringLiteral("Fatal:TRtc dll destroyTRTCShareInstance load error"));
}

// The library stays loaded for the life of the process (QLibrary does not
// unload on destruction): SDK threads may outlive this object briefly.
LMRTRtc::~LMRTRtc() { release(); }

void LMRTRtc::fatal(const QString &line) { TSpdlog::fatalExit(line); }

void LMRTRtc::init()
{
    if (m_initialized || m_cloud)
        return;
    m_cloud = m_getTRTCShareInstance();
    if (!m_cloud)
        return;
    m_cloud->addCallback(this);
    m_cloud->setLogLevel(TRTCLogLevelWarn);
    m_cloud->setConsoleEnabled(false);
    const QByteArray logDir = DirHelper::instance()->logPathWithTRtc().toUtf8();
    m_cloud->setLogDirPath(logDir.constData());
    m_cloud->setLogCallback(this);

    TRTCVideoEncParam encoder;
    encoder.videoResolution = TRTCVideoResolution_240_180;
    encoder.resMode = TRTCVideoResolutionModeLandscape;
    encoder.videoFps = 15;
    encoder.videoBitrate = 150;
    encoder.minVideoBitrate = 0;
    encoder.enableAdjustRes = true;
    m_cloud->setVideoEncoderParam(encoder);

    TRTCNetworkQosParam qos;
    qos.preference = TRTCVideoQosPreferenceSmooth;
    qos.controlMode = TRTCQosControlModeServer;
    m_cloud->setNetworkQosParam(qos);

    m_cloud->setAudioFrameCallback(this);
    m_cloud->enableAudioVolumeEvaluation(300);
    log()->avInfo(QStringLiteral("TRtc 初始化完成"));
    m_initialized = true;
}

void LMRTRtc::release()
{
    if (m_cloud) {
        m_cloud->removeCallback(this);
        m_cloud->setLogCallback(nullptr);
        m_cloud->setAudioFrameCallback(nullptr);
        m_destroyTRTCShareInstance(); // leaves the room; no SDK thread calls us after it
        m_cloud = nullptr;
        // Without the SDK there is no room; its exit report will not come.
        m_inRoom = false;
    }
    m_initialized = false;
}

void LMRTRtc::enterRoom(QString uid, QString sig, int roomid)
{
    if (!m_cloud)
        return;
    const QByteArray userId = uid.toUtf8();
    const QByteArray userSig = sig.toUtf8();
    TRTCParams params;
    params.sdkAppId = lumira::build::kTRtcAppId;
    params.userId = userId.constData();
    params.userSig = userSig.constData();
    params.roomId = uint32_t(roomid);
    params.strRoomId = nullptr;
    params.role = TRTCRoleAnchor;
    params.streamId = nullptr;
    params.userDefineRecordId = nullptr;
    params.privateMapKey = nullptr;
    params.businessInfo = nullptr;
    m_cloud->enterRoom(params, TRTCAppSceneVideoCall);
    log()->avInfo(QStringLiteral("TRtc 进入房间模式:视频模式"));
    m_cloud->muteAllRemoteAudio(false);
    m_localAudioMuted = false;
}

void LMRTRtc::leaveSequence()
{
    if (!m_cloud)
        return;
    m_cloud->stopLocalAudio();
    m_cloud->stopLocalPreview();
    m_cloud->stopAllRemoteView();
    m_cloud->exitRoom();
}

void LMRTRtc::exitRoom() { leaveSequence(); }

// ---- cloud callbacks: the SDK's event threads --------------------------------

void LMRTRtc::onError(TXLiteAVError errCode, const char *errMsg, void *)
{
    log()->avError(QStringLiteral("TRtc 错误 errorCode:") + QString::number(int(errCode))
        + QStringLiteral(" errorInfo:") + TSpdlog::escapeControls(fromSdk(errMsg)));
    if (errCode == ERR_ROOM_ENTER_FAIL)
        leaveSequence();
}

void LMRTRtc::onWarning(TXLiteAVWarning warningCode, const char *warningMsg, void *)
{
    log()->avError(QStringLiteral("TRtc 警告 warningCode:") + QString::number(int(warningCode))
        + QStringLiteral(" warningInfo:") + TSpdlog::escapeControls(fromSdk(warningMsg)));
}

void LMRTRtc::onEnterRoom(int result)
{
    if (result >= 0) {
        m_inRoom = true;
        resetFrameCounts();
        log()->avInfo(QStringLiteral("TRtc 进入房间成功"));
        emit joined();
    } else {
        log()->avError(QStringLiteral("TRtc 进入房间失败:") + QString::number(result));
        leaveSequence();
    }
}

void LMRTRtc::onExitRoom(int reason)
{
    if (!m_inRoom.exchange(false))
        return;
    log()->avInfo(QStringLiteral("trtc send mic package %1").arg(micFrames()));
    log()->avInfo(QStringLiteral("trtc send speaker package %1").arg(speakerFrames()));
    log()->avInfo(QStringLiteral("TRtc 退出房间:%1").arg(reason));
    emit leavingChannel();
}

void LMRTRtc::onUserVideoAvailable(const char *userId, bool available)
{
    const QString id = fromSdk(userId);
    if (m_cloud && userId) {
        if (available) {
            log()->avInfo(QStringLiteral("TRtc 设置自定义远端视频回调"));
            m_cloud->setRemoteVideoRenderCallback(userId, TRTCVideoPixelFormat_I420, TRTCVideoBufferType_Buffer, this);
            m_cloud->startRemoteView(userId, nullptr);
        } else {
            m_cloud->setRemoteVideoRenderCallback(
                userId, TRTCVideoPixelFormat_I420, TRTCVideoBufferType_Buffer, nullptr);
            m_cloud->stopRemoteView(userId);
        }
    }
    emit userVideoAvailable(id, available);
}

void LMRTRtc::onStatistics(const TRTCStatistics &statistics) { emit rtcStats(int(statistics.rtt)); }

void LMRTRtc::onUserVoiceVolume(TRTCVolumeInfo *userVolumes, uint32_t userVolumesCount, uint32_t)
{
    if (!userVolumes)
        return;
    for (uint32_t i = 0; i < userVolumesCount; ++i) {
        // The local user comes with the empty id.
        if (userVolumes[i].userId && *userVolumes[i].userId)
            emit volumeChanged(fromSdk(userVolumes[i].userId), int(userVolumes[i].volume));
    }
}

void LMRTRtc::onPlayBGMProgress(uint32_t progressMS, uint32_t durationMS)
{
    QMutexLocker lock(&m_positionMutex);
    m_position = QStringList { QString::number(durationMS / 1000), QString::number(progressMS / 1000) };
}

void LMRTRtc::onPlayBGMComplete(TXLiteAVError)
{
    QMutexLocker lock(&m_positionMutex);
    m_position.clear();
}

// ---- frames ------------------------------------------------------------------

namespace
{
AudioConvertInput inputOf(const TRTCAudioFrame &frame, int channels)
{
    AudioConvertInput input;
    input.sampleRate = int(frame.sampleRate);
    input.channels = channels;
    input.length = int(frame.length);
    input.samplesPerChannel = input.length / (2 * channels);
    input.buffer = QByteArray(frame.data, input.length);
    return input;
}
} // namespace

void LMRTRtc::onCapturedAudioFrame(TRTCAudioFrame *frame)
{
    // The microphone is mono whatever the frame says: samples = length / 2.
    if (!frame || frame->channel == 0 || !frame->data || !m_inRoom || m_localAudioMuted)
        return;
    deliverAudio(inputOf(*frame, 1), true);
}

void LMRTRtc::onMixedPlayAudioFrame(TRTCAudioFrame *frame)
{
    // What the speaker plays is stereo: samples = length / 4.
    if (!frame || frame->channel == 0 || !frame->data || !m_inRoom)
        return;
    deliverAudio(inputOf(*frame, 2), false);
}

void LMRTRtc::onRenderVideoFrame(const char *userId, TRTCVideoStreamType, TRTCVideoFrame *frame)
{
    if (!frame || frame->width > uint32_t(videoconvert::kMaxSide) || frame->height > uint32_t(videoconvert::kMaxSide)
        || frame->videoFormat != TRTCVideoPixelFormat_I420 || frame->bufferType != TRTCVideoBufferType_Buffer)
        return;
    const QString id = fromSdk(userId);
    auto image = [frame] {
        return videoconvert::fromI420Buffer(int(frame->width), int(frame->height),
            reinterpret_cast<const uint8_t *>(frame->data), int64_t(frame->length));
    };
    if (id.isEmpty())
        m_views.drawLocal(image);
    else
        m_views.drawRemote(id, image);
}

// ---- views and local capture: GUI thread ---------------------------------------

void LMRTRtc::setupLocalVideo(QQuickItem *view)
{
    m_views.setLocal(view);
    log()->avInfo(QStringLiteral("TRtc 设置自定义本地视频回调"));
    if (m_cloud)
        m_cloud->setLocalVideoRenderCallback(TRTCVideoPixelFormat_I420, TRTCVideoBufferType_Buffer, this);
}

void LMRTRtc::setupRemoteVideo(QString id, QQuickItem *view) { m_views.setRemote(id, view); }

void LMRTRtc::enableLocalVideo(bool flag)
{
    if (!m_cloud)
        return;
    if (flag) {
        m_cloud->muteLocalVideo(false);
        m_cloud->startLocalPreview(nullptr);
        log()->avInfo(QStringLiteral("TRtc 启动本地视频采集"));
    } else {
        m_cloud->muteLocalVideo(true);
        m_cloud->stopLocalPreview();
        log()->avInfo(QStringLiteral("TRtc 停止本地视频采集"));
    }
}

void LMRTRtc::enableLocalAudio(bool flag)
{
    if (!m_cloud)
        return;
    if (flag) {
        m_cloud->startLocalAudio();
        m_cloud->muteLocalAudio(false);
        m_localAudioMuted = false;
        log()->avInfo(QStringLiteral("TRtc 启动本地音频采集"));
    } else {
        m_cloud->muteLocalAudio(true);
        m_localAudioMuted = true;
        log()->avInfo(QStringLiteral("TRtc 静音本地音频采集"));
    }
}

void LMRTRtc::muteAllRemoteAudioStreams(bool flag)
{
    if (m_cloud)
        m_cloud->muteAllRemoteAudio(flag);
}

void LMRTRtc::setSkinSmooth(uint32_t grad)
{
    if (m_cloud)
        m_cloud->setBeautyStyle(TRTCBeautyStyleNature, grad, grad, grad);
}

// ---- devices -------------------------------------------------------------------

bool LMRTRtc::setCameraDrive(QString uuid)
{
    if (!m_cloud)
        return false;
    // The class sends 240 x 180 at 15 fps: a camera without it stays unchosen.
    if (!m_cameraCheck(uuid, 240, 180, 15))
        return false;
    log()->avInfo(QStringLiteral("TRtc 设置摄像头 : %1").arg(uuid));
    const QByteArray id = uuid.toUtf8();
    m_cloud->setCurrentCameraDevice(id.constData());
    if (isNamedVirtualCamera(uuid)) {
        if (ITRTCDeviceCollection *cameras = m_cloud->getCameraDevicesList()) {
            for (uint32_t i = 0; i < cameras->getCount(); ++i) {
                if (fromSdk(cameras->getDeviceName(i)) == uuid) {
                    m_cloud->setCurrentCameraDevice(cameras->getDevicePID(i));
                    break;
                }
            }
            cameras->release();
        }
    }
    return true;
}

bool LMRTRtc::setMicDrive(QString uuid)
{
    if (!m_cloud)
        return false;
    log()->avInfo(QStringLiteral("TRtc 设置麦克风 : %1").arg(uuid));
    const QByteArray id = uuid.toUtf8();
    m_cloud->setCurrentMicDevice(id.constData());
    return true;
}

bool LMRTRtc::setPlayerDrive(QString uuid)
{
    if (!m_cloud)
        return false;
    log()->avInfo(QStringLiteral("TRtc 设置扬声器 : %1").arg(uuid));
    const QByteArray id = uuid.toUtf8();
    m_cloud->setCurrentSpeakerDevice(id.constData());
    return true;
}

void LMRTRtc::setMediaVolume(int value)
{
    if (m_cloud)
        m_cloud->setCurrentSpeakerVolume(uint32_t(qBound(0, value, 100)));
}

// ---- courseware audio ----------------------------------------------------------

int LMRTRtc::playMedia(QString path)
{
    if (!m_cloud)
        return 0;
    const QByteArray file = path.toUtf8();
    m_cloud->playBGM(file.constData());
    return int(m_cloud->getBGMDuration(nullptr) / 1000);
}

bool LMRTRtc::resumeMedia()
{
    if (!m_cloud)
        return false;
    m_cloud->resumeBGM();
    return true;
}

bool LMRTRtc::pauseMedia()
{
    if (!m_cloud)
        return false;
    m_cloud->pauseBGM();
    return true;
}

void LMRTRtc::stopMedia()
{
    if (!m_cloud)
        return;
    m_cloud->stopBGM();
    QMutexLocker lock(&m_positionMutex);
    m_position.clear();
}

void LMRTRtc::seekMedia(int ms_pos)
{
    if (m_cloud)
        m_cloud->setBGMPosition(uint32_t(qMax(0, ms_pos)));
}

QStringList LMRTRtc::getCurrentPos()
{
    if (!m_cloud)
        return {};
    QMutexLocker lock(&m_positionMutex);
    return m_position.isEmpty() ? QStringList { QStringLiteral("0"), QStringLiteral("0") } : m_position;
}

void LMRTRtc::test()
{
    if (m_cloud)
        qDebug() << QStringLiteral("trtc:进入房间");
}
