// The Zego Express stand-in: IZegoExpressEngine on top of the simulated room.
#include "ZegoExpressSDK.h"
#include "ZegoStandinControl.h"

#include "../simroom/SimRoom.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>

namespace ZEGO
{
namespace EXPRESS
{
namespace
{

// What the client's calls left behind, for the stand-in's control; under its own mutex.
struct Looks {
    std::mutex mutex;
    std::vector<ZegoDeviceInfo> cameras { { "sim-camera-0", "Simulated camera" } };
    std::string camera, mic, speaker;
    std::set<std::string> playing;
    bool micMuted = false, speakerMuted = false;
    unsigned int appId = 0;
    ZegoVideoConfig video;
    ZegoAudioFrameParam audioParam;
    unsigned int audioMask = 0;
};

Looks &looks()
{
    static Looks l;
    return l;
}

bool isAppSign(const std::string &sign)
{
    return sign.size() == 64 && std::all_of(sign.begin(), sign.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// The stand-in's courseware player, on the room's one player. There is one
// for the process, never deleted, so that a room callback never finds it gone.
class Player : public IZegoMediaPlayer, public simroom::PlayerListener
{
public:
    void setEventHandler(std::shared_ptr<IZegoMediaPlayerEventHandler> handler) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handler = std::move(handler);
    }
    // The room opens and decodes at once: the callback comes before this returns.
    void loadResource(const std::string &path, ZegoMediaPlayerLoadResourceCallback callback) override
    {
        m_path = path;
        const int rc = simroom::Room::instance().playerOpen(path, this);
        m_loaded = rc == 0;
        if (m_loaded)
            simroom::Room::instance().playerPause(); // playing starts with start()
        if (callback)
            callback(rc);
    }
    void start() override
    {
        if (!m_loaded && !m_path.empty())
            m_loaded = simroom::Room::instance().playerOpen(m_path, this) == 0;
        else if (m_loaded)
            simroom::Room::instance().playerResume();
    }
    void stop() override
    {
        simroom::Room::instance().playerStop();
        m_loaded = false;
    }
    void pause() override { simroom::Room::instance().playerPause(); }
    void resume() override { simroom::Room::instance().playerResume(); }
    void seekTo(unsigned long long millisecond, ZegoMediaPlayerSeekToCallback callback) override
    {
        simroom::Room::instance().playerSeek(int(std::min<unsigned long long>(millisecond, 0x7fffffff)));
        if (callback)
            callback(0);
    }
    void enableAux(bool) override { } // the room mixes it into what the class hears anyway
    unsigned long long getTotalDuration() override
    {
        return unsigned(std::max(0, simroom::Room::instance().playerDurationMs()));
    }
    unsigned long long getCurrentProgress() override
    {
        return unsigned(std::max(0, simroom::Room::instance().playerPositionMs()));
    }
    int getPlayVolume() override { return 60; }
    int getPublishVolume() override { return 60; }
    int getIndex() override { return 0; }

    // simroom::PlayerListener, on the room's event thread; the handler is
    // called under m_mutex, so that setting it to null waits for a call in progress.
    void onPlayerProgress(int positionMs, int) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_handler)
            m_handler->onMediaPlayerPlayingProgress(this, unsigned(std::max(0, positionMs)));
    }
    void onPlayerComplete(int error) override
    {
        m_loaded = false;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_handler)
            m_handler->onMediaPlayerStateUpdate(
                this, error == 0 ? ZEGO_MEDIA_PLAYER_STATE_PLAY_ENDED : ZEGO_MEDIA_PLAYER_STATE_NO_PLAY, error);
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<IZegoMediaPlayerEventHandler> m_handler; // under m_mutex
    std::string m_path; // the client's thread only
    std::atomic<bool> m_loaded { false };
};

class Engine : public IZegoExpressEngine, public simroom::Listener
{
public:
    ~Engine() override
    {
        // Another vendor's engine may be in the room now: leave only our own session.
        if (m_joined)
            simroom::Room::instance().leave();
    }

    void setEventHandler(std::shared_ptr<IZegoEventHandler> eventHandler) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handler = std::move(eventHandler);
    }

    void loginRoom(const std::string &roomID, ZegoUser user) override
    {
        ZegoAudioFrameParam param;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_roomID = roomID;
            m_userID = user.userID;
            param = m_audioParam;
        }
        // 10 ms per callback, at the rate and channels asked for.
        const simroom::AudioFormat format { int(param.sampleRate), int(param.channel), int(param.sampleRate) / 100 };
        const unsigned uid = unsigned(std::strtoul(user.userID.c_str(), nullptr, 10));
        const int rc = simroom::Room::instance().join(this, roomID, uid, format, format);
        m_joined = rc == 0;
        if (rc != 0) {
            if (auto handler = eventHandler())
                handler->onRoomStateUpdate(roomID, ZEGO_ROOM_STATE_DISCONNECTED, rc, "{}");
            return;
        }
        // A join starts with the room's defaults: ours win.
        applyLocalVideo();
        simroom::Room::instance().setRemoteAudioMuted(looks().speakerMuted);
    }
    void logoutRoom(const std::string &) override
    {
        // Another vendor's engine may be in the room now: leave only our own session.
        if (m_joined)
            simroom::Room::instance().leave();
        m_joined = false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_publishing = false;
        m_playing.clear();
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().playing.clear();
    }

