#pragma once
#include <QString>
#include <QVector>

namespace lumira::platform
{

struct ProcessEntry {
    qint64 pid = 0;
    QString exeName; // file name of the executable, no directory
};

// Snapshot of the processes visible to this user.
QVector<ProcessEntry> processSnapshot();

// Terminates the process at once (no clean-up in the target). False when it
// could not be opened or terminated.
bool terminateProcess(qint64 pid, unsigned exitCode);

qint64 currentProcessId();

} // namespace lumira::platform
