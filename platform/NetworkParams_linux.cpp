#include "platform/NetworkParams.h"

#include <QFile>

namespace lumira::platform
{

DnsServers dnsServers(const QString &root)
{
    DnsServers out;
    QFile file(root + QStringLiteral("/etc/resolv.conf"));
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("cannot read ") + file.fileName();
        return out;
    }
    out.servers = dnsFromResolvConf(file.readAll());
    out.ok = true;
    return out;
}

QString defaultGateway(const QString &, const QString &root)
{
    QFile file(root + QStringLiteral("/proc/net/route"));
    // /proc files report size 0: read to the end.
    return file.open(QIODevice::ReadOnly) ? gatewayFromRouteTable(file.readAll()) : QString();
}

} // namespace lumira::platform