    void startPublishingStream(const std::string &streamID, ZegoPublishChannel) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_publishing = true;
            m_localStream = streamID;
        }
        applyLocalVideo();
    }
    void stopPublishingStream(ZegoPublishChannel) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_publishing = false;
        }
        applyLocalVideo();
    }
    void startPreview(ZegoCanvas *, ZegoPublishChannel) override { setFlag(m_preview, true); }
    void stopPreview(ZegoPublishChannel) override { setFlag(m_preview, false); }
    void setVideoConfig(ZegoVideoConfig config, ZegoPublishChannel) override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().video = config;
    }
    void enableCamera(bool enable, ZegoPublishChannel) override { setFlag(m_camera, enable); }
    void mutePublishStreamVideo(bool, ZegoPublishChannel) override { } // what others see, not our preview
    // The microphone keeps capturing, silence while muted (as the SDK does).
    void muteMicrophone(bool mute) override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().micMuted = mute;
    }
    void muteSpeaker(bool mute) override
    {
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            looks().speakerMuted = mute;
        }
        simroom::Room::instance().setRemoteAudioMuted(mute);
    }
    void startPlayingStream(const std::string &streamID, ZegoCanvas *) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_playing.insert(streamID);
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().playing.insert(streamID);
    }
    void stopPlayingStream(const std::string &streamID) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_playing.erase(streamID);
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().playing.erase(streamID);
    }

    std::vector<ZegoDeviceInfo> getVideoDeviceList() override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        return looks().cameras;
    }
    void useVideoDevice(const std::string &deviceID, ZegoPublishChannel) override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().camera = deviceID;
    }
    std::vector<ZegoDeviceInfo> getAudioDeviceList(ZegoAudioDeviceType deviceType) override
    {
        if (deviceType == ZEGO_AUDIO_DEVICE_TYPE_INPUT)
            return { { "sim-mic", "Simulated microphone" } };
        return { { "sim-speaker", "Simulated speaker" } };
    }
    void useAudioDevice(ZegoAudioDeviceType deviceType, const std::string &deviceID) override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        (deviceType == ZEGO_AUDIO_DEVICE_TYPE_INPUT ? looks().mic : looks().speaker) = deviceID;
    }

    void enableCustomVideoRender(bool enable, ZegoCustomVideoRenderConfig *config) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_customRender = enable && (!config || config->bufferType == ZEGO_VIDEO_BUFFER_TYPE_RAW_DATA);
    }
    void setCustomVideoRenderHandler(std::shared_ptr<IZegoCustomVideoRenderHandler> handler) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_render = std::move(handler);
    }
    void enableAudioDataCallback(bool enable, unsigned int callbackBitMask, ZegoAudioFrameParam param) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_audioMask = enable ? callbackBitMask : 0;
            if (enable)
                m_audioParam = param;
        }
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().audioMask = enable ? callbackBitMask : 0;
        looks().audioParam = param;
    }
    void setAudioDataHandler(std::shared_ptr<IZegoAudioDataHandler> handler) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_audio = std::move(handler);
    }
    void startSoundLevelMonitor(unsigned int) override { setFlag(m_soundLevel, true); }

    IZegoMediaPlayer *createMediaPlayer() override
    {
        static Player player;
        player.setEventHandler(nullptr);
        return &player;
    }
    void destroyMediaPlayer(IZegoMediaPlayer *&mediaPlayer) override
    {
        if (!mediaPlayer)
            return;
        mediaPlayer->stop();
        mediaPlayer->setEventHandler(nullptr);
        mediaPlayer = nullptr;
    }

    // simroom::Listener, on the room's threads.
    void onJoined(const std::string &channel, unsigned, int) override
    {
        if (auto handler = eventHandler())
            handler->onRoomStateUpdate(channel, ZEGO_ROOM_STATE_CONNECTED, 0, "{}");
    }
    void onConnectionFailed() override
    {
        if (auto handler = eventHandler())
            handler->onRoomStateUpdate(roomID(), ZEGO_ROOM_STATE_DISCONNECTED, 1002050, "{}");
    }
    // A peer that joins publishes its stream under its user id at once.
    void onRemoteUser(unsigned uid, bool present) override
    {
        auto handler = eventHandler();
        if (!handler)
            return;
        ZegoStream stream;
        stream.user = ZegoUser(std::to_string(uid), peerConfig(uid).name);
        stream.streamID = stream.user.userID;
        const ZegoUpdateType type = present ? ZEGO_UPDATE_TYPE_ADD : ZEGO_UPDATE_TYPE_DELETE;
        const std::string room = roomID();
        handler->onRoomUserUpdate(room, type, { stream.user });
        handler->onRoomStreamUpdate(room, type, { stream }, "");
        // A stream whose camera or microphone is off says so when it starts.
        const simroom::Peer peer = peerConfig(uid);
        if (present && !peer.sendsVideo)
            handler->onRemoteCameraStateUpdate(stream.streamID, ZEGO_REMOTE_DEVICE_STATE_DISABLE);
        if (present && !peer.sendsAudio)
            handler->onRemoteMicStateUpdate(stream.streamID, ZEGO_REMOTE_DEVICE_STATE_DISABLE);
    }
    void onVolume(unsigned uid, int volume) override
    {
        auto handler = eventHandler();
        bool monitored = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            monitored = m_soundLevel;
        }
        if (handler && monitored)
            handler->onRemoteSoundLevelUpdate({ { std::to_string(uid), float(volume) * 100.0f / 255.0f } });
    }
    void onStats(int lastmileDelayMs, int transportDelayMs) override
    {
        auto handler = eventHandler();
        std::string local;
        std::set<std::string> playing;
        bool publishing = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            local = m_localStream;
            playing = m_playing;
            publishing = m_publishing;
        }
        if (!handler)
            return;
        if (publishing) {
            ZegoPublishStreamQuality quality;
            quality.rtt = lastmileDelayMs;
            quality.videoSendFPS = 15;
            handler->onPublisherQualityUpdate(local, quality);
        }
        for (const std::string &id : playing) {
            ZegoPlayStreamQuality quality;
            quality.rtt = transportDelayMs;
            quality.delay = transportDelayMs;
            handler->onPlayerQualityUpdate(id, quality);
        }
    }
    void onCaptureAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        std::shared_ptr<IZegoAudioDataHandler> audio = audioHandler(ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_CAPTURED);
        if (!audio)
            return;
        const unsigned bytes = unsigned(format.samplesPerCall * format.channels * 2);
        bool muted = false;
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            muted = looks().micMuted;
        }
        const unsigned char *data = reinterpret_cast<const unsigned char *>(samples);
        if (muted) {
            m_silence.assign(bytes, 0);
            data = m_silence.data();
        }
        audio->onCapturedAudioData(data, bytes, audioParam(format));
    }
    void onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        if (auto audio = audioHandler(ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_PLAYBACK))
            audio->onPlaybackAudioData(reinterpret_cast<const unsigned char *>(samples),
                unsigned(format.samplesPerCall * format.channels * 2), audioParam(format));
    }
    void onLocalVideo(const simroom::I420View &frame) override
    {
        if (auto render = renderHandler()) {
            Planes p(frame);
            render->onCapturedVideoFrameRawData(
                p.data, p.lengths, p.param, ZEGO_VIDEO_FLIP_MODE_NONE, ZEGO_PUBLISH_CHANNEL_MAIN);
        }
    }
    void onRemoteVideo(unsigned uid, const simroom::I420View &frame) override
    {
        const std::string id = std::to_string(uid);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_playing.count(id))
                return;
        }
        if (auto render = renderHandler()) {
            Planes p(frame);
            render->onRemoteVideoFrameRawData(p.data, p.lengths, p.param, id);
        }
    }
    void onRemoteVideoState(unsigned uid, bool on) override
    {
        if (auto handler = eventHandler())
            handler->onRemoteCameraStateUpdate(
                std::to_string(uid), on ? ZEGO_REMOTE_DEVICE_STATE_OPEN : ZEGO_REMOTE_DEVICE_STATE_DISABLE);
    }
    void onRemoteAudioState(unsigned uid, bool on) override
    {
        if (auto handler = eventHandler())
            handler->onRemoteMicStateUpdate(
                std::to_string(uid), on ? ZEGO_REMOTE_DEVICE_STATE_OPEN : ZEGO_REMOTE_DEVICE_STATE_DISABLE);
    }

