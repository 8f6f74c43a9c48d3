#include "net/HttpMsg.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSslConfiguration>
#include <QTextCodec>

HttpMsg *HttpMsg::instance()
{
    static HttpMsg *self = new HttpMsg(DirHelper::instance()->configPath() + QStringLiteral("/config.ini"));
    return self;
}

HttpMsg::HttpMsg(const QString &iniPath, QStringList hosts, QObject *parent)
    : QObject(parent)
    , m_hosts(hosts.size() == 3
              ? hosts
              : QStringList { QString::fromLatin1(lumira::build::kApiHost),
                  QString::fromLatin1(lumira::build::kApiAltHost), QString::fromLatin1(lumira::build::kApiTestHost) })
{
    QSettings ini(iniPath, QSettings::IniFormat);
    debugMode = ini.value(QStringLiteral("Browser/MainDebugUrlSwitch"), false).toBool();
    switchHost(debugMode ? 2 : 0);
}

void HttpMsg::switchHost(int selector)
{
    switch (selector) {
    case 0:
        m_baseUrl = QStringLiteral("https://") + m_hosts[0] + QLatin1Char('/');
        m_useHttps = true;
        break;
    case 1:
        m_baseUrl = QStringLiteral("https://") + m_hosts[1] + QLatin1Char('/');
        m_useHttps = true;
        break;
    case 2:
        m_baseUrl = QStringLiteral("http://") + m_hosts[2] + QLatin1Char('/');
        m_useHttps = false;
        break;
    default:
        break;
    }
}

QString HttpMsg::get(QString path, QString base) { return send(Verb::Get, path, QByteArray(), base); }

QString HttpMsg::post(QString path, QByteArray body, QString base) { return send(Verb::Post, path, body, base); }

QString HttpMsg::send(Verb verb, const QString &path, const QByteArray &body, const QString &base)
{
    // Read once: a nested call may switch the host while this one waits.
    const QString url = base.isEmpty() ? m_baseUrl + path : base + path;
    const bool relaxTls = base.isEmpty() ? m_useHttps : base.contains(QStringLiteral("https"));

    QNetworkAccessManager manager;
    QNetworkRequest request { QUrl(url) };
    if (relaxTls) {
        QSslConfiguration ssl = request.sslConfiguration();
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        ssl.setProtocol(QSsl::TlsV1SslV3);
        QT_WARNING_POP
        request.setSslConfiguration(ssl);
    }
    QNetworkReply *reply = nullptr;
    if (verb == Verb::Post) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        reply = manager.post(request, body);
    } else {
        reply = manager.get(request);
    }
    QEventLoop loop;
    connect(reply, SIGNAL(finished()), &loop, SLOT(quit()));
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QString text = QTextCodec::codecForName("utf8")->toUnicode(reply->readAll());
    reply->deleteLater();
    return text;
}
