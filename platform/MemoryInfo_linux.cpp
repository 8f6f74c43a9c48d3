#include "platform/MemoryInfo.h"

#include "platform/ProcFields_linux.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>

namespace lumira::platform
{
namespace
{

// /proc files report size 0, so atEnd() is no guide: read it all.
QHash<QByteArray, quint64> readKbFields(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? procKbFields(f.readAll()) : QHash<QByteArray, quint64>();
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
