#include "platform/CameraIdentity.h"

namespace lumira::platform
{

std::optional<QString> cameraId(const QString &deviceName, const QString &description)
{
    return v4l2CameraId(deviceName, description);
}

QString defaultCameraKey(const QString &deviceName, const QString &description)
{
    // The key must contain the id: use the id itself.
    return v4l2CameraId(deviceName, description);
}

} // namespace lumira::platform
