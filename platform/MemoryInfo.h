#pragma once
#include <QtGlobal>

namespace lumira::platform
{

struct MemoryStatus {
    quint64 totalPhysBytes = 0;
    quint64 availPhysBytes = 0;
};

// False when the figures are not available; the status is then all zero.
bool memoryStatus(MemoryStatus &out);

// Resident set (working set) of a process in bytes; 0 when unknown.
quint64 processWorkingSet(qint64 pid);

} // namespace lumira::platform
