#pragma once
// Stand-in for the Agora RTC SDK 3.x interface: the calls and callback data the
// client uses, backed by the simulated room (../simroom). A build against the
// real SDK replaces this folder.
#include <cstdint>

namespace agora
{
namespace util
{
template <class T>
class AutoPtr
{
public:
    AutoPtr()
        : m_ptr(nullptr)
    {
    }
    ~AutoPtr()
    {
        if (m_ptr)
            m_ptr->release();
    }
    T *get() const { return m_ptr; }
    T *operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    void **storage() { return reinterpret_cast<void **>(&m_ptr); }

private:
    AutoPtr(const AutoPtr &) = delete;
    T *m_ptr;
};
} // namespace util

namespace rtc
{
typedef unsigned int uid_t;

enum INTERFACE_ID_TYPE {
    AGORA_IID_AUDIO_DEVICE_MANAGER = 1,
    AGORA_IID_VIDEO_DEVICE_MANAGER = 2,
    AGORA_IID_MEDIA_ENGINE = 4
};
enum CONNECTION_STATE_TYPE {
    CONNECTION_STATE_DISCONNECTED = 1,
    CONNECTION_STATE_CONNECTING = 2,
    CONNECTION_STATE_CONNECTED = 3,
    CONNECTION_STATE_RECONNECTING = 4,
    CONNECTION_STATE_FAILED = 5
};
enum CONNECTION_CHANGED_REASON_TYPE { CONNECTION_CHANGED_JOIN_FAILED = 5 };
enum RAW_AUDIO_FRAME_OP_MODE_TYPE { RAW_AUDIO_FRAME_OP_MODE_READ_ONLY = 0 };
enum LOG_FILTER_TYPE { LOG_FILTER_INFO = 15 };

struct RtcStats {
    unsigned short lastmileDelay = 0;
    unsigned int duration = 0;
};
struct RemoteAudioStats {
    uid_t uid = 0;
    int networkTransportDelay = 0;
};
struct AudioVolumeInfo {
    uid_t uid = 0;
    unsigned int volume = 0; // 0..255
    unsigned int vad = 0;
};
struct VideoDimensions {
    int width = 0, height = 0;
};
struct VideoEncoderConfiguration {
    VideoDimensions dimensions;
    int frameRate = 15;
    int minFrameRate = -1;
    int bitrate = -1;
    int minBitrate = -1;
    int orientationMode = 0;
    int degradationPreference = 0;
    int mirrorMode = 0;
};

class IRtcEngineEventHandler
{
public:
    virtual ~IRtcEngineEventHandler() { }
    virtual void onWarning(int warn, const char *msg) { (void)warn, (void)msg; }
    virtual void onError(int err, const char *msg) { (void)err, (void)msg; }
    virtual void onJoinChannelSuccess(const char *channel, uid_t uid, int elapsed)
    {
        (void)channel, (void)uid, (void)elapsed;
    }
    virtual void onLeaveChannel(const RtcStats &stats) { (void)stats; }
    virtual void onUserJoined(uid_t uid, int elapsed) { (void)uid, (void)elapsed; }
    virtual void onUserOffline(uid_t uid, int reason) { (void)uid, (void)reason; }
    virtual void onRtcStats(const RtcStats &stats) { (void)stats; }
    virtual void onRemoteAudioStats(const RemoteAudioStats &stats) { (void)stats; }
    virtual void onAudioVolumeIndication(const AudioVolumeInfo *speakers, unsigned int speakerNumber, int totalVolume)
    {
        (void)speakers, (void)speakerNumber, (void)totalVolume;
    }
    virtual void onConnectionStateChanged(CONNECTION_STATE_TYPE state, CONNECTION_CHANGED_REASON_TYPE reason)
    {
        (void)state, (void)reason;
    }
};

struct RtcEngineContext {
    IRtcEngineEventHandler *eventHandler = nullptr;
    const char *appId = nullptr;
    void *context = nullptr;
};

class IAudioDeviceCollection
{
public:
    virtual ~IAudioDeviceCollection() { }
    virtual int getCount() = 0;
    virtual int getDevice(int index, char deviceName[512], char deviceId[512]) = 0;
    virtual int getApplicationVolume(int &volume) = 0;
    virtual void release() = 0;
};

class IAudioDeviceManager
{
public:
    virtual ~IAudioDeviceManager() { }
    virtual IAudioDeviceCollection *enumeratePlaybackDevices() = 0;
    virtual IAudioDeviceCollection *enumerateRecordingDevices() = 0;
    virtual int setPlaybackDevice(const char deviceId[512]) = 0;
    virtual int setRecordingDevice(const char deviceId[512]) = 0;
    virtual int setPlaybackDeviceVolume(int volume) = 0;
    virtual void release() = 0;
};

class IVideoDeviceManager
{
public:
    virtual ~IVideoDeviceManager() { }
    virtual int setDevice(const char deviceId[512]) = 0;
    virtual void release() = 0;
};

class IRtcEngine
{
public:
    virtual ~IRtcEngine() { }
    virtual int initialize(const RtcEngineContext &context) = 0;
    virtual void release(bool sync = false) = 0;
    virtual int setLogFile(const char *filePath) = 0;
    virtual int setLogFilter(unsigned int filter) = 0;
    virtual int setVideoEncoderConfiguration(const VideoEncoderConfiguration &config) = 0;
    virtual int enableAudioVolumeIndication(int interval, int smooth, bool report_vad) = 0;
    virtual int enableVideo() = 0;
    virtual int queryInterface(INTERFACE_ID_TYPE iid, void **inter) = 0;
    virtual int setRecordingAudioFrameParameters(
        int sampleRate, int channel, RAW_AUDIO_FRAME_OP_MODE_TYPE mode, int samplesPerCall)
        = 0;
    virtual int joinChannel(const char *token, const char *channelId, const char *info, uid_t uid) = 0;
    virtual int leaveChannel() = 0;
    virtual int enableLocalVideo(bool enabled) = 0;
    virtual int enableLocalAudio(bool enabled) = 0;
    virtual int muteLocalAudioStream(bool mute) = 0;
    virtual int muteAllRemoteAudioStreams(bool mute) = 0;
    virtual int muteRemoteVideoStream(uid_t uid, bool mute) = 0;
    virtual int startAudioMixing(const char *filePath, bool loopback, bool replace, int cycle) = 0;
    virtual int stopAudioMixing() = 0;
    virtual int pauseAudioMixing() = 0;
    virtual int resumeAudioMixing() = 0;
    virtual int getAudioMixingDuration() = 0;
    virtual int getAudioMixingCurrentPosition() = 0;
    virtual int setAudioMixingPosition(int pos) = 0;
};

} // namespace rtc

namespace media
{

class IAudioFrameObserver
{
public:
    enum AUDIO_FRAME_TYPE { FRAME_TYPE_PCM16 = 0 };
    struct AudioFrame {
        AUDIO_FRAME_TYPE type = FRAME_TYPE_PCM16;
        int samples = 0; // per channel
        int bytesPerSample = 2;
        int channels = 0;
        int samplesPerSec = 0;
        void *buffer = nullptr; // interleaved
        int64_t renderTimeMs = 0;
        int avsync_type = 0;
    };
    virtual ~IAudioFrameObserver() { }
    virtual bool onRecordAudioFrame(AudioFrame &audioFrame) = 0;
    virtual bool onPlaybackAudioFrame(AudioFrame &audioFrame) = 0;
    virtual bool onMixedAudioFrame(AudioFrame &audioFrame) = 0;
    virtual bool onPlaybackAudioFrameBeforeMixing(unsigned int uid, AudioFrame &audioFrame) = 0;
    virtual bool isMultipleChannelFrameWanted() { return false; }
};

class IVideoFrameObserver
{
public:
    enum VIDEO_FRAME_TYPE { FRAME_TYPE_YUV420 = 0 };
    struct VideoFrame {
        VIDEO_FRAME_TYPE type = FRAME_TYPE_YUV420;
        int width = 0, height = 0;
        int yStride = 0, uStride = 0, vStride = 0;
        void *yBuffer = nullptr, *uBuffer = nullptr, *vBuffer = nullptr;
        int rotation = 0;
        int64_t renderTimeMs = 0;
        int avsync_type = 0;
    };
    virtual ~IVideoFrameObserver() { }
    virtual bool onCaptureVideoFrame(VideoFrame &videoFrame) = 0;
    virtual bool onRenderVideoFrame(unsigned int uid, VideoFrame &videoFrame) = 0;
};

class IMediaEngine
{
public:
    virtual ~IMediaEngine() { }
    virtual int registerAudioFrameObserver(IAudioFrameObserver *observer) = 0;
    virtual int registerVideoFrameObserver(IVideoFrameObserver *observer) = 0;
    virtual void release() = 0;
};

} // namespace media
} // namespace agora

// The SDK's exported creation function.
extern "C" agora::rtc::IRtcEngine *createAgoraRtcEngine();
