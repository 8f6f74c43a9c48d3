// The Agora stand-in: IRtcEngine on top of the simulated room.
#include "IAgoraRtcEngine.h"

#include "../simroom/SimRoom.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

using namespace agora;

class Collection : public rtc::IAudioDeviceCollection
{
public:
    explicit Collection(const char *name, const char *id)
        : m_name(name)
        , m_id(id)
    {
    }
    int getCount() override { return 1; }
    int getDevice(int index, char deviceName[512], char deviceId[512]) override
    {
        if (index != 0)
            return -2;
        std::snprintf(deviceName, 512, "%s", m_name);
        std::snprintf(deviceId, 512, "%s", m_id);
        return 0;
    }
    int getApplicationVolume(int &volume) override
    {
        volume = 255;
        return 0;
    }
    void release() override { delete this; }

private:
    const char *m_name;
    const char *m_id;
};

class AudioDevices : public rtc::IAudioDeviceManager
{
public:
    rtc::IAudioDeviceCollection *enumeratePlaybackDevices() override
    {
        return new Collection("Simulated speaker", "sim-speaker");
    }
    rtc::IAudioDeviceCollection *enumerateRecordingDevices() override
    {
        return new Collection("Simulated microphone", "sim-mic");
    }
    int setPlaybackDevice(const char *) override { return 0; }
    int setRecordingDevice(const char *) override { return 0; }
    int setPlaybackDeviceVolume(int volume) override { return volume >= 0 && volume <= 255 ? 0 : -2; }
    void release() override { delete this; }
};

class VideoDevices : public rtc::IVideoDeviceManager
{
public:
    int setDevice(const char *) override { return 0; }
    void release() override { delete this; }
};

class Engine;

class MediaEngine : public media::IMediaEngine
{
public:
    explicit MediaEngine(Engine *engine)
        : m_engine(engine)
    {
    }
    int registerAudioFrameObserver(media::IAudioFrameObserver *observer) override;
    int registerVideoFrameObserver(media::IVideoFrameObserver *observer) override;
    void release() override { delete this; }

private:
    Engine *m_engine;
};

class Engine : public rtc::IRtcEngine, public simroom::Listener, public simroom::PlayerListener
{
public:
    int initialize(const rtc::RtcEngineContext &context) override
    {
        if (!context.eventHandler || !context.appId || std::strlen(context.appId) != 32)
            return -2; // ERR_INVALID_ARGUMENT
        m_handler = context.eventHandler;
        return 0;
    }
    void release(bool) override
    {
        simroom::Room::instance().leave();
        delete this;
    }
    int setLogFile(const char *filePath) override { return filePath ? 0 : -2; }
    int setLogFilter(unsigned int) override { return 0; }
    int setVideoEncoderConfiguration(const rtc::VideoEncoderConfiguration &config) override
    {
        m_encoder = config;
        return 0;
    }
    int enableAudioVolumeIndication(int, int, bool) override { return 0; }
    int enableVideo() override { return 0; }
    int queryInterface(rtc::INTERFACE_ID_TYPE iid, void **inter) override
    {
        switch (iid) {
        case rtc::AGORA_IID_AUDIO_DEVICE_MANAGER:
            *inter = static_cast<rtc::IAudioDeviceManager *>(new AudioDevices);
            return 0;
        case rtc::AGORA_IID_VIDEO_DEVICE_MANAGER:
            *inter = static_cast<rtc::IVideoDeviceManager *>(new VideoDevices);
            return 0;
        case rtc::AGORA_IID_MEDIA_ENGINE:
            *inter = static_cast<media::IMediaEngine *>(new MediaEngine(this));
            return 0;
        }
        return -2;
    }
    int setRecordingAudioFrameParameters(
        int sampleRate, int channel, rtc::RAW_AUDIO_FRAME_OP_MODE_TYPE, int samplesPerCall) override
    {
        m_capture = { sampleRate, channel, samplesPerCall };
        return 0;
    }
    int joinChannel(const char *token, const char *channelId, const char *, rtc::uid_t uid) override
    {
        if (!token || !channelId || !*channelId)
            return -2;
        // Playback is delivered at the SDK's own rate: 48 kHz stereo, 10 ms per call.
        return simroom::Room::instance().join(this, channelId, uid, m_capture, { 48000, 2, 480 });
    }
    int leaveChannel() override
    {
        simroom::Room::instance().leave();
        return 0;
    }
    int enableLocalVideo(bool enabled) override
    {
        simroom::Room::instance().setLocalVideo(enabled);
        return 0;
    }
    int enableLocalAudio(bool enabled) override
    {
        simroom::Room::instance().setLocalAudio(enabled);
        return 0;
    }
    int muteLocalAudioStream(bool) override { return 0; } // capture goes on; only sending stops
    int muteAllRemoteAudioStreams(bool mute) override
    {
        simroom::Room::instance().setRemoteAudioMuted(mute);
        return 0;
    }
    int muteRemoteVideoStream(rtc::uid_t, bool) override { return 0; }
    // Audio mixing is the room's courseware player: the file is decoded and
    // mixed into what the speaker plays, so it reaches the recording too.
    int startAudioMixing(const char *filePath, bool, bool, int) override
    {
        if (!filePath || simroom::Room::instance().playerOpen(filePath, this) != 0)
            return -701; // ERR_AUDIO_MIXING_OPEN_FILE
        return 0;
    }
    int stopAudioMixing() override
    {
        simroom::Room::instance().playerStop();
        return 0;
    }
    int pauseAudioMixing() override
    {
        simroom::Room::instance().playerPause();
        return 0;
    }
    int resumeAudioMixing() override
    {
        simroom::Room::instance().playerResume();
        return 0;
    }
    int getAudioMixingDuration() override { return simroom::Room::instance().playerDurationMs(); }
    int getAudioMixingCurrentPosition() override { return simroom::Room::instance().playerPositionMs(); }
    int setAudioMixingPosition(int pos) override
    {
        simroom::Room::instance().playerSeek(pos);
        return 0;
    }

