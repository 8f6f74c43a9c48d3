#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lumira::platform
{

struct DnsServers {
    bool ok = false;
    QStringList servers; // in the system's order
    QString error; // why there is no list
};

// Windows: GetNetworkParams. Elsewhere: the resolver configuration under
// `root` ("/" on a real machine; tests give a tree of their own).
DnsServers dnsServers(const QString &root = QStringLiteral("/"));

// The default gateway's address, empty when there is none. Windows: the first
// hop of "tracert -h 1 tracertHost". Elsewhere: the default route under `root`.
QString defaultGateway(const QString &tracertHost, const QString &root = QStringLiteral("/"));

// Pure parts, on every system.
QStringList dnsFromResolvConf(const QByteArray &text);
QString gatewayFromTracert(const QString &output);
QString gatewayFromRouteTable(const QByteArray &table);

} // namespace lumira::platform
