#include "media/LMRILive.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "device/BCDevice.h"
#include "media/video/VideoFrameConvert.h"
#include "web/LMRUserInfo.h"

#include <QDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace
{
TSpdlog *log() { return TSpdlog::instance(); }

QString fromSdk(const char *text) { return QString::fromUtf8(text ? text : ""); }
QString fromSdk(const ilive::String &text) { return QString::fromUtf8(text.c_str(), int(text.size())); }

// Largest audio buffer taken from the SDK: a second of 48 kHz stereo.
constexpr uint32_t kMaxAudioBytes = 48000 * 2 * 2;
} // namespace

// The SDK's event handler: members that go offline.
class ILiveEvent : public ilive::iLiveEventListener
{
public:
    explicit ILiveEvent(LMRILive *adapter)
        : m_adapter(adapter)
    {
    }
    // On the SDK's event thread.
    void onMemberOffline(const char *identifier) override
    {
        const QString id = fromSdk(identifier);
        LMRILive *adapter = m_adapter;
        adapter->gui([adapter, id] {
            if (adapter->m_inRoom)
                emit adapter->offline(id);
        });
    }

private:
    LMRILive *m_adapter;
};

LMRILive::LMRILive(QObject *parent, CameraCheck cameraCheck)
    : MediaEngine(QStringLiteral("ilive"), parent)
    , m_cameraCheck(std::move(cameraCheck))
{
    qRegisterMetaType<LMRILive::MediaType>("LMRILive::MediaType");
    if (!m_cameraCheck)
        m_cameraCheck = [](const QString &uuid, int width, int height, int fps) {
            return BCDevice::instance()->supportResolution(uuid, width, height, fps);
        };
}

// Once the SDK is released none of its threads calls us any more, and calls
// already queued to the GUI thread die with this object.
LMRILive::~LMRILive() { release(); }

const char *LMRILive::roleConfiguration()
{
    return R"({"audio":{"aec":1,"agc":1,"ans":1,"anti_dropout":1,"au_scheme":0,"channel":1,"codec_prof":4102,)"
           R"("frame":1,"kbps":-1,"max_antishake_max":-1,"max_antishake_min":-1,"min_antishake":-1,)"
           R"("sample_rate":-1,"silence_detect":1},"is_default":0,"net":{"rc_anti_dropout":-1,)"
           R"("rc_init_delay":-1,"rc_max_delay":-1},"role":"user","type":1,"video":{"anti_dropout":-1,)"
           R"("codec_prof":-1,"format":-1,"format_fix_height":240,"format_fix_width":320,)"
           R"("format_max_height":-1,"format_max_width":-1,"fps":15,"fqueue_time":-1,"live_adapt":1,)"
           R"("maxkbps":150,"maxqp":-1,"minkbps":50,"minqp":-1,"qclear":-1,"small_video_upload":1}})";
}

void LMRILive::gui(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void LMRILive::init()
{
    if (m_initialized)
        return;
    ilive::iLive *sdk = GetILive();
    const QByteArray logDir = QDir::toNativeSeparators(DirHelper::instance()->logPathWithMedia()).toUtf8();
    if (sdk->setLogPath(logDir.constData()) != ilive::ILIVE_OK)
        log()->otherError(QStringLiteral("ilive set log error"));
    const int rc = sdk->init(lumira::build::kILiveAppId, lumira::build::kILiveAccountType);
    if (rc != ilive::ILIVE_OK) {
        m_initialized = false;
        log()->avError(QStringLiteral("ilive init error %1").arg(rc));
        return;
    }
    // Without a successful init there is no engine: every operation but
    // init() does nothing until there is one.
    m_sdk = sdk;
    if (!m_event)
        m_event = std::make_unique<ILiveEvent>(this);
    m_sdk->setEventListener(m_event.get());
    log()->avInfo(QStringLiteral("ilive init ok"));
    m_initialized = true;
    emit stateChanged();
}

void LMRILive::release()
{
    if (!m_sdk)
        return;
    m_sdk->setEventListener(nullptr);
    // Returns once no SDK thread is in a callback of ours.
    m_sdk->release();
    m_sdk = nullptr;
    m_initialized = m_loggedIn = m_loginPending = m_roomJoinPending = false;
    m_inRoom = false;
    m_cameraOpen = m_micOpened = m_playerOpen = false;
    m_quality = 0;
    emit stateChanged();
}

// ---- login, GUI thread ------------------------------------------------------------

void LMRILive::login(QString user, QString pass)
{
    if (m_loggedIn || m_loginPending)
        return;
    if (!m_initialized) {
        log()->avError(QStringLiteral("ilive is not init!"));
        emit loginFinished(false, ilive::ILIVE_ERR_NOT_INIT, QStringLiteral("ilive is not init!"));
        return;
    }
    m_loginPending = true;
    // The SDK wants a moment after init before it signs in; the GUI thread
    // does not wait for it.
    const QByteArray u = user.toUtf8(), p = pass.toUtf8();
    QTimer::singleShot(200, this, [this, u, p] { doLogin(u, p); });
}

void LMRILive::doLogin(QByteArray user, QByteArray pass)
{
    if (!m_sdk) { // released meanwhile
        m_loginPending = false;
        return;
    }
    if (m_sdk->setRoleConfig(roleConfiguration()) != ilive::ILIVE_OK)
        log()->otherError(QStringLiteral("ilive set role configuration error"));
    m_sdk->login(user.constData(), pass.constData(), &LMRILive::onLoginSuccess, &LMRILive::onLoginError, this);
}

void LMRILive::onLoginSuccess(void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] {
        self->m_loginPending = false;
        if (!self->m_sdk)
            return;
        self->m_loggedIn = true;
        log()->avInfo(QStringLiteral("ilive login ok"));
        self->m_sdk->setLocalVideoCallBack(&LMRILive::onLocalVideo, self);
        self->m_sdk->setRemoteVideoCallBack(&LMRILive::onRemoteVideo, self);
        emit self->stateChanged();
        emit self->loginFinished(true, 0, QString());
    });
}

