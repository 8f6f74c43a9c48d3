#include "platform/ProcessWatch.h"

#include <windows.h>

namespace lumira::platform
{

bool waitForProcessExit(qint64 pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process any more
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    return true;
}

} // namespace lumira::platform
