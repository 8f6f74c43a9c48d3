#include "platform/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <signal.h>
#include <unistd.h>

namespace lumira::platform
{
namespace
{

// /proc/<pid>/exe is readable only for our own processes; for the others the
// first word of cmdline is the best name there is. A deleted executable (after
// an upgrade) is reported by the kernel with " (deleted)" appended.
QString exeNameOf(const QString &pidDir)
{
    const QString target = QFile::symLinkTarget(pidDir + QStringLiteral("/exe"));
    if (!target.isEmpty()) {
        QString name = QFileInfo(target).fileName();
        name.remove(QStringLiteral(" (deleted)"));
        return name;
    }
    QFile cmdline(pidDir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray raw = cmdline.read(4096);
        const QByteArray argv0 = raw.left(raw.indexOf('\0'));
        if (!argv0.isEmpty())
            return QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
    }
    QFile comm(pidDir + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll()).trimmed();
    return {};
}

} // namespace

QVector<ProcessEntry> processSnapshot()
{
    QVector<ProcessEntry> out;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        const QString name = exeNameOf(QStringLiteral("/proc/") + entry);
        if (!name.isEmpty())
            out.push_back({ pid, name });
    }
    return out;
}

bool terminateProcess(qint64 pid, unsigned /*exitCode*/)
{
    // SIGKILL is the counterpart of TerminateProcess: immediate, not catchable.
    return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

qint64 currentProcessId() { return static_cast<qint64>(::getpid()); }

} // namespace lumira::platform