void LMRILive::onLoginError(int code, const char *message, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    const QString text = fromSdk(message);
    self->gui([self, code, text] {
        self->m_loginPending = false;
        self->m_loggedIn = false;
        log()->otherError(QStringLiteral("ilive login failed %1 %2").arg(code).arg(text));
        emit self->stateChanged();
        emit self->loginFinished(false, code, text);
    });
}

void LMRILive::logout()
{
    log()->avInfo(QStringLiteral("ilive logout"));
    if (!m_loggedIn || !m_sdk) {
        log()->avInfo(QStringLiteral("ilive already in logout state"));
        return;
    }
    m_sdk->logout(&LMRILive::onLogoutSuccess, &LMRILive::onLogoutError, this);
}

void LMRILive::onLogoutSuccess(void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] {
        log()->avInfo(QStringLiteral("ilive logout ok"));
        self->m_loggedIn = false;
        // Signing out left the room as well: the window and a page waiting
        // for the room's exit are told as for a quit.
        const bool wasInRoom = self->m_inRoom.exchange(false);
        emit self->stateChanged();
        if (wasInRoom)
            emit self->leavingChannel();
    });
}

void LMRILive::onLogoutError(int, const char *, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([] { log()->avInfo(QStringLiteral("ilive logout failed")); });
}

// ---- room, GUI thread ---------------------------------------------------------------

ilive::iLiveRoomOption LMRILive::roomOption()
{
    ilive::iLiveRoomOption option;
    option.roomId = uint32_t(std::max(0, LMRUserInfo::instance()->getILiveRoomId()));
    option.roleName = kRoleName;
    option.timeoutMs = kRoomTimeoutMs;
    option.memberStatusListener = &LMRILive::onMemberEvent;
    option.roomDisconnectListener = &LMRILive::onRoomDisconnect;
    option.qualityParamCallback = &LMRILive::onQuality;
    option.data = this;
    return option;
}

bool LMRILive::createRoomAndJoin()
{
    if (!m_loggedIn || !m_sdk) {
        log()->avError(QStringLiteral("ilive is not login"));
        return false;
    }
    m_sdk->createRoom(roomOption(), &LMRILive::onCreateSuccess, &LMRILive::onCreateError, this);
    return true;
}

bool LMRILive::joinRoom()
{
    if (!m_roomJoinPending || !m_sdk)
        return false;
    m_sdk->joinRoom(roomOption(), &LMRILive::onJoinSuccess, &LMRILive::onJoinError, this);
    return true;
}

void LMRILive::registerAudio()
{
    for (ilive::E_AudioDataSourceType type :
        { ilive::AUDIO_DATA_SOURCE_NETSTREAM, ilive::AUDIO_DATA_SOURCE_MIC, ilive::AUDIO_DATA_SOURCE_PLAY })
        m_sdk->setAudioDataCallback(type, &LMRILive::onAudioData, this);
}

