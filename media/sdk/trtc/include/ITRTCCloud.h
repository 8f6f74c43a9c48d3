#pragma once
// Stand-in for the TRTC SDK (LiteAV) interface: the calls and callback data the
// client uses, backed by the simulated room (../simroom). The library is not
// linked: the client loads it at run time and takes its two entry points by
// name. A build with the real LiteAV replaces this folder and its library.
#include <cstdint>

#if defined(_WIN32)
#define TRTC_API __declspec(dllexport)
#else
#define TRTC_API __attribute__((visibility("default")))
#endif

// A window handle for the SDK's own rendering; the client renders itself and
// passes none.
typedef void *TXView;

enum TXLiteAVError : int {
    ERR_NULL = 0,
    ERR_ROOM_ENTER_FAIL = -3301,
    ERR_ENTER_ROOM_PARAM_NULL = -3316,
};

enum TXLiteAVWarning : int {
    WARNING_ROOM_DISCONNECT = 5101,
};

enum TRTCVideoResolution {
    TRTCVideoResolution_240_180 = 52,
    TRTCVideoResolution_320_240 = 56,
    TRTCVideoResolution_640_480 = 62,
};
enum TRTCVideoResolutionMode { TRTCVideoResolutionModeLandscape = 0, TRTCVideoResolutionModePortrait = 1 };
enum TRTCVideoStreamType { TRTCVideoStreamTypeBig = 0, TRTCVideoStreamTypeSmall = 1, TRTCVideoStreamTypeSub = 2 };
enum TRTCVideoQosPreference { TRTCVideoQosPreferenceSmooth = 1, TRTCVideoQosPreferenceClear = 2 };
enum TRTCQosControlMode { TRTCQosControlModeClient = 0, TRTCQosControlModeServer = 1 };
enum TRTCAppScene { TRTCAppSceneVideoCall = 0, TRTCAppSceneLIVE = 1 };
enum TRTCRoleType { TRTCRoleAnchor = 20, TRTCRoleAudience = 21 };
enum TRTCVideoPixelFormat { TRTCVideoPixelFormat_Unknown = 0, TRTCVideoPixelFormat_I420 = 1 };
enum TRTCVideoBufferType { TRTCVideoBufferType_Unknown = 0, TRTCVideoBufferType_Buffer = 1 };
enum TRTCAudioFrameFormat { TRTCAudioFrameFormatNone = 0, TRTCAudioFrameFormatPCM = 1 };
enum TRTCLogLevel {
    TRTCLogLevelVerbose = 0,
    TRTCLogLevelDebug = 1,
    TRTCLogLevelInfo = 2,
    TRTCLogLevelWarn = 3,
    TRTCLogLevelError = 4,
    TRTCLogLevelFatal = 5,
    TRTCLogLevelNone = 6,
};
enum TRTCBeautyStyle { TRTCBeautyStyleSmooth = 0, TRTCBeautyStyleNature = 1 };

struct TRTCParams {
    uint32_t sdkAppId = 0;
    const char *userId = nullptr;
    const char *userSig = nullptr;
    uint32_t roomId = 0;
    const char *strRoomId = nullptr;
    TRTCRoleType role = TRTCRoleAnchor;
    const char *streamId = nullptr;
    const char *userDefineRecordId = nullptr;
    const char *privateMapKey = nullptr;
    const char *businessInfo = nullptr;
};

struct TRTCVideoEncParam {
    TRTCVideoResolution videoResolution = TRTCVideoResolution_640_480;
    TRTCVideoResolutionMode resMode = TRTCVideoResolutionModeLandscape;
    uint32_t videoFps = 15;
    uint32_t videoBitrate = 550; // kbps
    uint32_t minVideoBitrate = 0;
    bool enableAdjustRes = false;
};

struct TRTCNetworkQosParam {
    TRTCVideoQosPreference preference = TRTCVideoQosPreferenceClear;
    TRTCQosControlMode controlMode = TRTCQosControlModeServer;
};

