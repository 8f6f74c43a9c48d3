#pragma once
// Shared by the diagnostics tests: the "systemStatus" lines, files of a fake
// system tree, and the development service with its network time port.
#include "BrowserHarness.h"
#include "GTestMain.h"
#include "TestEnv.h"

#include "app/TSpdlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUdpSocket>

namespace diagtest
{

// Lines of the "systemStatus" log (the fallback file) and of the program's log.
inline QStringList statusLines()
{
    TSpdlog::flushAll();
    QFile file(TSpdlog::fallbackFilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))
                                          : QStringList();
}

inline QStringList programLines() { return testenv::logText().split(QStringLiteral("\r\n")); }

// A line at `level` ("info", "error") whose text is exactly `text`.
inline bool hasLine(const QStringList &lines, const QString &level, const QString &text)
{
    for (const QString &line : lines)
        if (line.contains(QLatin1Char('[') + level + QStringLiteral("] : ")) && line.endsWith(QLatin1Char(' ') + text))
            return true;
    return false;
}

inline int linesContaining(const QStringList &lines, const QString &part)
{
    int n = 0;
    for (const QString &line : lines)
        n += line.contains(part);
    return n;
}

inline void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
}

// A UDP port nobody has bound now.
inline int freeUdpPort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return socket.localPort();
}

// A POST to the development service's switches.
inline QByteArray post(const QString &url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request { QUrl(url) };
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
    QNetworkReply *reply = manager.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

// The development service with its network time server on a port of its own.
struct TimeService : harness::DevService {
    TimeService() { sntpPort = freeUdpPort(); }
    void answer(int offsetSeconds, const QString &kind = QStringLiteral("normal"))
    {
        post(baseUrl() + QStringLiteral("/dev/sntp?offset=%1&answer=%2").arg(offsetSeconds).arg(kind));
    }
};

} // namespace diagtest
