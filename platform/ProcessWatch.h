#pragma once
#include <QtGlobal>

namespace lumira::platform
{

// Blocks until the process `pid` has ended; returns at once when it is gone
// already. False when the process cannot be watched (no rights).
bool waitForProcessExit(qint64 pid);

} // namespace lumira::platform
