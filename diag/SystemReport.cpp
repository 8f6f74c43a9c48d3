#include "diag/SystemReport.h"

#include "BuildConfig.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "diag/NetworkTestController.h"
#include "diag/TSpdlogUpload.h"
#include "net/LMRAos.h"
#include "platform/SystemFacts.h"

#include <QDate>
#include <QGuiApplication>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QScreen>
#include <QSysInfo>

using namespace lumira;

SystemReport *SystemReport::instance()
{
    static auto *report
        = new SystemReport(QStringLiteral("/"), [] { return NetworkTestController::instance()->dns(); });
    return report;
}

SystemReport::SystemReport(const QString &factsRoot, std::function<QStringList()> dnsList, QObject *parent)
    : QObject(parent)
    , m_root(factsRoot)
    , m_dnsList(std::move(dnsList))
{
}

QPair<QString, QString> SystemReport::systemName(const QString &prettyProductName, const QString &hostName)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(.*)(\\()(.*)(\\))")).match(prettyProductName);
    return { m.captured(1) + QLatin1Char('(') + hostName + QLatin1Char(')'), m.captured(3) };
}

QString SystemReport::ipv4Text(const QList<QHostAddress> &addresses)
{
    QString text;
    for (const QHostAddress &address : addresses)
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            text += address.toString() + QLatin1Char(' ');
    return text;
}

