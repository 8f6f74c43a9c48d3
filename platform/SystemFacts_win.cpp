#include "platform/SystemFacts.h"

#include "platform/ConsolePing.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include <psapi.h>
#include <windows.h>
#include <wlanapi.h>

#include <vector>

namespace lumira::platform
{
namespace
{

QString wmic(const QString &query)
{
    // The output is taken as UTF-8 text.
    QProcess process;
    process.start(QStringLiteral("cmd"), { QStringLiteral("/c"), query });
    process.waitForReadyRead(30000);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}

} // namespace

HostMemory hostMemory(const QString &)
{
    HostMemory out;
    MEMORYSTATUSEX ms;
    ms.dwLength = sizeof(ms);
    if (!GlobalMemoryStatusEx(&ms))
        return out;
    out.ok = true;
    out.totalBytes = ms.ullTotalPhys;
    out.availableBytes = ms.ullAvailPhys;
    return out;
}

ProcessMemory processMemory(const QString &)
{
    ProcessMemory out;
    // Access mask 1040: query information and read memory of our own process.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    if (!process)
        return out;
    PROCESS_MEMORY_COUNTERS counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
        out.hasWorkingSet = true;
        out.workingSetBytes = counters.WorkingSetSize;
    }
    PERFORMANCE_INFORMATION performance;
    if (GetPerformanceInfo(&performance, sizeof(performance))) {
        // The entries of the working set whose shared bit (0x100) is clear.
        std::vector<ULONG_PTR> buffer(2, 0);
        BOOL ok = QueryWorkingSet(process, buffer.data(), DWORD(buffer.size() * sizeof(ULONG_PTR)));
        if (!ok && GetLastError() == ERROR_BAD_LENGTH) {
            buffer.assign(buffer[0] + 1 + 1, 0);
            ok = QueryWorkingSet(process, buffer.data(), DWORD(buffer.size() * sizeof(ULONG_PTR)));
        }
        quint64 privatePages = 0;
        if (ok) {
            const ULONG_PTR entries = buffer[0];
            for (ULONG_PTR i = 1; i <= entries && i < buffer.size(); ++i)
                privatePages += (buffer[i] & 0x100) ? 0 : 1;
        }
        out.hasPrivateWorkingSet = true;
        out.privateWorkingSetBytes = privatePages * performance.PageSize;
    }
    CloseHandle(process);
    return out;
}

QString cpuModel(const QString &)
{
    QSettings cpu(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0"),
        QSettings::NativeFormat);
    return cpu.value(QStringLiteral("ProcessorNameString")).toString();
}

QString machineUuid(const QString &)
{
    return wmic(QStringLiteral("wmic csproduct get UUID"))
        .remove(QRegularExpression(QStringLiteral("\\s")))
        .remove(QStringLiteral("UUID"));
}

QString diskModels(const QString &)
{
    return wmic(QStringLiteral("wmic diskdrive get Model")).remove(QStringLiteral("Model "));
}

WifiState wifiState(const QString &)
{
    WifiState state = WifiState::Unknown;
    HANDLE client = nullptr;
    DWORD version = 0;
    if (WlanOpenHandle(2, nullptr, &version, &client) != ERROR_SUCCESS)
        return state;
    WLAN_INTERFACE_INFO_LIST *list = nullptr;
    if (WlanEnumInterfaces(client, nullptr, &list) == ERROR_SUCCESS && list) {
        for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
            const WLAN_INTERFACE_STATE s = list->InterfaceInfo[i].isState;
            if (s == wlan_interface_state_connected)
                state = WifiState::Connected;
            else if (s == wlan_interface_state_disconnected)
                state = WifiState::Disconnected;
        }
        WlanFreeMemory(list);
    }
    WlanCloseHandle(client, nullptr);
    return state;
}

} // namespace lumira::platform
