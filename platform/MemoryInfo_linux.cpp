#include "platform/MemoryInfo.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>

namespace lumira::platform
{
namespace
{

// The "Key:   123 kB" fields of a /proc file, in bytes, read in one pass.
QHash<QByteArray, quint64> readKbFields(const QString &path)
{
    QHash<QByteArray, quint64> fields;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fields;
    // /proc files report size 0, so atEnd() is no guide: read it all.
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        bool ok = false;
        const quint64 kb = line.mid(colon + 1).simplified().split(' ').value(0).toULongLong(&ok);
        if (ok)
            fields.insert(line.left(colon), kb * 1024u);
    }
    return fields;
}

} // namespace

bool memoryStatus(MemoryStatus &out)
{
    out = {};
    const QHash<QByteArray, quint64> info = readKbFields(QStringLiteral("/proc/meminfo"));
    // Kernels before 3.14 have no MemAvailable; free memory understates but is safe.
    const char *availKey = info.contains("MemAvailable") ? "MemAvailable" : "MemFree";
    if (!info.contains("MemTotal") || !info.contains(availKey))
        return false;
    out.totalPhysBytes = info.value("MemTotal");
    out.availPhysBytes = info.value(availKey);
    return true;
}

quint64 processWorkingSet(qint64 pid)
{
    return readKbFields(QStringLiteral("/proc/%1/status").arg(pid)).value("VmRSS", 0);
}

} // namespace lumira::platform