private:
    // The room's I420 view as the SDK hands frames out: pointers and byte lengths.
    struct Planes {
        explicit Planes(const simroom::I420View &v)
        {
            param.width = v.width;
            param.height = v.height;
            const int chromaRows = (v.height + 1) / 2;
            for (int i = 0; i < 3; ++i) {
                data[i] = const_cast<unsigned char *>(v.planes[i]);
                lengths[i] = unsigned(v.strides[i] * (i ? chromaRows : v.height));
            }
        }
        unsigned char *data[3];
        unsigned int lengths[3];
        ZegoVideoFrameParam param;
    };

    std::shared_ptr<IZegoEventHandler> eventHandler()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_handler;
    }
    std::shared_ptr<IZegoCustomVideoRenderHandler> renderHandler()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_customRender ? m_render : nullptr;
    }
    std::shared_ptr<IZegoAudioDataHandler> audioHandler(unsigned bit)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return (m_audioMask & bit) ? m_audio : nullptr;
    }
    static ZegoAudioFrameParam audioParam(const simroom::AudioFormat &format)
    {
        ZegoAudioFrameParam param;
        param.sampleRate = ZegoAudioSampleRate(format.rate);
        param.channel = ZegoAudioChannel(format.channels);
        return param;
    }
    std::string roomID()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_roomID;
    }
    static simroom::Peer peerConfig(unsigned uid)
    {
        for (const simroom::Peer &peer : simroom::Room::instance().config().peers)
            if (peer.uid == uid)
                return peer;
        return simroom::Peer();
    }
    void setFlag(bool &flag, bool value)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            flag = value;
        }
        applyLocalVideo();
    }
    // The camera delivers while it is on and something shows or sends it.
    void applyLocalVideo()
    {
        bool on = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            on = m_camera && (m_preview || m_publishing);
        }
        simroom::Room::instance().setLocalVideo(on);
    }

    std::mutex m_mutex; // guards every field below but m_silence
    std::shared_ptr<IZegoEventHandler> m_handler;
    std::shared_ptr<IZegoCustomVideoRenderHandler> m_render;
    std::shared_ptr<IZegoAudioDataHandler> m_audio;
    bool m_customRender = false;
    unsigned int m_audioMask = 0;
    ZegoAudioFrameParam m_audioParam { ZEGO_AUDIO_SAMPLE_RATE_8K, ZEGO_AUDIO_CHANNEL_STEREO };
    std::string m_roomID, m_userID, m_localStream;
    bool m_camera = true, m_preview = false, m_publishing = false, m_soundLevel = false;
    std::set<std::string> m_playing;
    std::vector<unsigned char> m_silence; // the audio thread's only
    bool m_joined = false; // the client's thread only
};

