#pragma once

#include "platform/ConsolePing.h"
#include "platform/NetworkParams.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// What the network test measures and how it reaches the system; tests give
// their own console and lists.
struct NetworkProbes {
    QUrl pingUrl;
    // One console ping of an address, as printed.
    std::function<lumira::platform::ConsoleOutput(const QString &target)> ping;
    std::function<lumira::platform::PingResult(const QString &output)> parsePing;
    std::function<QString()> findGateway;
    std::function<lumira::platform::DnsServers()> dnsServers;
    // The deployment's targets: fixed addresses, or the system's when empty.
    static NetworkProbes fromBuild();
};

// The worker of the network test, on the controller's thread: every 30 s the
// service's HTTP ping, a console ping of the gateway and one of the first DNS
// server, written to the "systemStatus" log.
class NetworkTest : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 30000;
    static constexpr int kHttpFailureMs = 10000;
    static constexpr int kGatewayFailLimit = 5;
    static constexpr int kLogAboveMs = 10;

    explicit NetworkTest(NetworkProbes probes, QObject *parent = nullptr);

    QString gateway() const { return m_gateway; }
    int gatewayFailCount() const { return m_gatewayFailCount; }

public slots:
    void startPing();
    void stopPing();

signals:
    void callback_getDNS(QStringList dns);
    void callback_gethttping(int ms);

private slots:
    void onPing();
    void onHttpPing();
    void onGatewayPing();
    void onDNSPing();

private:
    void onHttpReply(QNetworkReply *reply);
    void findDnsServers();
    // The parsed ping of `target`, logged as the label says; true when it replied.
    lumira::platform::PingResult consolePing(const QString &target, const QString &label);

    NetworkProbes m_probes;
    QNetworkAccessManager *m_manager = nullptr;
    QTimer *m_pingTimer = nullptr;
    QElapsedTimer m_pingClock;
    bool m_httpBusy = false;
    QString m_gateway;
    int m_gatewayFailCount = 0;
    QString m_dnsAddress;
    QStringList m_dnsServers;
};
