#include "platform/NetworkParams.h"

#include <QHostAddress>
#include <QList>
#include <QRegularExpression>

namespace lumira::platform
{

QStringList dnsFromResolvConf(const QByteArray &text)
{
    QStringList servers;
    for (const QByteArray &raw : text.split('\n')) {
        const QList<QByteArray> words = raw.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "nameserver" && !QHostAddress(QString::fromLatin1(words[1])).isNull())
            servers << QString::fromLatin1(words[1]);
    }
    return servers;
}

QString gatewayFromTracert(const QString &output)
{
    // "  1    <1 ms    <1 ms    <1 ms  gateway.lan [127.0.0.1]": the address in brackets.
    return QRegularExpression(QStringLiteral("(.*\\[)(.*)(\\])")).match(output).captured(2);
}

QString gatewayFromRouteTable(const QByteArray &table)
{
    // /proc/net/route: "Iface Destination Gateway Flags ...", addresses as
    // little-endian hex; the default route has destination 0 and the
    // gateway flag (2).
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields[1] != "00000000")
            continue;
        bool ok = false;
        const uint flags = fields[3].toUInt(&ok, 16);
        const uint address = fields[2].toUInt(&ok, 16);
        if (!ok || !(flags & 0x2) || address == 0)
            continue;
        return QStringLiteral("%1.%2.%3.%4")
            .arg(address & 0xff)
            .arg((address >> 8) & 0xff)
            .arg((address >> 16) & 0xff)
            .arg(address >> 24);
    }
    return QString();
}

} // namespace lumira::platform
