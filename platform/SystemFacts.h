#pragma once
#include <QString>
#include <QtGlobal>

// Facts about the computer for the system report. The Linux implementations
// read them under `root` ("/" on a real machine; tests give a tree of their
// own); Windows asks the system and ignores it. Whatever cannot be read comes
// back empty or marked absent, never as an error.
namespace lumira::platform
{

struct HostMemory {
    bool ok = false;
    quint64 totalBytes = 0;
    quint64 availableBytes = 0;
};
HostMemory hostMemory(const QString &root = QStringLiteral("/"));

// This process: its working set and the part of it no other process shares.
struct ProcessMemory {
    bool hasWorkingSet = false;
    quint64 workingSetBytes = 0;
    bool hasPrivateWorkingSet = false;
    quint64 privateWorkingSetBytes = 0;
};
ProcessMemory processMemory(const QString &root = QStringLiteral("/"));

QString cpuModel(const QString &root = QStringLiteral("/"));

// The machine's UUID as the firmware reports it (upper case, with dashes);
// without one, the system's installation id in the same form.
QString machineUuid(const QString &root = QStringLiteral("/"));

// Models of the disks, separated by spaces.
QString diskModels(const QString &root = QStringLiteral("/"));

// Over all wireless interfaces in order: connected sets Connected,
// disconnected sets Disconnected, other states change nothing.
enum class WifiState { Unknown, Connected, Disconnected };
WifiState wifiState(const QString &root = QStringLiteral("/"));

} // namespace lumira::platform