void LMRILive::enteredRoom(bool created)
{
    m_inRoom = true;
    m_micClosed = false;
    log()->avInfo(created ? QStringLiteral("腾讯互动直播创建房间成功") : QStringLiteral("腾讯互动直播进入成功"));
    registerAudio();
    resetFrameCounts();
    emit stateChanged();
    emit joined();
}

void LMRILive::onCreateSuccess(void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] {
        if (!self->m_sdk)
            return;
        self->m_roomJoinPending = true;
        self->enteredRoom(true);
    });
}

// The room may exist already (someone else created it): join it instead.
void LMRILive::onCreateError(int code, const char *message, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    const QString text = fromSdk(message);
    self->gui([self, code, text] {
        if (!self->m_sdk)
            return;
        self->m_roomJoinPending = true;
        log()->avWarn(QStringLiteral("ilive create room failed %1 %2").arg(code).arg(text));
        self->joinRoom();
    });
}

void LMRILive::onJoinSuccess(void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] {
        if (!self->m_sdk)
            return;
        self->m_roomJoinPending = false;
        self->enteredRoom(false);
    });
}

void LMRILive::onJoinError(int code, const char *message, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    const QString text = fromSdk(message);
    self->gui([self, code, text] {
        self->m_roomJoinPending = false;
        self->m_inRoom = false;
        log()->avError(QStringLiteral("腾讯互动直播进入失败 %1 %2").arg(code).arg(text));
        emit self->stateChanged();
        emit self->joinFailed(code, text);
    });
}

bool LMRILive::quitRoom()
{
    if (!m_inRoom || !m_sdk)
        return true;
    log()->avInfo(QStringLiteral("ilive send mic package %1").arg(micFrames()));
    log()->avInfo(QStringLiteral("ilive send speaker package %1").arg(speakerFrames()));
    m_sdk->quitRoom(&LMRILive::onQuitSuccess, &LMRILive::onQuitError, this);
    log()->avInfo(QStringLiteral("ilive quit room"));
    return true;
}

void LMRILive::left(bool ok)
{
    // Out of the room either way: the page is told so, and frames after
    // this would land in the next recording.
    m_inRoom = false;
    if (ok)
        log()->avInfo(QStringLiteral("腾讯互动直播退出成功"));
    else
        log()->otherError(QStringLiteral("腾讯互动直播退出失败"));
    emit stateChanged();
    emit leavingChannel();
}

void LMRILive::onQuitSuccess(void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] { self->left(true); });
}

void LMRILive::onQuitError(int, const char *, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    self->gui([self] { self->left(false); });
}

// ---- room events, SDK event thread ----------------------------------------------------

void LMRILive::onMemberEvent(ilive::E_EndpointEventId eventId, const ilive::Vector<ilive::String> &ids, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    // Camera on and off are 3 and 4, audio on and off 5 and 6; the rest is not ours.
    if (eventId < ilive::EVENT_ID_ENDPOINT_HAS_CAMERA_VIDEO || eventId > ilive::EVENT_ID_ENDPOINT_NO_AUDIO)
        return;
    const MediaType type = eventId <= ilive::EVENT_ID_ENDPOINT_NO_CAMERA_VIDEO ? MediaType_Camera : MediaType_Audio;
    const bool status
        = eventId == ilive::EVENT_ID_ENDPOINT_HAS_CAMERA_VIDEO || eventId == ilive::EVENT_ID_ENDPOINT_HAS_AUDIO;
    QStringList members;
    for (size_t i = 0; i < ids.size(); ++i)
        members << fromSdk(ids[i]);
    // An event still on its way when we left is stale.
    self->gui([self, members, type, status] {
        if (!self->m_inRoom)
            return;
        for (const QString &id : members)
            emit self->mediaStatus(id, type, status);
    });
}

void LMRILive::onRoomDisconnect(int code, const char *message, void *)
{
    log()->avError(QStringLiteral("ilive room disconnected %1 %2").arg(code).arg(fromSdk(message)));
}

void LMRILive::onQuality(const ilive::iLiveRoomStatParam &param, void *data)
{
    static_cast<LMRILive *>(data)->m_quality = param.quality;
}

long LMRILive::getILiveQualityData() { return m_quality.exchange(0); }

// ---- audio, SDK audio thread ----------------------------------------------------------

int LMRILive::speakingLevel(const uint8_t *data, uint32_t size, uint32_t bits)
{
    if (!data)
        return 0;
    int peak = 0; // in 1/32768
    if (bits == 8) {
        for (uint32_t i = 0; i < size; ++i)
            peak = std::max(peak, std::abs(int(data[i]) - 128) * 256);
    } else if (bits == 16) {
        for (uint32_t i = 0; i + 1 < size; i += 2)
            peak = std::max(peak, std::abs(int(int16_t(uint16_t(data[i] | (data[i + 1] << 8))))));
    } else {
        return 0;
    }
    return std::min(100, peak * 100 / 32768);
}

