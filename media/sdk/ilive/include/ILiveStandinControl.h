#pragma once
// What only the stand-in has: failures on demand, the camera list it answers,
// and a look at the state the client's calls left behind, for tests and the
// demo. Not part of the SDK; nothing in the client includes it.
#include "iLive.h"

#include <string>
#include <utility>
#include <vector>

namespace ilive
{
namespace standin
{

// Non-zero: the next calls of that kind fail with this code (0 turns it off).
void setCreateRoomError(int code);
void setQuitRoomError(int code);
void setLoginError(int code);
// getCameraList() answers these, id then name. The default list holds a
// simulated camera and the two streaming tools' virtual cameras.
void setCameras(const std::vector<std::pair<std::string, std::string>> &cameras);
// The colour format the local preview is delivered in (default I420).
void setLocalColorFormat(E_ColorFormat format);

// Room calls in order, as "create:<room>", "join:<room>", "quit".
std::vector<std::string> roomCalls();
std::string roleConfig(); // as last handed over
std::string loggedInUser(); // empty while logged out
int initAppId();
iLiveRoomOption lastRoomOption(); // the callbacks cleared
std::string cameraInUse(); // empty while closed
std::string micInUse();
std::string playerInUse();
uint32_t playerVolume();
int skinSmoothGrade();
int whitenessCalls();

} // namespace standin
} // namespace ilive
