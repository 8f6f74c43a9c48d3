#pragma once
// Stand-in for the Zego Express SDK's C++ header wrapper: the calls, handler
// interfaces and callback data the client uses, backed by the simulated room
// (../simroom). A build against the real SDK replaces this folder.
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ZEGO
{
namespace EXPRESS
{

enum ZegoScenario { ZEGO_SCENARIO_GENERAL = 0, ZEGO_SCENARIO_COMMUNICATION = 1, ZEGO_SCENARIO_LIVE = 2 };
enum ZegoUpdateType { ZEGO_UPDATE_TYPE_ADD = 0, ZEGO_UPDATE_TYPE_DELETE = 1 };
enum ZegoRoomState { ZEGO_ROOM_STATE_DISCONNECTED = 0, ZEGO_ROOM_STATE_CONNECTING = 1, ZEGO_ROOM_STATE_CONNECTED = 2 };
enum ZegoRemoteDeviceState {
    ZEGO_REMOTE_DEVICE_STATE_OPEN = 0,
    ZEGO_REMOTE_DEVICE_STATE_GENERIC_ERROR = 1,
    ZEGO_REMOTE_DEVICE_STATE_NO_AUTHORIZATION = 3,
    ZEGO_REMOTE_DEVICE_STATE_ZERO_FPS = 4,
    ZEGO_REMOTE_DEVICE_STATE_DISABLE = 10
};
enum ZegoPublishChannel { ZEGO_PUBLISH_CHANNEL_MAIN = 0, ZEGO_PUBLISH_CHANNEL_AUX = 1 };
enum ZegoAudioDeviceType { ZEGO_AUDIO_DEVICE_TYPE_INPUT = 0, ZEGO_AUDIO_DEVICE_TYPE_OUTPUT = 1 };
enum ZegoVideoBufferType { ZEGO_VIDEO_BUFFER_TYPE_UNKNOWN = 0, ZEGO_VIDEO_BUFFER_TYPE_RAW_DATA = 1 };
enum ZegoVideoFrameFormatSeries { ZEGO_VIDEO_FRAME_FORMAT_SERIES_RGB = 0, ZEGO_VIDEO_FRAME_FORMAT_SERIES_YUV = 1 };
enum ZegoVideoFrameFormat { ZEGO_VIDEO_FRAME_FORMAT_UNKNOWN = 0, ZEGO_VIDEO_FRAME_FORMAT_I420 = 1 };
enum ZegoVideoFlipMode { ZEGO_VIDEO_FLIP_MODE_NONE = 0 };
enum ZegoAudioSampleRate { ZEGO_AUDIO_SAMPLE_RATE_8K = 8000, ZEGO_AUDIO_SAMPLE_RATE_16K = 16000 };
enum ZegoAudioChannel { ZEGO_AUDIO_CHANNEL_MONO = 1, ZEGO_AUDIO_CHANNEL_STEREO = 2 };
enum ZegoAudioDataCallbackBitMask {
    ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_CAPTURED = 1 << 0,
    ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_PLAYBACK = 1 << 1,
    ZEGO_AUDIO_DATA_CALLBACK_BIT_MASK_MIXED = 1 << 2
};
enum ZegoMediaPlayerState {
    ZEGO_MEDIA_PLAYER_STATE_NO_PLAY = 0,
    ZEGO_MEDIA_PLAYER_STATE_PLAYING = 1,
    ZEGO_MEDIA_PLAYER_STATE_PAUSING = 2,
    ZEGO_MEDIA_PLAYER_STATE_PLAY_ENDED = 3
};

struct ZegoUser {
    ZegoUser() = default;
    ZegoUser(std::string id, std::string name)
        : userID(std::move(id))
        , userName(std::move(name))
    {
    }
    std::string userID;
    std::string userName;
};

struct ZegoStream {
    ZegoUser user;
    std::string streamID;
    std::string extraInfo;
};

struct ZegoCanvas {
    void *view = nullptr;
};

struct ZegoDeviceInfo {
    std::string deviceID;
    std::string deviceName;
};

struct ZegoVideoConfig {
    int captureWidth = 360, captureHeight = 640;
    int encodeWidth = 360, encodeHeight = 640;
    int fps = 15;
    int bitrate = 600; // kbit/s
    int codecID = 0;
};

struct ZegoCustomVideoRenderConfig {
    ZegoVideoBufferType bufferType = ZEGO_VIDEO_BUFFER_TYPE_RAW_DATA;
    ZegoVideoFrameFormatSeries frameFormatSeries = ZEGO_VIDEO_FRAME_FORMAT_SERIES_YUV;
    bool enableEngineRender = false;
};

// The raw frames' description: the planes themselves come with their byte lengths.
struct ZegoVideoFrameParam {
    ZegoVideoFrameFormat format = ZEGO_VIDEO_FRAME_FORMAT_I420;
    int width = 0;
    int height = 0;
    int rotation = 0;
};

struct ZegoAudioFrameParam {
    ZegoAudioSampleRate sampleRate = ZEGO_AUDIO_SAMPLE_RATE_8K;
    ZegoAudioChannel channel = ZEGO_AUDIO_CHANNEL_MONO;
};

struct ZegoPublishStreamQuality {
    double videoSendFPS = 0;
    double audioSendFPS = 0;
    int rtt = 0; // ms
    double packetLostRate = 0;
    int level = 0;
};

struct ZegoPlayStreamQuality {
    double videoRecvFPS = 0;
    double audioRecvFPS = 0;
    int rtt = 0; // ms
    int delay = 0; // ms
    double packetLostRate = 0;
    int level = 0;
};

// Room, stream and quality events, on the SDK's event thread.
class IZegoEventHandler
{
public:
    virtual ~IZegoEventHandler() = default;
    virtual void onDebugError(int errorCode, const std::string &funcName, const std::string &info) { }
    virtual void onRoomStateUpdate(
        const std::string &roomID, ZegoRoomState state, int errorCode, const std::string &extendedData)
    {
    }
    virtual void onRoomUserUpdate(
        const std::string &roomID, ZegoUpdateType updateType, const std::vector<ZegoUser> &userList)
    {
    }
    virtual void onRoomStreamUpdate(const std::string &roomID, ZegoUpdateType updateType,
        const std::vector<ZegoStream> &streamList, const std::string &extendedData)
    {
    }
    virtual void onRemoteCameraStateUpdate(const std::string &streamID, ZegoRemoteDeviceState state) { }
    virtual void onRemoteMicStateUpdate(const std::string &streamID, ZegoRemoteDeviceState state) { }
    virtual void onPublisherQualityUpdate(const std::string &streamID, const ZegoPublishStreamQuality &quality) { }
    virtual void onPlayerQualityUpdate(const std::string &streamID, const ZegoPlayStreamQuality &quality) { }
    // 0..100 per played stream, about every 100 ms once enabled.
    virtual void onRemoteSoundLevelUpdate(const std::unordered_map<std::string, float> &soundLevels) { }
};

// Raw video frames, on the SDK's render thread: I420 as three plane pointers
// and three plane byte lengths.
class IZegoCustomVideoRenderHandler
{
public:
    virtual ~IZegoCustomVideoRenderHandler() = default;
    virtual void onCapturedVideoFrameRawData(unsigned char **data, unsigned int *dataLength, ZegoVideoFrameParam param,
        ZegoVideoFlipMode flipMode, ZegoPublishChannel channel)
    {
    }
    virtual void onRemoteVideoFrameRawData(
        unsigned char **data, unsigned int *dataLength, ZegoVideoFrameParam param, const std::string &streamID)
    {
    }
};

// Raw audio, on the SDK's audio thread: interleaved signed 16-bit PCM in the
// format asked for with enableAudioDataCallback.
class IZegoAudioDataHandler
{
public:
    virtual ~IZegoAudioDataHandler() = default;
    virtual void onCapturedAudioData(const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param) { }
    virtual void onPlaybackAudioData(const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param) { }
    virtual void onMixedAudioData(const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param) { }
    virtual void onRemoteAudioData(
        const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param, const std::string &streamID)
    {
    }
};

class IZegoMediaPlayer;

// Media player events, on the SDK's event thread.
class IZegoMediaPlayerEventHandler
{
public:
    virtual ~IZegoMediaPlayerEventHandler() = default;
    virtual void onMediaPlayerStateUpdate(IZegoMediaPlayer *mediaPlayer, ZegoMediaPlayerState state, int errorCode) { }
    virtual void onMediaPlayerPlayingProgress(IZegoMediaPlayer *mediaPlayer, unsigned long long millisecond) { }
};

using ZegoMediaPlayerLoadResourceCallback = std::function<void(int errorCode)>;
using ZegoMediaPlayerSeekToCallback = std::function<void(int errorCode)>;

// Plays a local file into what the speaker plays and, with aux on, into the
// published stream.
class IZegoMediaPlayer
{
public:
    virtual ~IZegoMediaPlayer() = default;
    virtual void setEventHandler(std::shared_ptr<IZegoMediaPlayerEventHandler> handler) = 0;
    virtual void loadResource(const std::string &path, ZegoMediaPlayerLoadResourceCallback callback) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual void seekTo(unsigned long long millisecond, ZegoMediaPlayerSeekToCallback callback) = 0;
    virtual void enableAux(bool enable) = 0;
    virtual unsigned long long getTotalDuration() = 0;
    virtual unsigned long long getCurrentProgress() = 0;
    virtual int getPlayVolume() = 0;
    virtual int getPublishVolume() = 0;
    virtual int getIndex() = 0;
};

class IZegoExpressEngine
{
public:
    virtual ~IZegoExpressEngine() = default;
    virtual void setEventHandler(std::shared_ptr<IZegoEventHandler> eventHandler) = 0;

    virtual void loginRoom(const std::string &roomID, ZegoUser user) = 0;
    virtual void logoutRoom(const std::string &roomID) = 0;

    virtual void startPublishingStream(
        const std::string &streamID, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN)
        = 0;
    virtual void stopPublishingStream(ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void startPreview(ZegoCanvas *canvas = nullptr, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void stopPreview(ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void setVideoConfig(ZegoVideoConfig config, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void enableCamera(bool enable, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void mutePublishStreamVideo(bool mute, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN) = 0;
    virtual void muteMicrophone(bool mute) = 0;
    virtual void muteSpeaker(bool mute) = 0;
    virtual void startPlayingStream(const std::string &streamID, ZegoCanvas *canvas = nullptr) = 0;
    virtual void stopPlayingStream(const std::string &streamID) = 0;

    virtual std::vector<ZegoDeviceInfo> getVideoDeviceList() = 0;
    virtual void useVideoDevice(const std::string &deviceID, ZegoPublishChannel channel = ZEGO_PUBLISH_CHANNEL_MAIN)
        = 0;
    virtual std::vector<ZegoDeviceInfo> getAudioDeviceList(ZegoAudioDeviceType deviceType) = 0;
    virtual void useAudioDevice(ZegoAudioDeviceType deviceType, const std::string &deviceID) = 0;

    virtual void enableCustomVideoRender(bool enable, ZegoCustomVideoRenderConfig *config) = 0;
    virtual void setCustomVideoRenderHandler(std::shared_ptr<IZegoCustomVideoRenderHandler> handler) = 0;
    virtual void enableAudioDataCallback(bool enable, unsigned int callbackBitMask, ZegoAudioFrameParam param) = 0;
    virtual void setAudioDataHandler(std::shared_ptr<IZegoAudioDataHandler> handler) = 0;
    virtual void startSoundLevelMonitor(unsigned int millisecond = 100) = 0;

    virtual IZegoMediaPlayer *createMediaPlayer() = 0;
    virtual void destroyMediaPlayer(IZegoMediaPlayer *&mediaPlayer) = 0;
};

class ZegoExpressSDK
{
public:
    // Null when the app id or app sign is not accepted. One engine per process.
    static IZegoExpressEngine *createEngine(unsigned int appID, const std::string &appSign, bool isTestEnv,
        ZegoScenario scenario, std::shared_ptr<IZegoEventHandler> eventHandler);
    static void destroyEngine(IZegoExpressEngine *&engine);
    static IZegoExpressEngine *getEngine();
    static std::string getVersion();
};

} // namespace EXPRESS
} // namespace ZEGO