// One picture: for I420 buffers the three planes back to back, without padding.
struct TRTCVideoFrame {
    TRTCVideoPixelFormat videoFormat = TRTCVideoPixelFormat_Unknown;
    TRTCVideoBufferType bufferType = TRTCVideoBufferType_Unknown;
    char *data = nullptr;
    int textureId = 0;
    uint32_t length = 0; // bytes
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t timestamp = 0; // ms
    int rotation = 0;
};

// Interleaved signed 16-bit PCM.
struct TRTCAudioFrame {
    TRTCAudioFrameFormat audioFormat = TRTCAudioFrameFormatNone;
    char *data = nullptr;
    uint32_t length = 0; // bytes
    uint32_t sampleRate = 0; // Hz
    uint32_t channel = 0;
    uint64_t timestamp = 0; // ms
};

struct TRTCVolumeInfo {
    const char *userId = nullptr; // empty: the local user
    uint32_t volume = 0; // 0..100
};

struct TRTCStatistics {
    uint32_t upLoss = 0; // percent
    uint32_t downLoss = 0;
    uint32_t appCpu = 0;
    uint32_t systemCpu = 0;
    uint32_t rtt = 0; // ms, to the server and back
    uint64_t receivedBytes = 0;
    uint64_t sentBytes = 0;
};

class ITRTCDeviceInfo
{
public:
    virtual const char *getDeviceName() = 0;
    virtual const char *getDevicePID() = 0;
    virtual void release() = 0;

protected:
    virtual ~ITRTCDeviceInfo() = default;
};

class ITRTCDeviceCollection
{
public:
    virtual uint32_t getCount() = 0;
    virtual const char *getDeviceName(uint32_t index) = 0;
    virtual const char *getDevicePID(uint32_t index) = 0;
    virtual void release() = 0;

protected:
    virtual ~ITRTCDeviceCollection() = default;
};

// Room events, on the SDK's event threads.
class ITRTCCloudCallback
{
public:
    virtual ~ITRTCCloudCallback() = default;
    virtual void onError(TXLiteAVError errCode, const char *errMsg, void *arg) = 0;
    virtual void onWarning(TXLiteAVWarning warningCode, const char *warningMsg, void *arg) = 0;
    // result >= 0: entered, in that many ms; < 0: the error that kept us out.
    virtual void onEnterRoom(int result) = 0;
    virtual void onExitRoom(int reason) = 0;
    virtual void onRemoteUserEnterRoom(const char *userId) { }
    virtual void onRemoteUserLeaveRoom(const char *userId, int reason) { }
    virtual void onUserVideoAvailable(const char *userId, bool available) { }
    virtual void onUserAudioAvailable(const char *userId, bool available) { }
    virtual void onUserVoiceVolume(TRTCVolumeInfo *userVolumes, uint32_t userVolumesCount, uint32_t totalVolume) { }
    virtual void onStatistics(const TRTCStatistics &statistics) { }
    virtual void onConnectionLost() { }
    virtual void onPlayBGMBegin(TXLiteAVError err) { }
    virtual void onPlayBGMProgress(uint32_t progressMS, uint32_t durationMS) { }
    virtual void onPlayBGMComplete(TXLiteAVError err) { }
};

class ITRTCLogCallback
{
public:
    virtual ~ITRTCLogCallback() = default;
    virtual void onLog(const char *log, TRTCLogLevel level, const char *module) = 0;
};

// Pictures, on the SDK's render thread; an empty user id is the local preview.
class ITRTCVideoRenderCallback
{
public:
    virtual ~ITRTCVideoRenderCallback() = default;
    virtual void onRenderVideoFrame(const char *userId, TRTCVideoStreamType streamType, TRTCVideoFrame *frame) = 0;
};

