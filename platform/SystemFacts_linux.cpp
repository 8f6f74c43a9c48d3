#include "platform/SystemFacts.h"

#include "platform/ProcFields_linux.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QRegularExpression>

namespace lumira::platform
{
namespace
{

// Empty when the file cannot be read; /proc files report size 0, so read it all.
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString uuidForm(QString hex)
{
    hex.remove(QLatin1Char('-'));
    hex = hex.trimmed().toUpper();
    if (!QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(hex).hasMatch())
        return QString();
    return hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) + QLatin1Char('-')
        + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20);
}

} // namespace

HostMemory hostMemory(const QString &root)
{
    HostMemory out;
    const QHash<QByteArray, quint64> info = procKbFields(readAll(root + QStringLiteral("/proc/meminfo")));
    // Kernels before 3.14 have no MemAvailable; free memory understates but is safe.
    const char *availKey = info.contains("MemAvailable") ? "MemAvailable" : "MemFree";
    if (!info.contains("MemTotal") || !info.contains(availKey) || info.value("MemTotal") == 0)
        return out;
    out.totalBytes = info.value("MemTotal");
    out.availableBytes = info.value(availKey);
    out.ok = true;
    return out;
}

ProcessMemory processMemory(const QString &root)
{
    ProcessMemory out;
    const QHash<QByteArray, quint64> status = procKbFields(readAll(root + QStringLiteral("/proc/self/status")));
    if (status.contains("VmRSS")) {
        out.hasWorkingSet = true;
        out.workingSetBytes = status.value("VmRSS");
    }
    // Private resident pages: the whole-process sum, or the per-mapping file
    // on kernels without it.
    QByteArray text = readAll(root + QStringLiteral("/proc/self/smaps_rollup"));
    if (text.isEmpty())
        text = readAll(root + QStringLiteral("/proc/self/smaps"));
    bool found = false;
    quint64 privateBytes = 0;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith("Private_Clean:") && !line.startsWith("Private_Dirty:"))
            continue;
        bool ok = false;
        const quint64 kb = line.mid(line.indexOf(':') + 1).simplified().split(' ').value(0).toULongLong(&ok);
        if (ok) {
            privateBytes += kb * 1024u;
            found = true;
        }
    }
    if (found) {
        out.hasPrivateWorkingSet = true;
        out.privateWorkingSetBytes = privateBytes;
    }
    return out;
}

QString cpuModel(const QString &root)
{
    // x86 names it "model name"; ARM boards "Hardware" or "Model".
    const QByteArray text = readAll(root + QStringLiteral("/proc/cpuinfo"));
    for (const char *key : { "model name", "Hardware", "Model", "cpu model" }) {
        for (const QByteArray &line : text.split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed() == key)
                return QString::fromUtf8(line.mid(colon + 1)).trimmed();
        }
    }
    return QString();
}

QString machineUuid(const QString &root)
{
    // The firmware's UUID is readable by root only on most systems.
    const QString firmware
        = uuidForm(QString::fromLatin1(readAll(root + QStringLiteral("/sys/class/dmi/id/product_uuid"))));
    if (!firmware.isEmpty())
        return firmware;
    return uuidForm(QString::fromLatin1(readAll(root + QStringLiteral("/etc/machine-id"))));
}

QString diskModels(const QString &root)
{
    QStringList models;
    const QDir blocks(root + QStringLiteral("/sys/block"));
    for (const QString &name : blocks.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        // Loop, RAM and compressed-RAM devices have no model: they are not disks.
        const QString model
            = QString::fromUtf8(readAll(blocks.filePath(name) + QStringLiteral("/device/model"))).simplified();
        if (!model.isEmpty())
            models << model;
    }
    return models.join(QLatin1Char(' '));
}

WifiState wifiState(const QString &root)
{
    WifiState state = WifiState::Unknown;
    const QDir net(root + QStringLiteral("/sys/class/net"));
    for (const QString &name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const QString dir = net.filePath(name);
        if (!QFileInfo::exists(dir + QStringLiteral("/wireless"))
            && !QFileInfo::exists(dir + QStringLiteral("/phy80211")))
            continue;
        const QByteArray operstate = readAll(dir + QStringLiteral("/operstate")).trimmed();
        if (operstate == "up")
            state = WifiState::Connected;
        else if (operstate == "down" || operstate == "dormant")
            state = WifiState::Disconnected;
    }
    return state;
}

} // namespace lumira::platform
