#include "platform/MemoryInfo.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace lumira::platform
{
namespace
{

// Value of a "Key:   123 kB" line of a /proc file, in bytes.
bool readKbField(const QString &path, const QByteArray &key, quint64 &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // /proc files report size 0, so atEnd() is no guide: read it all.
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith(key))
            continue;
        const QList<QByteArray> parts = line.mid(key.size()).simplified().split(' ');
        bool ok = false;
        const quint64 kb = parts.value(0).toULongLong(&ok);
        if (!ok)
            return false;
        bytes = kb * 1024u;
        return true;
    }
    return false;
}

} // namespace

bool memoryStatus(MemoryStatus &out)
{
    out = {};
    quint64 total = 0, avail = 0;
    if (!readKbField(QStringLiteral("/proc/meminfo"), "MemTotal:", total))
        return false;
    // Kernels before 3.14 have no MemAvailable; free memory understates but is safe.
    if (!readKbField(QStringLiteral("/proc/meminfo"), "MemAvailable:", avail)
        && !readKbField(QStringLiteral("/proc/meminfo"), "MemFree:", avail))
        return false;
    out.totalPhysBytes = total;
    out.availPhysBytes = avail;
    return true;
}

quint64 processWorkingSet(qint64 pid)
{
    quint64 bytes = 0;
    readKbField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:", bytes);
    return bytes;
}

} // namespace lumira::platform
