// The TRTC stand-in: ITRTCCloud on top of the simulated room. Room events come
// on the room's event thread, audio on its audio thread, pictures on its render
// thread; what the room does not report itself (a refused entry, the end of
// an exit, the start of courseware audio) comes on a thread of our own, as
// the real SDK reports those asynchronously too.
#include "ITRTCCloud.h"
#include "TRTCStandinParts.h"

#include "../simroom/SimRoom.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

// Native formats of the SDK: 20 ms per call, the microphone mono, what the
// speaker plays stereo, both at 48 kHz.
const simroom::AudioFormat kCapture { 48000, 1, 960 };
const simroom::AudioFormat kPlayback { 48000, 2, 960 };

using trtcstandin::cameras;
using trtcstandin::Collection;
using trtcstandin::Device;
using trtcstandin::Info;
using trtcstandin::Poster;

class Cloud;

// The room's courseware player reports to this process-long object, which
// passes on to the cloud of the moment: a cloud destroyed while the player
// still reports is never called.
class PlayerRelay final : public simroom::PlayerListener
{
public:
    static PlayerRelay &instance()
    {
        static PlayerRelay *relay = new PlayerRelay; // outlives every cloud and the room's threads
        return *relay;
    }
    void attach(Cloud *cloud)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cloud = cloud;
    }
    void detach(Cloud *cloud)
    {
        std::lock_guard<std::mutex> lock(m_mutex); // waits for a report in progress
        if (m_cloud == cloud)
            m_cloud = nullptr;
    }
    void onPlayerProgress(int positionMs, int durationMs) override;
    void onPlayerComplete(int error) override;

private:
    std::mutex m_mutex;
    Cloud *m_cloud = nullptr;
};

class Cloud final : public ITRTCCloud, public simroom::Listener
{
public:
    ~Cloud() override
    {
        PlayerRelay::instance().detach(this);
        if (m_playerOpened)
            simroom::Room::instance().playerStop();
        leaveRoom();
        m_poster.reset(); // what is queued still runs, to the callbacks left
    }

