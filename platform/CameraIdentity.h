#pragma once
#include <QString>
#include <QStringList>

#include <optional>

namespace lumira::platform
{

// False only when the system offers no camera device node at all (Linux:
// nothing under `root`/sys/class/video4linux nor any `root`/dev/video*),
// which takes a few directory reads where listing the cameras loads the
// camera plugin. Windows always answers true.
bool mayHaveCameras(const QString &root = QStringLiteral("/"));

// Virtual-camera drivers whose device names end in these.
const QStringList &virtualCameraNames();

// The stable id of a camera, from the device name and description Qt
// Multimedia reports. No value: a name of a form this platform never gives.
std::optional<QString> cameraId(const QString &deviceName, const QString &description);

// What the system's default camera is looked up by in the id list (the list
// entry it contains).
QString defaultCameraKey(const QString &deviceName, const QString &description);

// The rules for the names DirectShow gives ("@device:pnp:" hardware,
// "@device:sw:" software); compiled on every platform so they are tested.
std::optional<QString> directShowCameraId(const QString &deviceName, const QString &description);
QString directShowDefaultCameraKey(const QString &deviceName, const QString &description);

// V4L2 gives "/dev/videoN", which moves between boots; the udev link under
// `byIdDir` that points at the node is stable. Without one the node is used.
QString v4l2CameraId(
    const QString &deviceName, const QString &description, const QString &byIdDir = QStringLiteral("/dev/v4l/by-id"));

} // namespace lumira::platform
