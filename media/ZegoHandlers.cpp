#include "media/ZegoHandlers.h"

#include <QMetaType>

using namespace ZEGO::EXPRESS;

void ZegoEventHandler::registerTypes()
{
    // Registered by name only: the SDK's types carry no Qt declarations, and
    // std::string is declared elsewhere in the client already.
    static const bool once = [] {
        qRegisterMetaType<std::string>("std::string");
        qRegisterMetaType<ZegoUpdateType>("ZEGO::EXPRESS::ZegoUpdateType");
        qRegisterMetaType<std::vector<ZegoUser>>("std::vector<ZEGO::EXPRESS::ZegoUser>");
        qRegisterMetaType<std::vector<ZegoStream>>("std::vector<ZEGO::EXPRESS::ZegoStream>");
        qRegisterMetaType<ZegoRemoteDeviceState>("ZEGO::EXPRESS::ZegoRemoteDeviceState");
        qRegisterMetaType<ZegoPublishStreamQuality>("ZEGO::EXPRESS::ZegoPublishStreamQuality");
        qRegisterMetaType<ZegoPlayStreamQuality>("ZEGO::EXPRESS::ZegoPlayStreamQuality");
        return true;
    }();
    Q_UNUSED(once)
}

void ZegoEventHandler::onRoomUserUpdate(
    const std::string &roomID, ZegoUpdateType updateType, const std::vector<ZegoUser> &userList)
{
    emit sigRoomUserUpdate(roomID, updateType, userList);
}

void ZegoEventHandler::onRoomStreamUpdate(const std::string &roomID, ZegoUpdateType updateType,
    const std::vector<ZegoStream> &streamList, const std::string &)
{
    emit sigRoomStreamUpdate(roomID, updateType, streamList);
}

void ZegoEventHandler::onRemoteCameraStateUpdate(const std::string &streamID, ZegoRemoteDeviceState state)
{
    emit sigRemoteCameraStateUpdate(streamID, state);
}

void ZegoEventHandler::onPublisherQualityUpdate(const std::string &streamID, const ZegoPublishStreamQuality &quality)
{
    emit sigPublisherQualityUpdate(streamID, quality);
}

void ZegoEventHandler::onPlayerQualityUpdate(const std::string &streamID, const ZegoPlayStreamQuality &quality)
{
    emit sigPlayerQualityUpdate(streamID, quality);
}

void CustomVideoRenderer::onCapturedVideoFrameRawData(
    unsigned char **data, unsigned int *dataLength, ZegoVideoFrameParam param, ZegoVideoFlipMode, ZegoPublishChannel)
{
    if (data && dataLength && param.format == ZEGO_VIDEO_FRAME_FORMAT_I420)
        m_target->onCapturedVideoFrameRawData(data, dataLength, param.width, param.height);
}

void CustomVideoRenderer::onRemoteVideoFrameRawData(
    unsigned char **data, unsigned int *dataLength, ZegoVideoFrameParam param, const std::string &streamID)
{
    if (data && dataLength && param.format == ZEGO_VIDEO_FRAME_FORMAT_I420)
        m_target->onRemoteVideoFrameRawData(data, dataLength, param.width, param.height, streamID);
}

void MyAudioDataHandler::onCapturedAudioData(
    const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param)
{
    m_target->onCapturedAudioData(data, dataLength, int(param.sampleRate), int(param.channel));
}

void MyAudioDataHandler::onPlaybackAudioData(
    const unsigned char *data, unsigned int dataLength, ZegoAudioFrameParam param)
{
    m_target->onPlaybackAudioData(data, dataLength, int(param.sampleRate), int(param.channel));
}