    void addCallback(ITRTCCloudCallback *callback) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
            m_callbacks.push_back(callback);
    }
    void removeCallback(ITRTCCloudCallback *callback) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_callbacks.erase(std::remove(m_callbacks.begin(), m_callbacks.end(), callback), m_callbacks.end());
    }

    void setLogLevel(TRTCLogLevel level) override { m_logLevel = level; }
    void setConsoleEnabled(bool enabled) override { m_console = enabled; }
    void setLogDirPath(const char *path) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_logDir = path ? path : "";
    }
    void setLogCallback(ITRTCLogCallback *callback) override { m_logCallback = callback; }

    void enterRoom(const TRTCParams &params, TRTCAppScene) override
    {
        // Application ids have ten digits; a room is a number or a name.
        const bool roomGiven = params.roomId != 0 || (params.strRoomId && *params.strRoomId);
        if (params.sdkAppId < 1000000000u || !params.userId || !*params.userId || !params.userSig || !roomGiven) {
            refuseEntry(ERR_ENTER_ROOM_PARAM_NULL, "enter room: missing or bad parameters");
            return;
        }
        leaveRoom();
        const std::string channel = params.roomId != 0 ? std::to_string(params.roomId) : std::string(params.strRoomId);
        const unsigned uid = unsigned(std::strtoul(params.userId, nullptr, 10));
        const int rc = simroom::Room::instance().join(this, channel, uid, kCapture, kPlayback);
        if (rc != 0) {
            refuseEntry(rc < 0 ? rc : -rc, "enter room failed");
            return;
        }
        m_joined = true;
        simroom::Room &room = simroom::Room::instance();
        room.setLocalAudio(m_audioStarted);
        room.setLocalVideo(m_previewStarted);
        room.setRemoteAudioMuted(m_remoteMuted);
        log(TRTCLogLevelInfo, "enterRoom " + channel);
    }
    void exitRoom() override
    {
        leaveRoom();
        post([](ITRTCCloudCallback &c) { c.onExitRoom(0); });
    }

    void setVideoEncoderParam(const TRTCVideoEncParam &params) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_encoder = params;
    }
    void setNetworkQosParam(const TRTCNetworkQosParam &params) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_qos = params;
    }
    void startLocalPreview(TXView) override
    {
        m_previewStarted = true;
        simroom::Room::instance().setLocalVideo(true);
    }
    void stopLocalPreview() override
    {
        m_previewStarted = false;
        simroom::Room::instance().setLocalVideo(false);
    }
    void muteLocalVideo(bool) override { } // capture goes on; only sending stops
    void startRemoteView(const char *userId, TXView) override
    {
        std::lock_guard<std::mutex> lock(m_renderMutex);
        if (userId)
            m_remoteViews.insert(userId);
    }
    void stopRemoteView(const char *userId) override
    {
        std::lock_guard<std::mutex> lock(m_renderMutex);
        if (userId)
            m_remoteViews.erase(userId);
    }
    void stopAllRemoteView() override
    {
        std::lock_guard<std::mutex> lock(m_renderMutex);
        m_remoteViews.clear();
    }
    int setLocalVideoRenderCallback(
        TRTCVideoPixelFormat format, TRTCVideoBufferType type, ITRTCVideoRenderCallback *callback) override
    {
        if (callback && (format != TRTCVideoPixelFormat_I420 || type != TRTCVideoBufferType_Buffer))
            return -1; // the only form this SDK delivers
        std::lock_guard<std::mutex> lock(m_renderMutex);
        m_localRender = callback;
        return 0;
    }
    int setRemoteVideoRenderCallback(const char *userId, TRTCVideoPixelFormat format, TRTCVideoBufferType type,
        ITRTCVideoRenderCallback *callback) override
    {
        if (!userId || (callback && (format != TRTCVideoPixelFormat_I420 || type != TRTCVideoBufferType_Buffer)))
            return -1;
        std::lock_guard<std::mutex> lock(m_renderMutex);
        if (callback)
            m_remoteRender[userId] = callback;
        else
            m_remoteRender.erase(userId);
        return 0;
    }
    void setBeautyStyle(TRTCBeautyStyle, uint32_t, uint32_t, uint32_t) override { }

    void startLocalAudio() override
    {
        m_audioStarted = true;
        simroom::Room::instance().setLocalAudio(true);
    }
    void stopLocalAudio() override
    {
        m_audioStarted = false;
        simroom::Room::instance().setLocalAudio(false);
    }
    void muteLocalAudio(bool mute) override { m_localMuted = mute; } // capture goes on; only sending stops
    void muteAllRemoteAudio(bool mute) override
    {
        m_remoteMuted = mute;
        simroom::Room::instance().setRemoteAudioMuted(mute);
    }
    int setAudioFrameCallback(ITRTCAudioFrameCallback *callback) override
    {
        m_audio = callback;
        return 0;
    }
    void enableAudioVolumeEvaluation(uint32_t intervalMs) override { m_volumeIntervalMs = intervalMs; }

    ITRTCDeviceCollection *getCameraDevicesList() override { return new Collection(cameras()); }
    void setCurrentCameraDevice(const char *deviceId) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (deviceId)
            m_camera = deviceId;
    }
    ITRTCDeviceInfo *getCurrentCameraDevice() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Device &device : cameras())
            if (device.pid == m_camera)
                return new Info(device);
        return new Info({ m_camera, m_camera });
    }
    ITRTCDeviceCollection *getMicDevicesList() override
    {
        return new Collection(std::vector<Device> { { "Simulated microphone", "sim-mic" } });
    }
    void setCurrentMicDevice(const char *) override { }
    ITRTCDeviceCollection *getSpeakerDevicesList() override
    {
        return new Collection(std::vector<Device> { { "Simulated speaker", "sim-speaker" } });
    }
    void setCurrentSpeakerDevice(const char *) override { }
    void setCurrentSpeakerVolume(uint32_t volume) override { m_speakerVolume = std::min(volume, 100u); }
    uint32_t getCurrentSpeakerVolume() override { return m_speakerVolume; }

    void playBGM(const char *path) override
    {
        PlayerRelay::instance().attach(this);
        const int rc = path ? simroom::Room::instance().playerOpen(path, &PlayerRelay::instance()) : -1;
        m_playerOpened = rc == 0;
        post([rc](ITRTCCloudCallback &c) { c.onPlayBGMBegin(TXLiteAVError(rc)); });
    }
    void stopBGM() override
    {
        simroom::Room::instance().playerStop();
        m_playerOpened = false;
    }
    void pauseBGM() override { simroom::Room::instance().playerPause(); }
    void resumeBGM() override { simroom::Room::instance().playerResume(); }
    uint32_t getBGMDuration(const char *) override
    {
        return uint32_t(std::max(0, simroom::Room::instance().playerDurationMs()));
    }
    void setBGMPosition(uint32_t pos) override { simroom::Room::instance().playerSeek(int(pos)); }

    // From the player relay, on the room's event thread.
    void playerProgress(int positionMs, int durationMs)
    {
        forEach([=](ITRTCCloudCallback &c) { c.onPlayBGMProgress(uint32_t(positionMs), uint32_t(durationMs)); });
    }
    void playerComplete(int error)
    {
        m_playerOpened = false;
        forEach([=](ITRTCCloudCallback &c) { c.onPlayBGMComplete(TXLiteAVError(error)); });
    }

    // simroom::Listener: events on the event thread.
    void onJoined(const std::string &, unsigned, int elapsedMs) override
    {
        forEach([=](ITRTCCloudCallback &c) { c.onEnterRoom(elapsedMs); });
    }
    void onConnectionFailed() override
    {
        forEach([](ITRTCCloudCallback &c) {
            c.onConnectionLost();
            c.onWarning(WARNING_ROOM_DISCONNECT, "connection to the room lost", nullptr);
        });
    }
    void onRemoteUser(unsigned uid, bool present) override
    {
        const std::string id = std::to_string(uid);
        if (present) {
            forEach([&](ITRTCCloudCallback &c) { c.onRemoteUserEnterRoom(id.c_str()); });
            // A peer whose camera is on has video as it arrives.
            for (const simroom::Peer &peer : simroom::Room::instance().config().peers)
                if (peer.uid == uid && peer.sendsVideo)
                    setVideo(uid, true);
        } else {
            setVideo(uid, false);
            forEach([&](ITRTCCloudCallback &c) { c.onRemoteUserLeaveRoom(id.c_str(), 0); });
        }
    }
    void onRemoteVideoState(unsigned uid, bool on) override { setVideo(uid, on); }
    void onRemoteAudioState(unsigned uid, bool on) override
    {
        const std::string id = std::to_string(uid);
        forEach([&](ITRTCCloudCallback &c) { c.onUserAudioAvailable(id.c_str(), on); });
    }
    void onVolume(unsigned uid, int volume) override
    {
        if (m_volumeIntervalMs == 0)
            return;
        // Every report carries the local user too, under the empty id.
        const std::string id = std::to_string(uid);
        TRTCVolumeInfo volumes[2];
        volumes[0].userId = "";
        volumes[0].volume = m_audioStarted && !m_localMuted ? 30 : 0;
        volumes[1].userId = id.c_str();
        volumes[1].volume = uint32_t(std::clamp(volume, 0, 255) * 100 / 255);
        const uint32_t total = std::max(volumes[0].volume, volumes[1].volume);
        forEach([&](ITRTCCloudCallback &c) { c.onUserVoiceVolume(volumes, 2, total); });
    }
    void onStats(int lastmileDelayMs, int transportDelayMs) override
    {
        TRTCStatistics stats;
        stats.rtt = uint32_t(std::max(0, lastmileDelayMs + transportDelayMs));
        forEach([&](ITRTCCloudCallback &c) { c.onStatistics(stats); });
    }

    // simroom::Listener: audio on the audio thread.
    void onCaptureAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        if (ITRTCAudioFrameCallback *callback = m_audio) {
            TRTCAudioFrame frame = audioFrame(samples, format);
            callback->onCapturedAudioFrame(&frame);
        }
    }
    void onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        if (ITRTCAudioFrameCallback *callback = m_audio) {
            TRTCAudioFrame frame = audioFrame(samples, format);
            callback->onMixedPlayAudioFrame(&frame);
        }
    }

    // simroom::Listener: pictures on the render thread. The render lock is
    // held while the callback draws, so a callback taken away is not called
    // once the call that took it returned.
    void onLocalVideo(const simroom::I420View &view) override
    {
        std::lock_guard<std::mutex> lock(m_renderMutex);
        if (m_localRender && m_previewStarted)
            deliver(*m_localRender, "", view);
    }
    void onRemoteVideo(unsigned uid, const simroom::I420View &view) override
    {
        const std::string id = std::to_string(uid);
        std::lock_guard<std::mutex> lock(m_renderMutex);
        const auto callback = m_remoteRender.find(id);
        if (callback != m_remoteRender.end() && m_remoteViews.count(id))
            deliver(*callback->second, id.c_str(), view);
    }

