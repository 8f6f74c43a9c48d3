#include "platform/CameraIdentity.h"

#include <QDir>
#include <QFileInfo>

namespace lumira::platform
{
namespace
{

const QString kHardwarePrefix = QStringLiteral("@device:pnp:");
const QString kSoftwarePrefix = QStringLiteral("@device:sw:");

bool endsWithAny(const QString &name, const QStringList &suffixes)
{
    for (const QString &s : suffixes)
        if (name.endsWith(s))
            return true;
    return false;
}

} // namespace

const QStringList &virtualCameraNames()
{
    static const QStringList names { QStringLiteral("yyanchorvcam"), QStringLiteral("6RoomsCamV10"),
        QStringLiteral("yyvcam") };
    return names;
}

std::optional<QString> directShowCameraId(const QString &deviceName, const QString &description)
{
    if (deviceName.startsWith(kHardwarePrefix))
        return deviceName.mid(kHardwarePrefix.size());
    if (deviceName.startsWith(kSoftwarePrefix)) {
        if (endsWithAny(deviceName, virtualCameraNames()))
            return description;
        return deviceName.mid(kSoftwarePrefix.size());
    }
    return std::nullopt;
}

QString directShowDefaultCameraKey(const QString &deviceName, const QString &description)
{
    // Only these two drivers are looked up by description here.
    static const QStringList byDescription { QStringLiteral("yyanchorvcam"), QStringLiteral("6RoomsCamV10") };
    return endsWithAny(deviceName, byDescription) ? description : deviceName;
}

QString v4l2CameraId(const QString &deviceName, const QString &description, const QString &byIdDir)
{
    // Loopback drivers carry the virtual name in their card name.
    if (endsWithAny(description, virtualCameraNames()))
        return description;
    const QString node = QFileInfo(deviceName).absoluteFilePath();
    const QFileInfoList links = QDir(byIdDir).entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && QFileInfo(link.symLinkTarget()).absoluteFilePath() == node)
            return link.fileName();
    }
    return deviceName;
}

} // namespace lumira::platform
