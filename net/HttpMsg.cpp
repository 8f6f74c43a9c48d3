#include "net/HttpMsg.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTextCodec>
#include <QThread>

#include <future>

// Certificates are checked on every HTTPS request. The client once skipped
// the check so that any server certificate would do; but the report and update
// calls go over home and school networks, where whoever answers first could
// then pose as the service, take the recordings' addresses and answer update
// checks. The development deployment trusts its local service's certificate
// as one extra root instead; a deployment that truly needs the old behaviour
// has to ask for it (HttpTls::relaxed) and gets a warning in the log.

HttpTls HttpTls::fromBuild()
{
    HttpTls tls;
    tls.extraCaFile = QString::fromUtf8(lumira::build::kExtraCaFile);
    tls.relaxed = lumira::build::kTlsRelaxed;
    return tls;
}

HttpCall::HttpCall(QNetworkReply *reply, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
{
    // A total deadline rather than QNetworkRequest's transfer time-out: a
    // server that trickles a byte now and then must not hold us either.
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_answer.timedOut = true;
        if (m_reply)
            m_reply->abort(); // finished() follows, inside abort()
    });
    connect(reply, &QNetworkReply::finished, this, &HttpCall::finish);
    if (reply->isFinished()) {
        // Answered before we could listen: report on the next turn of the
        // loop, so that the caller has connected done() by then.
        QTimer::singleShot(0, this, &HttpCall::finish);
    } else {
        m_deadline.start(timeoutMs);
    }
}

HttpCall::~HttpCall() { abortQuietly(); }

void HttpCall::wait()
{
    if (m_done)
        return;
    QEventLoop loop;
    connect(this, &HttpCall::done, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void HttpCall::cancel()
{
    abortQuietly();
    if (m_autoDelete)
        deleteLater();
}

void HttpCall::abortQuietly()
{
    m_deadline.stop();
    m_done = true; // no done() from here on
    if (!m_reply)
        return;
    disconnect(m_reply, nullptr, this, nullptr);
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->abort();
    reply->deleteLater();
}

void HttpCall::finish()
{
    if (m_done || !m_reply)
        return;
    m_done = true;
    m_deadline.stop();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    m_answer.body = QTextCodec::codecForName("utf8")->toUnicode(reply->readAll());
    m_answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_answer.ok = !m_answer.timedOut && reply->error() == QNetworkReply::NoError;
    const QString url = reply->url().toString(QUrl::RemoveQuery);
    if (m_answer.timedOut) {
        m_answer.error = QStringLiteral("timed out");
        TSpdlog::instance()->netWarn(QStringLiteral("HTTP: no answer in time from ") + url);
    } else if (!m_answer.ok) {
        m_answer.error = reply->errorString();
        TSpdlog::instance()->netWarn(
            QStringLiteral("HTTP: request to ") + url + QStringLiteral(" failed: ") + m_answer.error);
    }
    reply->deleteLater();
    emit done();
    if (m_autoDelete)
        deleteLater();
}

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
    setTls(HttpTls::fromBuild());
}

namespace
{
std::future<QList<QSslCertificate>> &prefetchedRoots()
{
    static std::future<QList<QSslCertificate>> roots;
    return roots;
}

QList<QSslCertificate> systemRoots()
{
    std::future<QList<QSslCertificate>> &prefetched = prefetchedRoots();
    return prefetched.valid() ? prefetched.get() : QSslConfiguration::systemCaCertificates();
}
} // namespace

void HttpMsg::prefetchSystemRoots()
{
    if (!prefetchedRoots().valid())
        prefetchedRoots() = std::async(std::launch::async, [] { return QSslConfiguration::systemCaCertificates(); });
}

void HttpMsg::setTls(const HttpTls &tls)
{
    TSpdlog *log = TSpdlog::instance();
    m_ssl = QSslConfiguration::defaultConfiguration();
    if (tls.relaxed) {
        m_ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        m_ssl.setProtocol(QSsl::TlsV1SslV3);
        QT_WARNING_POP
        log->netWarn(QStringLiteral("HTTP: certificate checks are OFF (relaxed TLS): anybody on the network can pose "
                                    "as the service"));
        return;
    }
    if (tls.extraCaFile.isEmpty())
        return;
    QList<QSslCertificate> extra;
    QFile file(tls.extraCaFile);
    if (file.open(QIODevice::ReadOnly))
        extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (extra.isEmpty()) {
        log->netError(
            QStringLiteral("HTTP: extra root certificate file missing or unreadable, not trusted: ") + tls.extraCaFile);
        return;
    }
    // Setting any CA list turns off the system roots Qt would load on
    // demand, so they are named here in full, with ours beside them.
    m_ssl.setCaCertificates(systemRoots() + extra);
    log->netInfo(QStringLiteral("HTTP: trusting the extra root certificate ") + tls.extraCaFile);
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

HttpCall *HttpMsg::postAsync(const QString &path, const QByteArray &body, int timeoutMs, const QString &base)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    auto *call = new HttpCall(start(*m_manager, Verb::Post, path, body, base), timeoutMs, this);
    call->setAutoDelete(true);
    return call;
}

HttpCall *HttpMsg::getAsync(const QString &path, int timeoutMs, const QString &base)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    auto *call = new HttpCall(start(*m_manager, Verb::Get, path, QByteArray(), base), timeoutMs, this);
    call->setAutoDelete(true);
    return call;
}

QNetworkReply *HttpMsg::start(
    QNetworkAccessManager &manager, Verb verb, const QString &path, const QByteArray &body, const QString &base)
{
    // Read once: a nested call may switch the host while this one waits.
    const QString url = base.isEmpty() ? m_baseUrl + path : base + path;
    const bool tls = base.isEmpty() ? m_useHttps : base.contains(QStringLiteral("https"));

    QNetworkRequest request { QUrl(url) };
    if (tls)
        request.setSslConfiguration(m_ssl);
    if (verb == Verb::Post) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        return manager.post(request, body);
    }
    return manager.get(request);
}

QString HttpMsg::send(Verb verb, const QString &path, const QByteArray &body, const QString &base)
{
    QNetworkAccessManager manager; // outlives the call: declared first
    HttpCall call(start(manager, verb, path, body, base), m_timeoutMs);
    call.wait();
    return call.answer().body;
}