std::mutex g_engineMutex;
Engine *g_engine = nullptr; // under g_engineMutex

} // namespace

IZegoExpressEngine *ZegoExpressSDK::createEngine(
    unsigned int appID, const std::string &appSign, bool, ZegoScenario, std::shared_ptr<IZegoEventHandler> eventHandler)
{
    // The service refuses unknown credentials; the simulated room's join
    // error stands for that refusal, so that a failed creation can be had on demand.
    if (appID == 0 || !isAppSign(appSign) || simroom::Room::instance().config().joinError != 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_engineMutex);
    if (g_engine)
        return nullptr;
    g_engine = new Engine;
    g_engine->setEventHandler(std::move(eventHandler));
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().appId = appID;
        looks().micMuted = looks().speakerMuted = false;
        looks().playing.clear();
    }
    return g_engine;
}

void ZegoExpressSDK::destroyEngine(IZegoExpressEngine *&engine)
{
    std::lock_guard<std::mutex> lock(g_engineMutex);
    if (!engine || engine != g_engine)
        return;
    delete g_engine;
    g_engine = nullptr;
    engine = nullptr;
}

IZegoExpressEngine *ZegoExpressSDK::getEngine()
{
    std::lock_guard<std::mutex> lock(g_engineMutex);
    return g_engine;
}

std::string ZegoExpressSDK::getVersion() { return "standin-1.0"; }

namespace standin
{

void setVideoDevices(const std::vector<ZegoDeviceInfo> &devices)
{
    std::lock_guard<std::mutex> look(looks().mutex);
    looks().cameras = devices;
}

#define LOOK(type, name, expr)                                                                                         \
    type name                                                                                                          \
    {                                                                                                                  \
        std::lock_guard<std::mutex> look(looks().mutex);                                                               \
        return expr;                                                                                                   \
    }
LOOK(std::string, videoDeviceInUse(), looks().camera)
LOOK(std::string, audioDeviceInUse(ZegoAudioDeviceType type),
    type == ZEGO_AUDIO_DEVICE_TYPE_INPUT ? looks().mic : looks().speaker)
LOOK(std::set<std::string>, playingStreams(), looks().playing)
LOOK(bool, microphoneMuted(), looks().micMuted)
LOOK(bool, speakerMuted(), looks().speakerMuted)
LOOK(unsigned int, createdAppId(), looks().appId)
LOOK(ZegoVideoConfig, videoConfig(), looks().video)
LOOK(ZegoAudioFrameParam, audioDataParam(), looks().audioParam)
LOOK(unsigned int, audioDataBitMask(), looks().audioMask)
#undef LOOK

} // namespace standin
} // namespace EXPRESS
} // namespace ZEGO
