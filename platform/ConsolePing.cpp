#include "platform/ConsolePing.h"

#include <QProcess>
#include <QRegularExpression>

namespace lumira::platform
{

ConsoleOutput runConsole(const QString &program, const QStringList &arguments, int waitMs)
{
    ConsoleOutput out;
    QProcess process;
    // Summaries are parsed in English; the console's language must not matter.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(env);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(waitMs))
        return out;
    out.started = true;
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(1000);
    }
    out.text = QString::fromLocal8Bit(process.readAllStandardOutput());
    return out;
}

PingResult parseWindowsPing(const QString &output)
{
    // "Packets: Sent = 1, Received = 1, Lost = 0 (0% loss)" and
    // "Average = 8ms", read with all white space removed.
    const QString text = output.simplified().remove(QRegularExpression(QStringLiteral("\\s")));
    PingResult result;
    const QRegularExpressionMatch lost = QRegularExpression(QStringLiteral("(Lost=)(.)")).match(text);
    bool ok = false;
    result.lost = lost.captured(2).toInt(&ok);
    if (!lost.hasMatch() || !ok)
        return result;
    if (result.lost != 0) {
        result.kind = PingResult::Lost;
        return result;
    }
    const QRegularExpressionMatch average = QRegularExpression(QStringLiteral("(Average=)(.*)(ms)")).match(text);
    result.averageMs = average.captured(2).toInt(&ok);
    if (!average.hasMatch() || !ok)
        return result;
    result.kind = PingResult::Replied;
    return result;
}

PingResult parseLinuxPing(const QString &output)
{
    // "1 packets transmitted, 1 received, 0% packet loss, time 0ms" and
    // "rtt min/avg/max/mdev = 0.045/0.052/0.060/0.007 ms"
    PingResult result;
    const QRegularExpressionMatch counts
        = QRegularExpression(QStringLiteral("(\\d+) packets transmitted, (\\d+) (packets )?received")).match(output);
    if (!counts.hasMatch())
        return result;
    result.lost = counts.captured(1).toInt() - counts.captured(2).toInt();
    if (result.lost != 0) {
        result.kind = PingResult::Lost;
        return result;
    }
    const QRegularExpressionMatch rtt
        = QRegularExpression(QStringLiteral("= [0-9.]+/([0-9.]+)/[0-9.]+(/[0-9.]+)? ms")).match(output);
    bool ok = false;
    const double average = rtt.captured(1).toDouble(&ok);
    if (!rtt.hasMatch() || !ok)
        return result;
    // Whole milliseconds, cut as the Windows console prints them.
    result.averageMs = int(average);
    result.kind = PingResult::Replied;
    return result;
}

PingResult parsePing(const QString &output)
{
#ifdef Q_OS_WIN
    return parseWindowsPing(output);
#else
    return parseLinuxPing(output);
#endif
}

ConsoleOutput consolePing(const QString &target)
{
#ifdef Q_OS_WIN
    return runConsole(QStringLiteral("cmd"),
        { QStringLiteral("/c"), QStringLiteral("chcp"), QStringLiteral("437"), QStringLiteral("&&"),
            QStringLiteral("ping"), target, QStringLiteral("-n"), QStringLiteral("1") });
#else
    return runConsole(QStringLiteral("ping"),
        { QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"), target });
#endif
}

} // namespace lumira::platform