private:
    template <class Call>
    void forEach(const Call &call)
    {
        std::vector<ITRTCCloudCallback *> callbacks;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            callbacks = m_callbacks;
        }
        for (ITRTCCloudCallback *callback : callbacks)
            call(*callback);
    }
    template <class Call>
    void post(Call call)
    {
        // Dropped while the cloud is being destroyed: nobody is called back then.
        if (Poster *poster = m_poster.get())
            poster->post([this, call] { forEach(call); });
    }
    void refuseEntry(int result, const char *why)
    {
        log(TRTCLogLevelError, why);
        const std::string text = why;
        post([text](ITRTCCloudCallback &c) { c.onError(ERR_ROOM_ENTER_FAIL, text.c_str(), nullptr); });
        post([result](ITRTCCloudCallback &c) { c.onEnterRoom(result); });
    }
    void leaveRoom()
    {
        if (m_joined.exchange(false))
            simroom::Room::instance().leave(); // no room callback runs once it returned
        std::lock_guard<std::mutex> lock(m_mutex);
        m_videoOn.clear();
    }
    void setVideo(unsigned uid, bool on)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            bool &state = m_videoOn[uid];
            if (state == on)
                return;
            state = on;
        }
        const std::string id = std::to_string(uid);
        forEach([&](ITRTCCloudCallback &c) { c.onUserVideoAvailable(id.c_str(), on); });
    }
    void log(TRTCLogLevel level, const std::string &text)
    {
        if (level < m_logLevel)
            return;
        if (ITRTCLogCallback *callback = m_logCallback)
            callback->onLog(text.c_str(), level, "TRTC");
    }
    TRTCAudioFrame audioFrame(const int16_t *samples, const simroom::AudioFormat &format) const
    {
        TRTCAudioFrame frame;
        frame.audioFormat = TRTCAudioFrameFormatPCM;
        frame.data = reinterpret_cast<char *>(const_cast<int16_t *>(samples));
        frame.length = uint32_t(format.samplesPerCall * format.channels * 2);
        frame.sampleRate = uint32_t(format.rate);
        frame.channel = uint32_t(format.channels);
        frame.timestamp = sinceStartMs();
        return frame;
    }
    // The SDK hands over I420 as one buffer, planes back to back (render lock held).
    void deliver(ITRTCVideoRenderCallback &callback, const char *userId, const simroom::I420View &view)
    {
        const int w = view.width, h = view.height;
        m_packed.resize(size_t(w * h * 3 / 2));
        uint8_t *out = m_packed.data();
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane ? h / 2 : h, bytes = plane ? w / 2 : w;
            for (int r = 0; r < rows; ++r, out += bytes)
                std::memcpy(out, view.planes[plane] + r * view.strides[plane], size_t(bytes));
        }
        TRTCVideoFrame frame;
        frame.videoFormat = TRTCVideoPixelFormat_I420;
        frame.bufferType = TRTCVideoBufferType_Buffer;
        frame.data = reinterpret_cast<char *>(m_packed.data());
        frame.length = uint32_t(m_packed.size());
        frame.width = uint32_t(w);
        frame.height = uint32_t(h);
        frame.timestamp = sinceStartMs();
        callback.onRenderVideoFrame(userId, TRTCVideoStreamTypeBig, &frame);
    }
    uint64_t sinceStartMs() const
    {
        return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count());
    }

    const Clock::time_point m_start = Clock::now();
    std::unique_ptr<Poster> m_poster = std::make_unique<Poster>();

    std::mutex m_mutex; // the fields below up to the render lock
    std::vector<ITRTCCloudCallback *> m_callbacks;
    std::string m_logDir;
    TRTCVideoEncParam m_encoder;
    TRTCNetworkQosParam m_qos;
    std::string m_camera = cameras().front().pid;
    std::map<unsigned, bool> m_videoOn; // per remote user: video reported available

    std::mutex m_renderMutex; // the render callbacks, the views started, m_packed
    ITRTCVideoRenderCallback *m_localRender = nullptr;
    std::map<std::string, ITRTCVideoRenderCallback *> m_remoteRender;
    std::set<std::string> m_remoteViews;
    std::vector<uint8_t> m_packed;

    std::atomic<TRTCLogLevel> m_logLevel { TRTCLogLevelInfo };
    std::atomic<bool> m_console { true };
    std::atomic<ITRTCLogCallback *> m_logCallback { nullptr };
    std::atomic<ITRTCAudioFrameCallback *> m_audio { nullptr };
    std::atomic<uint32_t> m_volumeIntervalMs { 0 };
    std::atomic<uint32_t> m_speakerVolume { 100 };
    std::atomic<bool> m_joined { false };
    std::atomic<bool> m_previewStarted { false };
    std::atomic<bool> m_audioStarted { false };
    std::atomic<bool> m_localMuted { false };
    std::atomic<bool> m_remoteMuted { false };
    std::atomic<bool> m_playerOpened { false };
};

void PlayerRelay::onPlayerProgress(int positionMs, int durationMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cloud)
        m_cloud->playerProgress(positionMs, durationMs);
}

void PlayerRelay::onPlayerComplete(int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cloud)
        m_cloud->playerComplete(error);
}

std::mutex g_instanceMutex;
Cloud *g_instance = nullptr; // under g_instanceMutex

} // namespace

extern "C" TRTC_API ITRTCCloud *getTRTCShareInstance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_instance)
        g_instance = new Cloud;
    return g_instance;
}

extern "C" TRTC_API void destroyTRTCShareInstance()
{
    Cloud *cloud = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instanceMutex);
        std::swap(cloud, g_instance);
    }
    delete cloud;
}
