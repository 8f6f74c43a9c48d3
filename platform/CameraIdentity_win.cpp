#include "platform/CameraIdentity.h"

namespace lumira::platform
{

std::optional<QString> cameraId(const QString &deviceName, const QString &description)
{
    return directShowCameraId(deviceName, description);
}

QString defaultCameraKey(const QString &deviceName, const QString &description)
{
    return directShowDefaultCameraKey(deviceName, description);
}

bool mayHaveCameras(const QString &) { return true; }

} // namespace lumira::platform