int LMRILive::onAudioData(ilive::iLiveAudioFrame *frame, ilive::E_AudioDataSourceType type, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    if (frame && self->m_inRoom)
        self->handleAudio(*frame, type);
    return 0;
}

// Levels are gathered per source and reported once per interval of its
// audio, the loudest since the last report, so QML sees a few a second.
void LMRILive::reportLevel(const QString &id, int level, int samples, int rate)
{
    int peak = 0;
    {
        // The SDK may deliver its sources on different threads.
        QMutexLocker lock(&m_levelMutex);
        LevelState &state = m_levels[id];
        state.peak = std::max(state.peak, level);
        state.samples += samples;
        if (rate <= 0 || state.samples < rate / 1000 * kLevelIntervalMs)
            return;
        peak = state.peak;
        state = LevelState();
    }
    if (peak > 0)
        gui([this, id, peak] { emit volumeChanged(id, peak); });
}

bool LMRILive::audioInput(const ilive::iLiveAudioFrame &frame, AudioConvertInput &input)
{
    // The recording takes 16-bit samples only.
    if (!frame.data || frame.bits != 16 || frame.channels == 0 || frame.sampleRate == 0
        || frame.dataSize > kMaxAudioBytes)
        return false;
    const int channels = int(frame.channels);
    input.sampleRate = int(frame.sampleRate);
    input.channels = channels;
    input.samplesPerChannel = int(frame.dataSize / 2) / channels;
    input.length = int(frame.dataSize);
    if (input.samplesPerChannel <= 0)
        return false;
    input.buffer = QByteArray(reinterpret_cast<const char *>(frame.data), input.length);
    return true;
}

void LMRILive::handleAudio(const ilive::iLiveAudioFrame &frame, ilive::E_AudioDataSourceType type)
{
    if (!frame.data || frame.dataSize == 0 || frame.dataSize > kMaxAudioBytes || frame.sampleRate == 0)
        return;
    const int channels = int(frame.channels);
    const int bytesPerSample = frame.bits == 8 ? 1 : 2;
    const int samples = channels > 0 ? int(frame.dataSize) / bytesPerSample / channels : 0;
    reportLevel(fromSdk(frame.identifier), speakingLevel(frame.data, frame.dataSize, frame.bits), samples,
        int(frame.sampleRate));

    const bool mic = type == ilive::AUDIO_DATA_SOURCE_MIC;
    if ((!mic && type != ilive::AUDIO_DATA_SOURCE_PLAY) || channels == 0 || (mic && m_micClosed))
        return;
    AudioConvertInput input;
    if (!audioInput(frame, input)) {
        log()->avError(mic ? QStringLiteral("ilive mic frame convert error")
                           : QStringLiteral("ilive speaker frame convert error"));
        return;
    }
    deliverAudio(input, mic);
}

// ---- video, SDK render thread ----------------------------------------------------------

namespace
{
// Frames in another colour format, or absurdly large, are no picture.
bool drawable(const ilive::LiveVideoFrame *frame)
{
    return frame && frame->colorFormat == ilive::COLOR_FORMAT_I420 && frame->width <= uint32_t(videoconvert::kMaxSide)
        && frame->height <= uint32_t(videoconvert::kMaxSide);
}

VideoViews::FrameSource frameOf(const ilive::LiveVideoFrame &frame)
{
    return [&frame] {
        return videoconvert::fromI420Buffer(int(frame.width), int(frame.height), frame.data, int64_t(frame.dataSize));
    };
}
} // namespace

void LMRILive::onLocalVideo(const ilive::LiveVideoFrame *frame, void *data)
{
    if (drawable(frame))
        static_cast<LMRILive *>(data)->m_views.drawLocal(frameOf(*frame));
}

void LMRILive::onRemoteVideo(const ilive::LiveVideoFrame *frame, void *data)
{
    if (drawable(frame))
        static_cast<LMRILive *>(data)->m_views.drawRemote(fromSdk(frame->identifier), frameOf(*frame));
}

// ---- views, GUI thread -------------------------------------------------------------------

void LMRILive::setLocalVideo(QQuickItem *view) { m_views.setLocal(view); }

void LMRILive::setRemoteVideo(QString id, QQuickItem *view) { m_views.setRemote(id, view); }
