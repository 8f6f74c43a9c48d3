#pragma once
// An Xvfb of the test's own, for screens the suite's display does not have
// (another DPI, another size). Started before the application object and
// stopped, by its PID, when the program ends.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testenv
{

class PrivateXServer
{
public:
    // `args` after the display, e.g. {"-screen", "0", "2560x1440x24", "-dpi", "144"}.
    explicit PrivateXServer(const QStringList &args)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            std::vector<std::string> words { "Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp" };
            for (const QString &a : args)
                words.push_back(a.toStdString());
            std::vector<char *> argv;
            for (std::string &w : words)
                argv.push_back(w.data());
            argv.push_back(nullptr);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number once it accepts connections.
        QByteArray number;
        char c;
        while (m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        close(fds[0]);
        if (!number.isEmpty())
            m_display = ":" + number;
    }
    ~PrivateXServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    bool ok() const { return !m_display.isEmpty(); }
    QString display() const { return QString::fromLatin1(m_display); }
    // Points this process (and the browser's subprocesses) at the server.
    void use() const { qputenv("DISPLAY", m_display); }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

} // namespace testenv
