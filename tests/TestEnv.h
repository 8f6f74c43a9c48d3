#pragma once
// Per-test-program sandbox: a fresh HOME, XDG dirs and TMPDIR under one
// temporary directory, set before Qt reads any of them.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <string>

namespace testenv
{

inline QString &sandboxRoot()
{
    static QString root;
    return root;
}

inline void enterSandbox(const char *name)
{
    char templ[256];
    std::snprintf(templ, sizeof templ, "/tmp/lumira-%s-XXXXXX", name);
    const char *dir = mkdtemp(templ);
    if (!dir)
        std::abort();
    sandboxRoot() = QString::fromLocal8Bit(dir);
    const std::string root(dir);
    for (const char *sub : { "/home", "/home/.config", "/run", "/tmp" })
        QDir().mkpath(QString::fromStdString(root + sub));
    QFile::setPermissions(
        QString::fromStdString(root + "/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/home/.cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/home/.local/share").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    // Away from the machine's sound server: programs that want one start their own.
    setenv("PULSE_SERVER", ("unix:" + root + "/run/no-sound-server").c_str(), 1);
}

// Spins the event loop until `done` holds or `timeoutMs` passes.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace testenv
