#include "platform/MemoryInfo.h"

#include <psapi.h>
#include <windows.h>

namespace lumira::platform
{

bool memoryStatus(MemoryStatus &out)
{
    out = {};
    MEMORYSTATUSEX ms;
    ms.dwLength = sizeof(ms);
    if (!GlobalMemoryStatusEx(&ms))
        return false;
    out.totalPhysBytes = ms.ullTotalPhys;
    out.availPhysBytes = ms.ullAvailPhys;
    return true;
}

quint64 processWorkingSet(qint64 pid)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return 0;
    PROCESS_MEMORY_COUNTERS pmc;
    quint64 bytes = 0;
    if (GetProcessMemoryInfo(h, &pmc, sizeof(pmc)))
        bytes = pmc.WorkingSetSize;
    CloseHandle(h);
    return bytes;
}

} // namespace lumira::platform
