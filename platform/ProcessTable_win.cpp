#include "platform/ProcessTable.h"

#include <process.h>
#include <tlhelp32.h>
#include <windows.h>

namespace lumira::platform
{

QVector<ProcessEntry> processSnapshot()
{
    QVector<ProcessEntry> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof(pe);
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe))
        out.push_back({ static_cast<qint64>(pe.th32ProcessID), QString::fromWCharArray(pe.szExeFile) });
    CloseHandle(snap);
    return out;
}

bool terminateProcess(qint64 pid, unsigned exitCode)
{
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return false;
    const BOOL ok = TerminateProcess(h, exitCode);
    CloseHandle(h);
    return ok != FALSE;
}

qint64 currentProcessId() { return static_cast<qint64>(_getpid()); }

} // namespace lumira::platform
