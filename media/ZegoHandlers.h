#pragma once
// The three small classes that connect LMRZgRtc to the Zego SDK, and the two
// interfaces through which the raw frames reach it.
#include <ZegoExpressSDK.h>

#include <QObject>

#include <string>
#include <vector>

// Raw I420 video: three plane pointers and three plane byte lengths.
class OnRenderDataInterface
{
public:
    virtual ~OnRenderDataInterface() = default;
    virtual void onCapturedVideoFrameRawData(unsigned char **data, unsigned int *dataLength, int width, int height) = 0;
    virtual void onRemoteVideoFrameRawData(
        unsigned char **data, unsigned int *dataLength, int width, int height, const std::string &streamID)
        = 0;
};

// Raw interleaved signed 16-bit audio.
class IAudioDataCallback
{
public:
    virtual ~IAudioDataCallback() = default;
    virtual void onCapturedAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels)
        = 0;
    virtual void onPlaybackAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels)
        = 0;
};

// The SDK's room and quality events as Qt signals. Emitted on the SDK's event
// thread; the adapter takes them by queued connections on the GUI thread.
class ZegoEventHandler : public QObject, public ZEGO::EXPRESS::IZegoEventHandler
{
    Q_OBJECT
public:
    // The signals' argument types by the names the queued connections look up.
    static void registerTypes();

    void onRoomUserUpdate(const std::string &roomID, ZEGO::EXPRESS::ZegoUpdateType updateType,
        const std::vector<ZEGO::EXPRESS::ZegoUser> &userList) override;
    void onRoomStreamUpdate(const std::string &roomID, ZEGO::EXPRESS::ZegoUpdateType updateType,
        const std::vector<ZEGO::EXPRESS::ZegoStream> &streamList, const std::string &extendedData) override;
    void onRemoteCameraStateUpdate(const std::string &streamID, ZEGO::EXPRESS::ZegoRemoteDeviceState state) override;
    void onPublisherQualityUpdate(
        const std::string &streamID, const ZEGO::EXPRESS::ZegoPublishStreamQuality &quality) override;
    void onPlayerQualityUpdate(
        const std::string &streamID, const ZEGO::EXPRESS::ZegoPlayStreamQuality &quality) override;

signals:
    void sigRoomUserUpdate(
        std::string roomID, ZEGO::EXPRESS::ZegoUpdateType updateType, std::vector<ZEGO::EXPRESS::ZegoUser> userList);
    void sigRoomStreamUpdate(std::string roomID, ZEGO::EXPRESS::ZegoUpdateType updateType,
        std::vector<ZEGO::EXPRESS::ZegoStream> streamList);
    void sigRemoteCameraStateUpdate(std::string streamID, ZEGO::EXPRESS::ZegoRemoteDeviceState state);
    void sigPublisherQualityUpdate(std::string streamID, ZEGO::EXPRESS::ZegoPublishStreamQuality quality);
    void sigPlayerQualityUpdate(std::string streamID, ZEGO::EXPRESS::ZegoPlayStreamQuality quality);
};

// Forwards the captured and the remote raw frames (SDK render thread).
class CustomVideoRenderer : public ZEGO::EXPRESS::IZegoCustomVideoRenderHandler
{
public:
    explicit CustomVideoRenderer(OnRenderDataInterface *target)
        : m_target(target)
    {
    }
    void onCapturedVideoFrameRawData(unsigned char **data, unsigned int *dataLength,
        ZEGO::EXPRESS::ZegoVideoFrameParam param, ZEGO::EXPRESS::ZegoVideoFlipMode flipMode,
        ZEGO::EXPRESS::ZegoPublishChannel channel) override;
    void onRemoteVideoFrameRawData(unsigned char **data, unsigned int *dataLength,
        ZEGO::EXPRESS::ZegoVideoFrameParam param, const std::string &streamID) override;

private:
    OnRenderDataInterface *m_target;
};

// Forwards the microphone and the speaker audio (SDK audio thread); the
// remote and mixed audio are not wanted.
class MyAudioDataHandler : public ZEGO::EXPRESS::IZegoAudioDataHandler
{
public:
    explicit MyAudioDataHandler(IAudioDataCallback *target)
        : m_target(target)
    {
    }
    void onCapturedAudioData(
        const unsigned char *data, unsigned int dataLength, ZEGO::EXPRESS::ZegoAudioFrameParam param) override;
    void onPlaybackAudioData(
        const unsigned char *data, unsigned int dataLength, ZEGO::EXPRESS::ZegoAudioFrameParam param) override;
    void onRemoteAudioData(
        const unsigned char *, unsigned int, ZEGO::EXPRESS::ZegoAudioFrameParam, const std::string &) override
    {
    }
    void onMixedAudioData(const unsigned char *, unsigned int, ZEGO::EXPRESS::ZegoAudioFrameParam) override { }

private:
    IAudioDataCallback *m_target;
};
