#pragma once
// A private PulseAudio server for a test program (tools/sound/devsound.pa):
// Qt Multimedia then lists real devices. Stopped by PID when it goes.
#include <QDir>
#include <QProcess>
#include <QString>
#include <QThread>

#include <csignal>
#include <cstdlib>

namespace testenv
{

class SoundServer
{
public:
    // Starts the server under `runtimeDir`; false (and no server) on failure.
    bool start(const QString &runtimeDir)
    {
        QProcess script;
        script.start(
            QStringLiteral("sh"), { QStringLiteral(LUMIRA_SOURCE_DIR "/tools/sound/start-devsound.sh"), runtimeDir });
        if (!script.waitForFinished(15000) || script.exitCode() != 0)
            return false;
        m_pid = script.readAllStandardOutput().trimmed().toLongLong();
        if (m_pid <= 0)
            return false;
        qputenv("PULSE_SERVER", "unix:" + QDir(runtimeDir).filePath(QStringLiteral("pulse/native")).toLocal8Bit());
        return true;
    }

    ~SoundServer()
    {
        if (m_pid <= 0)
            return;
        ::kill(pid_t(m_pid), SIGTERM);
        for (int i = 0; i < 100 && ::kill(pid_t(m_pid), 0) == 0; ++i)
            QThread::msleep(20);
    }

private:
    qint64 m_pid = 0;
};

} // namespace testenv
