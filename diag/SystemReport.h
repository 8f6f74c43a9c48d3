#pragma once

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

// Describes the computer for support: the page's "system_info://" answer, the
// memory figures and the start-up's low-memory check. Gathered afresh on
// every call, on the caller's (GUI) thread.
class SystemReport : public QObject
{
    Q_OBJECT
public:
    using Facts = QMap<QString, QString>;
    using MemoryFigures = QMap<QString, qint64>;

    static SystemReport *instance();
    // `factsRoot`: where the Linux facts are read ("/"); `dnsList`: the DNS
    // servers the network test found.
    explicit SystemReport(const QString &factsRoot = QStringLiteral("/"),
        std::function<QStringList()> dnsList = nullptr, QObject *parent = nullptr);

    Facts collect() const;
    // Writes the "systemStatus" memory line; empty when the process figures
    // cannot be read at all.
    MemoryFigures memoryFigures() const;
    // "SystemPhysicalAvailRAM" alone, in megabytes (0 when unknown), without
    // the process's figures: those walk every mapping of the process, which
    // the start-up check does not need.
    qint64 availablePhysicalMB() const;
    // The four-member JSON (indented), also written to the log.
    QString jsonSystemInfo() const;

    // Pure parts.
    // {"systemName", "systemVersion"} from the product name and the host name.
    static QPair<QString, QString> systemName(const QString &prettyProductName, const QString &hostName);
    static QString ipv4Text(const QList<QHostAddress> &addresses);
    static QString csproduct(const QString &uuid);
    static QString gib(quint64 bytes);
    // Where today's log archive of `userId` is stored.
    static QString logArchiveUrl(const QString &userId);

private:
    QString m_root;
    std::function<QStringList()> m_dnsList;
};
