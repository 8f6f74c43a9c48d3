#include "platform/CameraIdentity.h"

#include <QDir>

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

bool mayHaveCameras(const QString &root)
{
    // Qt Multimedia's camera plugin finds V4L2 capture devices through these.
    const QDir classDir(root + QStringLiteral("/sys/class/video4linux"));
    if (!classDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty())
        return true;
    const QDir devDir(root + QStringLiteral("/dev"));
    return !devDir.entryList({ QStringLiteral("video*") }, QDir::AllEntries | QDir::System).isEmpty();
}

} // namespace lumira::platform
