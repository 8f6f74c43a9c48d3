#pragma once
// What only the stand-in has: a look at the state the client's calls left
// behind, and the camera list it answers, for tests and the demo. Not part of
// the SDK; nothing in the client includes it.
#include "ZegoExpressSDK.h"

#include <set>
#include <string>
#include <vector>

namespace ZEGO
{
namespace EXPRESS
{
namespace standin
{

// getVideoDeviceList() answers these (default: one simulated camera).
void setVideoDevices(const std::vector<ZegoDeviceInfo> &devices);
std::string videoDeviceInUse();
std::string audioDeviceInUse(ZegoAudioDeviceType type);
// Streams started with startPlayingStream and not stopped since.
std::set<std::string> playingStreams();
bool microphoneMuted();
bool speakerMuted();
// The engine's arguments as last given.
unsigned int createdAppId();
ZegoVideoConfig videoConfig();
ZegoAudioFrameParam audioDataParam();
unsigned int audioDataBitMask();

} // namespace standin
} // namespace EXPRESS
} // namespace ZEGO
