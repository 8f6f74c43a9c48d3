#pragma once
#include <QString>

#include <memory>

namespace lumira::platform
{

// The hardware boost control of a capture device, in dB on its first channel.
class MicBoostControl
{
public:
    virtual ~MicBoostControl() = default;
    virtual bool level(float *db) = 0;
    virtual bool range(float *minDb, float *maxDb, float *stepDb) = 0;
    virtual bool setLevel(float db) = 0;
};

// The names the boost control goes by, English and localised.
inline const char *const kMicBoostNames[] = { "Mic Boost", "Microphone Boost", "麦克风加强", "麦克风增强" };

// The boost control of the capture device `micId` (the settings' microphone
// id; empty: the system's default microphone). Null when the device has none
// or cannot be reached. The control is held open until it is destroyed.
std::unique_ptr<MicBoostControl> openMicBoostControl(const QString &micId);

} // namespace lumira::platform