    // The adapter asks for the mixing position itself; the SDK's mixing
    // events are not part of what it handles.
    void onPlayerProgress(int, int) override { }
    void onPlayerComplete(int) override { }

    // simroom::Listener, on the room's threads
    void onJoined(const std::string &channel, unsigned uid, int elapsedMs) override
    {
        m_handler->onJoinChannelSuccess(channel.c_str(), uid, elapsedMs);
    }
    void onConnectionFailed() override
    {
        m_handler->onConnectionStateChanged(rtc::CONNECTION_STATE_FAILED, rtc::CONNECTION_CHANGED_JOIN_FAILED);
    }
    void onRemoteUser(unsigned uid, bool present) override
    {
        if (present)
            m_handler->onUserJoined(uid, 0);
        else
            m_handler->onUserOffline(uid, 0);
    }
    // The room's camera and microphone state calls are left to the
    // defaults: the adapter sees a camera go off as its frames stopping,
    // and a microphone as its volume falling to 0.
    void onVolume(unsigned uid, int volume) override
    {
        rtc::AudioVolumeInfo info;
        info.uid = uid;
        info.volume = unsigned(volume);
        m_handler->onAudioVolumeIndication(&info, 1, volume);
    }
    void onStats(int lastmile, int transport) override
    {
        rtc::RtcStats stats;
        stats.lastmileDelay = (unsigned short)lastmile;
        m_handler->onRtcStats(stats);
        rtc::RemoteAudioStats remote;
        remote.networkTransportDelay = transport;
        m_handler->onRemoteAudioStats(remote);
    }
    void onCaptureAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        if (media::IAudioFrameObserver *observer = m_audio) {
            media::IAudioFrameObserver::AudioFrame frame = audioFrame(samples, format);
            observer->onRecordAudioFrame(frame);
        }
    }
    void onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &format) override
    {
        if (media::IAudioFrameObserver *observer = m_audio) {
            media::IAudioFrameObserver::AudioFrame frame = audioFrame(samples, format);
            observer->onPlaybackAudioFrame(frame);
        }
    }
    void onLocalVideo(const simroom::I420View &view) override
    {
        if (media::IVideoFrameObserver *observer = m_video) {
            media::IVideoFrameObserver::VideoFrame frame = videoFrame(view);
            observer->onCaptureVideoFrame(frame);
        }
    }
    void onRemoteVideo(unsigned uid, const simroom::I420View &view) override
    {
        if (media::IVideoFrameObserver *observer = m_video) {
            media::IVideoFrameObserver::VideoFrame frame = videoFrame(view);
            observer->onRenderVideoFrame(uid, frame);
        }
    }

    std::atomic<media::IAudioFrameObserver *> m_audio { nullptr };
    std::atomic<media::IVideoFrameObserver *> m_video { nullptr };

private:
    static media::IAudioFrameObserver::AudioFrame audioFrame(const int16_t *samples, const simroom::AudioFormat &f)
    {
        media::IAudioFrameObserver::AudioFrame frame;
        frame.samples = f.samplesPerCall;
        frame.channels = f.channels;
        frame.samplesPerSec = f.rate;
        frame.buffer = const_cast<int16_t *>(samples);
        return frame;
    }
    static media::IVideoFrameObserver::VideoFrame videoFrame(const simroom::I420View &v)
    {
        media::IVideoFrameObserver::VideoFrame frame;
        frame.width = v.width;
        frame.height = v.height;
        frame.yStride = v.strides[0];
        frame.uStride = v.strides[1];
        frame.vStride = v.strides[2];
        frame.yBuffer = const_cast<uint8_t *>(v.planes[0]);
        frame.uBuffer = const_cast<uint8_t *>(v.planes[1]);
        frame.vBuffer = const_cast<uint8_t *>(v.planes[2]);
        return frame;
    }
    rtc::IRtcEngineEventHandler *m_handler = nullptr;
    rtc::VideoEncoderConfiguration m_encoder;
    simroom::AudioFormat m_capture;
};

int MediaEngine::registerAudioFrameObserver(media::IAudioFrameObserver *observer)
{
    m_engine->m_audio = observer;
    return 0;
}

int MediaEngine::registerVideoFrameObserver(media::IVideoFrameObserver *observer)
{
    m_engine->m_video = observer;
    return 0;
}

} // namespace

extern "C" agora::rtc::IRtcEngine *createAgoraRtcEngine() { return new Engine; }