QString SystemReport::csproduct(const QString &uuid)
{
    return uuid.compare(QLatin1String("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), Qt::CaseInsensitive) == 0
        ? QStringLiteral("0")
        : uuid;
}

QString SystemReport::gib(quint64 bytes) { return QString::number(double(bytes) / (1u << 30), 'f', 2); }

QString SystemReport::logArchiveUrl(const QString &userId)
{
    // The log bucket's host in the store's region, as the store names its objects.
    QString host = LMRAosSettings::fromBuild().endpoint;
    host.remove(QStringLiteral("http://"));
    return QStringLiteral("http://") + TSpdlogUpload::kBucket + QLatin1Char('.') + host + QLatin1Char('/')
        + TSpdlogUpload::objectKey(QDate::currentDate(), userId);
}

SystemReport::Facts SystemReport::collect() const
{
    Facts facts;
    const QString host = QHostInfo::localHostName();
    const QPair<QString, QString> name = systemName(QSysInfo::prettyProductName(), host);
    facts.insert(QStringLiteral("systemName"), name.first);
    facts.insert(QStringLiteral("systemVersion"), name.second);
    // The interfaces' own addresses: looking our name up could ask a DNS server.
    QList<QHostAddress> addresses;
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        if (!address.isLoopback())
            addresses << address;
    facts.insert(QStringLiteral("local_ip"), ipv4Text(addresses));
    facts.insert(QStringLiteral("Monitor"), QString::number(QGuiApplication::screens().size()));
    const platform::HostMemory memory = platform::hostMemory(m_root);
    facts.insert(QStringLiteral("SystemRAM"), gib(memory.totalBytes) + QLatin1Char('G'));
    facts.insert(QStringLiteral("WIFI"),
        platform::wifiState(m_root) == platform::WifiState::Connected ? QStringLiteral("Y") : QStringLiteral("N"));
    facts.insert(QStringLiteral("CPU"), platform::cpuModel(m_root));
    facts.insert(QStringLiteral("csproduct"), csproduct(platform::machineUuid(m_root)));
    facts.insert(QStringLiteral("storage"), platform::diskModels(m_root));
    QString dns;
    for (const QString &server : m_dnsList ? m_dnsList() : QStringList())
        dns += server + QLatin1Char(' ');
    facts.insert(QStringLiteral("dns_address"), dns);
    return facts;
}

SystemReport::MemoryFigures SystemReport::memoryFigures() const
{
    MemoryFigures figures;
    const platform::ProcessMemory process = platform::processMemory(m_root);
    // Without the process's own figures there is nothing to report (as
    // without a handle to the process).
    if (!process.hasWorkingSet && !process.hasPrivateWorkingSet) {
        TSpdlog::instance()->otherError(QStringLiteral("memory figures: this process's figures cannot be read"));
        return figures;
    }
    const platform::HostMemory host = platform::hostMemory(m_root);
    if (!host.ok)
        TSpdlog::instance()->otherError(QStringLiteral("memory figures: system memory cannot be read, reported as 0"));
    figures.insert(QStringLiteral("SystemPhysicalTotalRAM"), qint64(host.totalBytes >> 20));
    figures.insert(QStringLiteral("SystemPhysicalAvailRAM"), qint64(host.availableBytes >> 20));
    if (process.hasWorkingSet)
        figures.insert(QStringLiteral("ProcessAllRAM"), qint64(process.workingSetBytes >> 10));
    if (process.hasPrivateWorkingSet)
        figures.insert(QStringLiteral("ProcessInprocRAM"), qint64(process.privateWorkingSetBytes >> 10));
    TSpdlog::instance(QStringLiteral("systemStatus"))
        ->otherInfo(QStringLiteral(" 系统物理内存总大小:") + gib(host.totalBytes) + QStringLiteral("G")
            + QStringLiteral(" 系统物理内存可用大小:") + gib(host.availableBytes) + QStringLiteral("G")
            + QStringLiteral(" 当前程序工作集内存大小:")
            + QString::number(figures.value(QStringLiteral("ProcessAllRAM"))) + QStringLiteral("K")
            + QStringLiteral(" 当前程序专用工作集内存大小:")
            + QString::number(figures.value(QStringLiteral("ProcessInprocRAM"))) + QStringLiteral("K"));
    return figures;
}

qint64 SystemReport::availablePhysicalMB() const
{
    const platform::HostMemory host = platform::hostMemory(m_root);
    return host.ok ? qint64(host.availableBytes >> 20) : 0;
}

QString SystemReport::jsonSystemInfo() const
{
    const Facts facts = collect();
    LMRConfig *config = LMRConfig::instance();
    QJsonObject os { { QStringLiteral("system_version"), facts.value(QStringLiteral("systemVersion")) },
        { QStringLiteral("devic_name"), facts.value(QStringLiteral("systemName")) },
        { QStringLiteral("lumira_version"), QString::fromLatin1(build::kVersion) },
        { QStringLiteral("dos"), QStringLiteral("pc") } };
    QJsonObject device { { QStringLiteral("voice_mic"), config->getMicName() },
        { QStringLiteral("voice_player"), config->getSpeakerName() },
        { QStringLiteral("camera_all"), config->getCameraName() } };
    QJsonObject network { { QStringLiteral("wifi"), facts.value(QStringLiteral("WIFI")) } };
    QJsonObject system { { QStringLiteral("processor"), facts.value(QStringLiteral("CPU")) },
        { QStringLiteral("run_memory"), facts.value(QStringLiteral("SystemRAM")) },
        { QStringLiteral("monitor"), facts.value(QStringLiteral("Monitor")) },
        { QStringLiteral("csproduct"), facts.value(QStringLiteral("csproduct")) },
        { QStringLiteral("local_ip"), facts.value(QStringLiteral("local_ip")) },
        { QStringLiteral("storage"), facts.value(QStringLiteral("storage")) },
        { QStringLiteral("dns_address"), facts.value(QStringLiteral("dns_address")) },
        { QStringLiteral("client_run_logs_address"), logArchiveUrl(config->getUserID()) } };
    const QString json = QString::fromUtf8(
        QJsonDocument(QJsonObject { { QStringLiteral("os"), os }, { QStringLiteral("device_info"), device },
                          { QStringLiteral("network"), network }, { QStringLiteral("system"), system } })
            .toJson());
    TSpdlog::instance()->otherInfo(json);
    return json;
}