// Audio, on the SDK's audio thread.
class ITRTCAudioFrameCallback
{
public:
    virtual ~ITRTCAudioFrameCallback() = default;
    // The microphone after the SDK's processing.
    virtual void onCapturedAudioFrame(TRTCAudioFrame *frame) = 0;
    // One remote user's audio before mixing.
    virtual void onPlayAudioFrame(TRTCAudioFrame *frame, const char *userId) = 0;
    // Everything the speaker plays.
    virtual void onMixedPlayAudioFrame(TRTCAudioFrame *frame) = 0;
};

class ITRTCCloud
{
protected:
    virtual ~ITRTCCloud() = default;

public:
    virtual void addCallback(ITRTCCloudCallback *callback) = 0;
    virtual void removeCallback(ITRTCCloudCallback *callback) = 0;

    virtual void setLogLevel(TRTCLogLevel level) = 0;
    virtual void setConsoleEnabled(bool enabled) = 0;
    virtual void setLogDirPath(const char *path) = 0;
    virtual void setLogCallback(ITRTCLogCallback *callback) = 0;

    virtual void enterRoom(const TRTCParams &params, TRTCAppScene scene) = 0;
    virtual void exitRoom() = 0;

    virtual void setVideoEncoderParam(const TRTCVideoEncParam &params) = 0;
    virtual void setNetworkQosParam(const TRTCNetworkQosParam &params) = 0;
    virtual void startLocalPreview(TXView rendView) = 0;
    virtual void stopLocalPreview() = 0;
    virtual void muteLocalVideo(bool mute) = 0;
    virtual void startRemoteView(const char *userId, TXView rendView) = 0;
    virtual void stopRemoteView(const char *userId) = 0;
    virtual void stopAllRemoteView() = 0;
    virtual int setLocalVideoRenderCallback(
        TRTCVideoPixelFormat pixelFormat, TRTCVideoBufferType bufferType, ITRTCVideoRenderCallback *callback)
        = 0;
    virtual int setRemoteVideoRenderCallback(const char *userId, TRTCVideoPixelFormat pixelFormat,
        TRTCVideoBufferType bufferType, ITRTCVideoRenderCallback *callback)
        = 0;
    virtual void setBeautyStyle(TRTCBeautyStyle style, uint32_t beauty, uint32_t white, uint32_t ruddiness) = 0;

    virtual void startLocalAudio() = 0;
    virtual void stopLocalAudio() = 0;
    virtual void muteLocalAudio(bool mute) = 0;
    virtual void muteAllRemoteAudio(bool mute) = 0;
    virtual int setAudioFrameCallback(ITRTCAudioFrameCallback *callback) = 0;
    virtual void enableAudioVolumeEvaluation(uint32_t intervalMs) = 0;

    // Collections and infos are the caller's, given back with release().
    virtual ITRTCDeviceCollection *getCameraDevicesList() = 0;
    virtual void setCurrentCameraDevice(const char *deviceId) = 0;
    virtual ITRTCDeviceInfo *getCurrentCameraDevice() = 0;
    virtual ITRTCDeviceCollection *getMicDevicesList() = 0;
    virtual void setCurrentMicDevice(const char *micId) = 0;
    virtual ITRTCDeviceCollection *getSpeakerDevicesList() = 0;
    virtual void setCurrentSpeakerDevice(const char *speakerId) = 0;
    virtual void setCurrentSpeakerVolume(uint32_t volume) = 0; // 0..100
    virtual uint32_t getCurrentSpeakerVolume() = 0;

    // Courseware audio, mixed into what the room hears.
    virtual void playBGM(const char *path) = 0;
    virtual void stopBGM() = 0;
    virtual void pauseBGM() = 0;
    virtual void resumeBGM() = 0;
    // ms; null: the file playing now.
    virtual uint32_t getBGMDuration(const char *path) = 0;
    virtual void setBGMPosition(uint32_t pos) = 0;
};

// The library's two entry points, taken by name.
extern "C" {
TRTC_API ITRTCCloud *getTRTCShareInstance();
TRTC_API void destroyTRTCShareInstance();
}
typedef ITRTCCloud *(*GetTRTCShareInstance)();
typedef void (*DestroyTRTCShareInstance)();
