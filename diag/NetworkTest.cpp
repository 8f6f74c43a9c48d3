#include "diag/NetworkTest.h"

#include "BuildConfig.h"
#include "app/TSpdlog.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

using lumira::platform::PingResult;

namespace
{

TSpdlog *statusLog() { return TSpdlog::instance(QStringLiteral("systemStatus")); }

// Console pings only ever get a dotted IPv4 address: nothing a tracert line
// or a configuration could smuggle into a command line.
bool isPingable(const QString &target)
{
    QHostAddress address;
    return QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(target).hasMatch()
        && address.setAddress(target) && address.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

NetworkProbes NetworkProbes::fromBuild()
{
    using namespace lumira;
    NetworkProbes probes;
    probes.pingUrl = QUrl(QString::fromLatin1(build::kPingUrl));
    probes.ping = [](const QString &target) { return platform::consolePing(target); };
    probes.parsePing = [](const QString &output) { return platform::parsePing(output); };
    const QString gateway = QString::fromLatin1(build::kNetGateway);
    const QString tracertHost = QString::fromLatin1(build::kTracertHost);
    if (!gateway.isEmpty())
        probes.findGateway = [gateway]() { return gateway; };
    else
        probes.findGateway = [tracertHost]() { return platform::defaultGateway(tracertHost); };
    const QStringList dns = QString::fromLatin1(build::kNetDns).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (!dns.isEmpty())
        probes.dnsServers = [dns]() { return platform::DnsServers { true, dns, QString() }; };
    else
        probes.dnsServers = []() { return platform::dnsServers(); };
    return probes;
}

NetworkTest::NetworkTest(NetworkProbes probes, QObject *parent)
    : QObject(parent)
    , m_probes(std::move(probes))
    , m_manager(new QNetworkAccessManager(this))
    , m_pingTimer(new QTimer(this))
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &NetworkTest::onHttpReply);
    connect(m_pingTimer, &QTimer::timeout, this, &NetworkTest::onPing);
}

void NetworkTest::startPing() { m_pingTimer->start(kIntervalMs); }

void NetworkTest::stopPing() { m_pingTimer->stop(); }

void NetworkTest::onPing()
{
    onHttpPing();
    onGatewayPing();
    onDNSPing();
}

void NetworkTest::onHttpPing()
{
    // The wait below runs this thread's events: a tick arriving meanwhile
    // must not start a second ping inside the first.
    if (m_httpBusy)
        return;
    m_httpBusy = true;
    QNetworkRequest request(m_probes.pingUrl);
    // A server that never answers would hold the worker for good; give up
    // before the next tick and count it as a failed ping.
    request.setTransferTimeout(kIntervalMs * 2 / 3);
    QEventLoop loop;
    connect(m_manager, &QNetworkAccessManager::finished, &loop, &QEventLoop::quit);
    m_manager->get(request);
    m_pingClock.start();
    loop.exec();
    m_httpBusy = false;
}

void NetworkTest::onHttpReply(QNetworkReply *reply)
{
    reply->deleteLater();
    const QString head = m_probes.pingUrl.toString() + QLatin1Char(' ');
    // Each line is written before its figure is announced: whoever reads the
    // figure on another thread finds the line already in the log.
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        const int ms = int(m_pingClock.elapsed());
        statusLog()->otherInfo(head + QStringLiteral("httping:") + QString::number(ms) + QStringLiteral("ms"));
        emit callback_gethttping(ms);
    }
    if (reply->error() != QNetworkReply::NoError) {
        statusLog()->otherError(head + QStringLiteral("httpingFailed:") + reply->errorString());
        emit callback_gethttping(kHttpFailureMs);
    }
}

PingResult NetworkTest::consolePing(const QString &target, const QString &label)
{
    PingResult result;
    const QString head = target + label;
    if (!isPingable(target)) {
        statusLog()->otherError(head + QStringLiteral(" not an IPv4 address, not pinged"));
        return result;
    }
    const lumira::platform::ConsoleOutput out = m_probes.ping(target);
    if (!out.started) {
        statusLog()->otherError(head + QStringLiteral(" ping did not run"));
        return result;
    }
    result = m_probes.parsePing(out.text);
    if (result.kind == PingResult::Unreadable)
        statusLog()->otherError(head + QStringLiteral(" unreadable ping output: ")
            + TSpdlog::escapeControls(out.text.simplified().left(120)));
    return result;
}

void NetworkTest::onGatewayPing()
{
    if (m_gateway.isEmpty()) {
        m_gateway = m_probes.findGateway();
        if (m_gateway.isEmpty()) {
            statusLog()->otherError(QStringLiteral("无可用网关"));
            return;
        }
    }
    const QString label = QStringLiteral(" gatewayPing:");
    const PingResult result = consolePing(m_gateway, label);
    if (result.kind == PingResult::Lost) {
        const QString text = m_gateway + label + QStringLiteral(" Falied");
        if (++m_gatewayFailCount >= kGatewayFailLimit) {
            // The next cycle looks for the gateway again: it may have changed.
            m_gatewayFailCount = 0;
            m_gateway.clear();
        }
        statusLog()->otherError(text);
    } else if (result.kind == PingResult::Replied) {
        m_gatewayFailCount = 0; // failures count in a row
        if (result.averageMs > kLogAboveMs)
            statusLog()->otherInfo(m_gateway + label + QString::number(result.averageMs) + QStringLiteral("ms"));
    }
}

void NetworkTest::findDnsServers()
{
    const lumira::platform::DnsServers found = m_probes.dnsServers();
    if (!found.ok) {
        statusLog()->otherError(found.error);
        return;
    }
    // Replaced, not appended: a cleared address is looked up every cycle.
    m_dnsAddress = found.servers.value(0);
    m_dnsServers = found.servers.mid(1);
    emit callback_getDNS(QStringList { m_dnsAddress } + m_dnsServers);
    if (!m_dnsAddress.isEmpty()
        && !QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(m_dnsAddress).hasMatch()) {
        statusLog()->otherError(QStringLiteral("DNS地址非IPV4：") + m_dnsAddress);
        m_dnsAddress.clear();
    }
}

void NetworkTest::onDNSPing()
{
    if (m_dnsAddress.isEmpty())
        findDnsServers();
    if (m_dnsAddress.isEmpty())
        return;
    const QString label = QStringLiteral(" DNSPing:");
    const PingResult result = consolePing(m_dnsAddress, label);
    if (result.kind == PingResult::Lost)
        statusLog()->otherError(m_dnsAddress + label + QStringLiteral(" Failed"));
    else if (result.kind == PingResult::Replied && result.averageMs > kLogAboveMs)
        statusLog()->otherInfo(m_dnsAddress + label + QString::number(result.averageMs) + QStringLiteral("ms"));
}
