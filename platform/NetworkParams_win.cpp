#include "platform/NetworkParams.h"

#include "platform/ConsolePing.h"

#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>

#include <vector>

namespace lumira::platform
{

DnsServers dnsServers(const QString &)
{
    DnsServers out;
    ULONG size = sizeof(FIXED_INFO); // 584 bytes
    std::vector<char> buffer(size);
    DWORD rc = GetNetworkParams(reinterpret_cast<FIXED_INFO *>(buffer.data()), &size);
    if (rc == ERROR_BUFFER_OVERFLOW) {
        try {
            buffer.resize(size);
        } catch (...) {
            out.error = QStringLiteral("Error allocating memory needed to call GetNetworkParams");
            return out;
        }
        rc = GetNetworkParams(reinterpret_cast<FIXED_INFO *>(buffer.data()), &size);
    }
    if (rc != ERROR_SUCCESS) {
        out.error = QStringLiteral("GetNetworkParams failed with error ") + QString::number(rc);
        return out;
    }
    const auto *info = reinterpret_cast<const FIXED_INFO *>(buffer.data());
    for (const IP_ADDR_STRING *entry = &info->DnsServerList; entry; entry = entry->Next) {
        const QString address = QString::fromLatin1(entry->IpAddress.String);
        if (!address.isEmpty())
            out.servers << address;
    }
    out.ok = true;
    return out;
}

QString defaultGateway(const QString &tracertHost, const QString &)
{
    const ConsoleOutput out
        = runConsole(QStringLiteral("cmd"), { QStringLiteral("/c"), QStringLiteral("tracert -h 1 ") + tracertHost });
    return gatewayFromTracert(out.text);
}

} // namespace lumira::platform
