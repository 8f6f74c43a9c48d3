#pragma once
#include <QString>
#include <QStringList>

namespace lumira::platform
{

// What a console program printed; `started` is false when it could not be run.
struct ConsoleOutput {
    bool started = false;
    QString text; // standard output, decoded with the local 8-bit code page
};

// Runs a console program, waiting up to `waitMs` for it to start and as long
// again for it to finish; a program still running then is killed.
ConsoleOutput runConsole(const QString &program, const QStringList &arguments, int waitMs = 30000);

// One ping of `target` with this system's console ping, in English:
// Windows "cmd /c chcp 437 && ping target -n 1", elsewhere "ping -c 1 -W 1".
ConsoleOutput consolePing(const QString &target);

struct PingResult {
    enum Kind { Unreadable, Lost, Replied };
    Kind kind = Unreadable;
    int lost = 0;
    int averageMs = 0;
};

// Parsers of the two consoles' summaries; both exist on every system so that
// each can be checked against recorded outputs. Text in another language, or
// no summary at all, is Unreadable.
PingResult parseWindowsPing(const QString &output);
PingResult parseLinuxPing(const QString &output);
// The parser of this system's console.
PingResult parsePing(const QString &output);

} // namespace lumira::platform
