// Diagnostics: the console ping parsers on recorded outputs, the network test
// on a fake console and the development service's /ping, network time against
// its SNTP server, and the system report on this machine and on fake trees.
#include "DiagTestSupport.h"

#include "app/LMRConfig.h"
#include "diag/NetworkTestController.h"
#include "diag/SystemReport.h"
#include "diag/TimeSetting.h"
#include "platform/ConsolePing.h"
#include "platform/NetworkParams.h"
#include "platform/SystemFacts.h"
#include "web/QMLNotify.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace diagtest;
using lumira::platform::PingResult;
using testenv::waitUntil;

namespace
{

// Recorded console outputs (addresses changed to loopback ones).
const char kWinReply8[] = "\r\nActive code page: 437\r\n\r\nPinging 127.0.0.2 with 32 bytes of data:\r\n"
                          "Reply from 127.0.0.2: bytes=32 time=8ms TTL=64\r\n\r\nPing statistics for 127.0.0.2:\r\n"
                          "    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n"
                          "Approximate round trip times in milli-seconds:\r\n"
                          "    Minimum = 8ms, Maximum = 8ms, Average = 8ms\r\n";
const char kWinReply11[] = "\r\nActive code page: 437\r\n\r\nPinging 127.0.0.2 with 32 bytes of data:\r\n"
                           "Reply from 127.0.0.2: bytes=32 time=11ms TTL=64\r\n\r\nPing statistics for 127.0.0.2:\r\n"
                           "    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n"
                           "Approximate round trip times in milli-seconds:\r\n"
                           "    Minimum = 11ms, Maximum = 11ms, Average = 11ms\r\n";
const char kWinLost[] = "\r\nActive code page: 437\r\n\r\nPinging 127.0.0.3 with 32 bytes of data:\r\n"
                        "Request timed out.\r\n\r\nPing statistics for 127.0.0.3:\r\n"
                        "    Packets: Sent = 1, Received = 0, Lost = 1 (100% loss),\r\n";
const char kWinGerman[]
    = "\r\nAktive Codepage: 437.\r\n\r\nPing wird ausgef\x81hrt f\x81r 127.0.0.2 mit 32 Bytes Daten:\r\n"
      "Antwort von 127.0.0.2: Bytes=32 Zeit=8ms TTL=64\r\n\r\nPing-Statistik f\x81r 127.0.0.2:\r\n"
      "    Pakete: Gesendet = 1, Empfangen = 1, Verloren = 0\r\n"
      "    (0% Verlust),\r\nCa. Zeitangaben in Millisek.:\r\n"
      "    Minimum = 8ms, Maximum = 8ms, Mittelwert = 8ms\r\n";
const char kLinuxReply[] = "PING 127.0.0.2 (127.0.0.2) 56(84) bytes of data.\n"
                           "64 bytes from 127.0.0.2: icmp_seq=1 ttl=64 time=11.8 ms\n\n"
                           "--- 127.0.0.2 ping statistics ---\n"
                           "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
                           "rtt min/avg/max/mdev = 11.812/11.812/11.812/0.000 ms\n";
const char kLinuxLost[] = "PING 127.0.0.3 (127.0.0.3) 56(84) bytes of data.\n\n"
                          "--- 127.0.0.3 ping statistics ---\n"
                          "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n\n";
const char kLinuxGerman[] = "PING 127.0.0.2 (127.0.0.2) 56(84) Bytes Daten.\n"
                            "--- 127.0.0.2 Ping-Statistiken ---\n"
                            "1 Pakete \xc3\xbc"
                            "bertragen, 1 empfangen, 0% Paketverlust, Zeit 0ms\n";

} // namespace

TEST(PingOutput, BothConsolesParsedAndForeignTextUnreadable)
{
    using lumira::platform::parseLinuxPing;
    using lumira::platform::parseWindowsPing;
    PingResult r = parseWindowsPing(QString::fromLatin1(kWinReply8));
    EXPECT_EQ(r.kind, PingResult::Replied);
    EXPECT_EQ(r.averageMs, 8);
    EXPECT_EQ(parseWindowsPing(QString::fromLatin1(kWinReply11)).averageMs, 11);
    r = parseWindowsPing(QString::fromLatin1(kWinLost));
    EXPECT_EQ(r.kind, PingResult::Lost);
    EXPECT_EQ(r.lost, 1);
    EXPECT_EQ(parseWindowsPing(QString::fromLatin1(kWinGerman)).kind, PingResult::Unreadable);
    EXPECT_EQ(parseWindowsPing(QStringLiteral("Lost=x Average=5ms")).kind, PingResult::Unreadable);
    EXPECT_EQ(parseWindowsPing(QString()).kind, PingResult::Unreadable);
    EXPECT_EQ(parseWindowsPing(QString::fromLatin1(kLinuxReply)).kind, PingResult::Unreadable);

    r = parseLinuxPing(QString::fromLatin1(kLinuxReply));
    EXPECT_EQ(r.kind, PingResult::Replied);
    EXPECT_EQ(r.averageMs, 11);
    r = parseLinuxPing(QString::fromLatin1(kLinuxLost));
    EXPECT_EQ(r.kind, PingResult::Lost);
    EXPECT_EQ(r.lost, 1);
    EXPECT_EQ(parseLinuxPing(QString::fromUtf8(kLinuxGerman)).kind, PingResult::Unreadable);
    EXPECT_EQ(
        parseLinuxPing(QStringLiteral("ping: 127.0.0.2: Name or service not known")).kind, PingResult::Unreadable);
    EXPECT_EQ(parseLinuxPing(QString::fromLatin1(kWinReply8)).kind, PingResult::Unreadable);
}

// The worker on this thread, with a console that plays back recorded outputs.
struct FakeNetwork {
    QMap<QString, QString> outputs; // by target
    QStringList pinged;
    int gatewayLookups = 0;
    QString gateway = QStringLiteral("127.0.0.2");
    lumira::platform::DnsServers dns { true, { QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4") }, {} };
    bool consoleStarts = true;
    NetworkProbes probes(const QUrl &pingUrl = QUrl(QStringLiteral("http://127.0.0.1:9/ping")))
    {
        NetworkProbes p;
        p.pingUrl = pingUrl;
        p.ping = [this](const QString &target) {
            pinged << target;
            return lumira::platform::ConsoleOutput { consoleStarts, outputs.value(target) };
        };
        p.parsePing = lumira::platform::parseWindowsPing;
        p.findGateway = [this] {
            ++gatewayLookups;
            return gateway;
        };
        p.dnsServers = [this] { return dns; };
        return p;
    }
};

void runSlot(NetworkTest &worker, const char *slot) { QMetaObject::invokeMethod(&worker, slot, Qt::DirectConnection); }

TEST(NetworkTest, LogsFailuresAndSlowPingsOnlyAndFindsTheGatewayAgainAfterFive)
{
    FakeNetwork net;
    NetworkTest worker(net.probes());
    QStringList dnsSeen;
    QObject::connect(&worker, &NetworkTest::callback_getDNS, [&](const QStringList &dns) { dnsSeen = dns; });

    net.outputs["127.0.0.2"] = QString::fromLatin1(kWinReply8);
    net.outputs["127.0.0.3"] = QString::fromLatin1(kWinLost);
    runSlot(worker, "onGatewayPing");
    runSlot(worker, "onDNSPing");
    QStringList lines = statusLines();
    EXPECT_EQ(linesContaining(lines, "127.0.0.2 gatewayPing:"), 0) << "8 ms is not logged";
    EXPECT_TRUE(hasLine(lines, "error", "127.0.0.3 DNSPing: Failed"));
    EXPECT_EQ(dnsSeen, QStringList({ "127.0.0.3", "127.0.0.4" }));

    net.outputs["127.0.0.2"] = QString::fromLatin1(kWinReply11);
    runSlot(worker, "onGatewayPing");
    EXPECT_TRUE(hasLine(statusLines(), "info", "127.0.0.2 gatewayPing:11ms"));

    // Five lost in a row clear the gateway; the sixth cycle looks it up again.
    net.outputs["127.0.0.2"] = QString::fromLatin1(kWinLost);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(worker.gateway(), "127.0.0.2");
        runSlot(worker, "onGatewayPing");
    }
    EXPECT_TRUE(worker.gateway().isEmpty());
    EXPECT_EQ(worker.gatewayFailCount(), 0);
    EXPECT_EQ(linesContaining(statusLines(), "127.0.0.2 gatewayPing: Falied"), 5);
    EXPECT_EQ(net.gatewayLookups, 1);
    runSlot(worker, "onGatewayPing");
    EXPECT_EQ(net.gatewayLookups, 2);
    EXPECT_EQ(worker.gateway(), "127.0.0.2");
    EXPECT_EQ(worker.gatewayFailCount(), 1);
    for (const QString &target : net.pinged)
        EXPECT_TRUE(target.startsWith("127.0.0.")) << target.toStdString();
}

TEST(NetworkTest, BadListsAndOutputsAreLoggedAndNothingOddIsPinged)
{
    FakeNetwork net;
    net.dns.servers = QStringList { QStringLiteral("fe80::1"), QStringLiteral("::1") };
    NetworkTest worker(net.probes());
    QStringList dnsSeen;
    QObject::connect(&worker, &NetworkTest::callback_getDNS, [&](const QStringList &dns) { dnsSeen = dns; });
    runSlot(worker, "onDNSPing");
    EXPECT_TRUE(hasLine(statusLines(), "error", QStringLiteral("DNS地址非IPV4：fe80::1")));
    EXPECT_EQ(dnsSeen, QStringList({ "fe80::1", "::1" }));
    EXPECT_TRUE(net.pinged.isEmpty());

    net.dns = { false, {}, QStringLiteral("cannot read /etc/resolv.conf") };
    runSlot(worker, "onDNSPing");
    EXPECT_TRUE(hasLine(statusLines(), "error", "cannot read /etc/resolv.conf"));

    // A console in another language, one that did not run, a gateway that is no address.
    net.outputs["127.0.0.2"] = QString::fromLatin1(kWinGerman);
    runSlot(worker, "onGatewayPing");
    EXPECT_EQ(linesContaining(statusLines(), "127.0.0.2 gatewayPing: unreadable ping output: Aktive Codepage"), 1);
    EXPECT_EQ(worker.gatewayFailCount(), 0);
    net.consoleStarts = false;
    runSlot(worker, "onGatewayPing");
    EXPECT_TRUE(hasLine(statusLines(), "error", "127.0.0.2 gatewayPing: ping did not run"));

    FakeNetwork odd;
    odd.gateway = QStringLiteral("127.0.0.2 & calc");
    NetworkTest oddWorker(odd.probes());
    runSlot(oddWorker, "onGatewayPing");
    EXPECT_TRUE(odd.pinged.isEmpty());
    EXPECT_TRUE(hasLine(statusLines(), "error", "127.0.0.2 & calc gatewayPing: not an IPv4 address, not pinged"));
    odd.gateway.clear();
    FakeNetwork none;
    none.gateway.clear();
    NetworkTest noneWorker(none.probes());
    runSlot(noneWorker, "onGatewayPing");
    EXPECT_TRUE(none.pinged.isEmpty());
    EXPECT_TRUE(hasLine(statusLines(), "error", QStringLiteral("无可用网关")));
}

TEST(NetworkTest, HttpPingOfTheServiceReachesTheControllerAndThePageDelay)
{
    harness::DevService service;
    ASSERT_TRUE(service.start());
    FakeNetwork net;
    const QUrl url(service.baseUrl() + QStringLiteral("/ping"));
    NetworkTestController controller(net.probes(url));
    QList<int> seen;
    QObject::connect(&controller, &NetworkTestController::startPingSignal, [] {});
    QObject::connect(
        controller.worker(), &NetworkTest::callback_gethttping, &controller, [&](int ms) { seen << ms; },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(controller.worker(), "onHttpPing", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 1; }));
    EXPECT_LT(seen[0], NetworkTest::kHttpFailureMs);
    EXPECT_EQ(controller.httpPingMs(), seen[0]);
    EXPECT_EQ(linesContaining(statusLines(), url.toString() + " httping:" + QString::number(seen[0]) + "ms"), 1);

    // An error status gives the time and then the failure value; no server gives the failure alone.
    FakeNetwork net503;
    NetworkTestController failing(net503.probes(QUrl(service.baseUrl() + QStringLiteral("/status/503"))));
    QMetaObject::invokeMethod(failing.worker(), "onHttpPing", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return failing.httpPingMs() == NetworkTest::kHttpFailureMs; }));
    const QStringList lines = statusLines();
    EXPECT_EQ(linesContaining(lines, service.baseUrl() + "/status/503 httping:"), 1);
    EXPECT_EQ(linesContaining(lines, service.baseUrl() + "/status/503 httpingFailed:"), 1);
    FakeNetwork netDown;
    NetworkTestController down(
        netDown.probes(QUrl(QStringLiteral("http://127.0.0.1:%1/ping").arg(harness::freePort()))));
    QMetaObject::invokeMethod(down.worker(), "onHttpPing", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return down.httpPingMs() == NetworkTest::kHttpFailureMs; }));

    // The page's delay figure is the process-wide controller's last HTTP ping.
    QMetaObject::invokeMethod(NetworkTestController::instance(), "callback_gethttping", Q_ARG(int, 37));
    EXPECT_EQ(QMLNotify::instance()->getServerDelay(), 37);
    EXPECT_TRUE(QMLNotify::instance()->callH5_jsDelay(1, 2, QMLNotify::instance()->getServerDelay()).contains("37"));
}

TEST(TimeSetting, RequestBytesAndRepliesThatAreRefused)
{
    const QByteArray request = TimeSetting::request(0x01020304u);
    QByteArray expected(48, '\0');
    expected[0] = 0x1B;
    expected[2] = 4;
    expected[3] = char(0xFA);
    expected[5] = 1;
    expected[9] = 1;
    expected[40] = 1;
    expected[41] = 2;
    expected[42] = 3;
    expected[43] = 4;
    EXPECT_EQ(request, expected);

    QByteArray reply(48, '\0');
    reply[0] = 0x1C; // version 3, server
    reply[1] = 2;
    const quint32 seconds = TimeSetting::kNtpToUnix + 1700000000u;
    for (int i = 0; i < 4; ++i)
        reply[40 + i] = char(seconds >> (24 - 8 * i));
    quint32 parsed = 0;
    ASSERT_TRUE(TimeSetting::parseReply(reply, parsed));
    EXPECT_EQ(parsed, seconds);
    EXPECT_FALSE(TimeSetting::parseReply(reply.left(47), parsed));
    EXPECT_FALSE(TimeSetting::parseReply(QByteArray(48, char(0xFF)), parsed));
    QByteArray kiss = reply;
    kiss[1] = 0;
    EXPECT_FALSE(TimeSetting::parseReply(kiss, parsed));
    QByteArray client = reply;
    client[0] = 0x1B;
    EXPECT_FALSE(TimeSetting::parseReply(client, parsed));
}

TEST(TimeSetting, FollowsTheServerAndFallsBackToTheLocalClock)
{
    TimeService service;
    ASSERT_TRUE(service.start());
    service.answer(90);
    {
        TimeSetting clock(QStringLiteral("127.0.0.1"), quint16(service.sntpPort));
        ASSERT_TRUE(clock.synced());
        // Whole seconds on both sides: a second may tick between the answer and our reading.
        EXPECT_TRUE(clock.diff() == 90 || clock.diff() == 89) << clock.diff();
        const qint64 ahead = clock.currentTime().toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch();
        EXPECT_TRUE(ahead == 90 || ahead == 89) << ahead;
        EXPECT_EQ(clock.currentTime().timeZone().id(), QByteArray("Asia/Shanghai"));
        EXPECT_EQ(qint64(clock.lastTime()), clock.currentTime().toSecsSinceEpoch());
        EXPECT_TRUE(clock.status().startsWith("windows: localtime is ")) << clock.status().toStdString();
    }
    for (const char *kind : { "short", "garbage", "none" }) {
        service.answer(90, QString::fromLatin1(kind));
        QElapsedTimer timer;
        timer.start();
        TimeSetting clock(QStringLiteral("127.0.0.1"), quint16(service.sntpPort));
        // Bounded by the 1 s waits, with room for a loaded machine.
        EXPECT_LT(timer.elapsed(), 5000) << kind;
        EXPECT_FALSE(clock.synced()) << kind;
        EXPECT_EQ(clock.status(), "get net time failed!!");
        EXPECT_LE(qAbs(clock.currentTime().toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch()), 1) << kind;
    }
    // Nobody on the port at all.
    QElapsedTimer timer;
    timer.start();
    TimeSetting nobody(QStringLiteral("127.0.0.1"), quint16(freeUdpPort()));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(nobody.synced());
}

TEST(SystemReport, PureRules)
{
    EXPECT_EQ(SystemReport::systemName("Debian GNU/Linux 12 (bookworm)", "pc1"),
        qMakePair(QString("Debian GNU/Linux 12 (pc1)"), QString("bookworm")));
    EXPECT_EQ(SystemReport::systemName("Arch Linux", "pc1"), qMakePair(QString("(pc1)"), QString()));
    EXPECT_EQ(SystemReport::ipv4Text({ QHostAddress("127.1.2.3"), QHostAddress("fe80::1"), QHostAddress("127.0.0.9") }),
        "127.1.2.3 127.0.0.9 ");
    EXPECT_EQ(SystemReport::csproduct("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), "0");
    EXPECT_EQ(SystemReport::csproduct("ffffffff-ffff-ffff-ffff-ffffffffffff"), "0");
    EXPECT_EQ(SystemReport::csproduct("4C4C4544-0042-3510-8051-B7C04F4E3232"), "4C4C4544-0042-3510-8051-B7C04F4E3232");
    EXPECT_EQ(SystemReport::gib(quint64(8) << 30), "8.00");
}

TEST(SystemReport, JsonMembersKeysAndMemoryOfThisMachine)
{
    LMRConfig::instance()->setUserID(QStringLiteral("123"));
    LMRConfig::instance()->setMicName(QStringLiteral("Mic A"));
    SystemReport report(QStringLiteral("/"), [] { return QStringList { "127.0.0.53", "::1" }; });
    const QJsonObject json = QJsonDocument::fromJson(report.jsonSystemInfo().toUtf8()).object();
    EXPECT_EQ(json.keys(), QStringList({ "device_info", "network", "os", "system" }));
    const QJsonObject os = json.value("os").toObject();
    EXPECT_EQ(os.keys(), QStringList({ "devic_name", "dos", "lumira_version", "system_version" }));
    EXPECT_EQ(os.value("lumira_version").toString(), "5.0.6");
    EXPECT_EQ(os.value("dos").toString(), "pc");
    EXPECT_EQ(json.value("device_info").toObject().keys(), QStringList({ "camera_all", "voice_mic", "voice_player" }));
    EXPECT_EQ(json.value("device_info").toObject().value("voice_mic").toString(), "Mic A");
    EXPECT_EQ(json.value("network").toObject().keys(), QStringList({ "wifi" }));
    const QJsonObject system = json.value("system").toObject();
    EXPECT_EQ(system.keys(),
        QStringList({ "client_run_logs_address", "csproduct", "dns_address", "local_ip", "monitor", "processor",
            "run_memory", "storage" }));
    EXPECT_EQ(system.value("dns_address").toString(), "127.0.0.53 ::1 ");
    EXPECT_TRUE(system.value("client_run_logs_address")
                    .toString()
                    .endsWith("/lumiraLogs/" + QDate::currentDate().toString("yyyy-MM-dd") + "/123_5.0.6.zip"));
    EXPECT_TRUE(system.value("client_run_logs_address").toString().startsWith("http://lumira-pc-files."));
    EXPECT_EQ(system.value("monitor").toString(), QString::number(QGuiApplication::screens().size()));
    EXPECT_FALSE(system.value("local_ip").toString().contains(':'));
    EXPECT_FALSE(system.value("processor").toString().isEmpty());

    const SystemReport::MemoryFigures memory = report.memoryFigures();
    const qint64 total = memory.value("SystemPhysicalTotalRAM");
    EXPECT_GT(memory.value("SystemPhysicalAvailRAM"), 0);
    EXPECT_GE(total, memory.value("SystemPhysicalAvailRAM"));
    // The start-up check's reading is the same figure.
    EXPECT_NEAR(report.availablePhysicalMB(), memory.value("SystemPhysicalAvailRAM"), 256);
    EXPECT_GT(memory.value("ProcessInprocRAM"), 0);
    EXPECT_GE(memory.value("ProcessAllRAM"), memory.value("ProcessInprocRAM"));
    EXPECT_LT(memory.value("ProcessAllRAM") / 1024, total);
    // The report's GiB text and the MiB figure describe the same memory.
    const double gib = system.value("run_memory").toString().chopped(1).toDouble();
    EXPECT_NEAR(gib * 1024, double(total), 11.0);
    EXPECT_EQ(linesContaining(statusLines(),
                  " 系统物理内存总大小:" + system.value("run_memory").toString() + " 系统物理内存可用大小:"),
        1);
    LMRConfig::instance()->setUserID(QStringLiteral("0"));
}

TEST(SystemFacts, ReadFromAWellFormedTree)
{
    const QString root = testenv::sandboxRoot() + "/facts-good";
    writeText(root + "/proc/meminfo", "MemTotal:       16384000 kB\nMemFree:  100 kB\nMemAvailable:    8192000 kB\n");
    writeText(root + "/proc/self/status", "Name:\tx\nVmRSS:\t  204800 kB\n");
    writeText(root + "/proc/self/smaps_rollup", "Rss: 204800 kB\nPrivate_Clean: 1000 kB\nPrivate_Dirty: 24 kB\n");
    writeText(root + "/proc/cpuinfo", "processor\t: 0\nmodel name\t: Test CPU @ 3.00GHz\n\nprocessor\t: 1\n");
    writeText(root + "/sys/class/dmi/id/product_uuid", "ffffffff-ffff-ffff-ffff-ffffffffffff\n");
    writeText(root + "/sys/block/sda/device/model", "Samsung SSD 870  \n");
    writeText(root + "/sys/block/nvme0n1/device/model", "WD Blue SN570\n");
    QDir().mkpath(root + "/sys/block/loop0");
    QDir().mkpath(root + "/sys/class/net/wlan0/wireless");
    writeText(root + "/sys/class/net/wlan0/operstate", "up\n");
    writeText(root + "/sys/class/net/eth0/operstate", "down\n");
    writeText(root + "/etc/resolv.conf", "# comment\nnameserver 127.0.0.53\nnameserver fe80::1%eth0\nnameserver ::1\n");
    writeText(root + "/proc/net/route",
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
        "eth0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\n"
        "eth0\t00000000\t0100007F\t0003\t0\t0\t0\t00000000\n");

    namespace p = lumira::platform;
    EXPECT_EQ(p::hostMemory(root).totalBytes, quint64(16384000) * 1024);
    EXPECT_EQ(p::hostMemory(root).availableBytes, quint64(8192000) * 1024);
    EXPECT_EQ(p::processMemory(root).workingSetBytes, quint64(204800) * 1024);
    EXPECT_EQ(p::processMemory(root).privateWorkingSetBytes, quint64(1024) * 1024);
    EXPECT_EQ(p::cpuModel(root), "Test CPU @ 3.00GHz");
    EXPECT_EQ(SystemReport::csproduct(p::machineUuid(root)), "0");
    EXPECT_EQ(p::diskModels(root), "WD Blue SN570 Samsung SSD 870");
    EXPECT_EQ(p::wifiState(root), p::WifiState::Connected);
    EXPECT_EQ(p::dnsServers(root).servers, QStringList({ "127.0.0.53", "fe80::1%eth0", "::1" }));
    EXPECT_EQ(p::defaultGateway(QString(), root), "127.0.0.1");
    EXPECT_EQ(p::gatewayFromTracert("\r\n  1    <1 ms    <1 ms    <1 ms  router.lan [127.0.0.9]\r\n"), "127.0.0.9");

    // Without the firmware's UUID: the installation id; a second, later
    // wireless interface that is down decides.
    QFile::remove(root + "/sys/class/dmi/id/product_uuid");
    writeText(root + "/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    EXPECT_EQ(p::machineUuid(root), "3D1219C7-C4C5-404A-AA1F-6D2A48ADFDA4");
    QDir().mkpath(root + "/sys/class/net/wlan1/phy80211");
    writeText(root + "/sys/class/net/wlan1/operstate", "down\n");
    EXPECT_EQ(p::wifiState(root), p::WifiState::Disconnected);
}

TEST(SystemFacts, UnreadableFilesGiveDefaultsAndALogLine)
{
    // Directories where files belong: unreadable even for root.
    const QString root = testenv::sandboxRoot() + "/facts-bad";
    for (const char *path : { "/proc/meminfo", "/proc/self/status", "/proc/self/smaps_rollup", "/proc/self/smaps",
             "/proc/cpuinfo", "/sys/class/dmi/id/product_uuid", "/etc/machine-id", "/sys/block/sda/device/model",
             "/sys/class/net/wlan0/operstate", "/etc/resolv.conf", "/proc/net/route" })
        QDir().mkpath(root + QLatin1String(path));
    QDir().mkpath(root + "/sys/class/net/wlan0/wireless");
    namespace p = lumira::platform;
    EXPECT_FALSE(p::hostMemory(root).ok);
    EXPECT_FALSE(p::processMemory(root).hasWorkingSet);
    EXPECT_EQ(p::cpuModel(root), "");
    EXPECT_EQ(p::machineUuid(root), "");
    EXPECT_EQ(p::diskModels(root), "");
    EXPECT_EQ(p::wifiState(root), p::WifiState::Unknown);
    EXPECT_FALSE(p::dnsServers(root).ok);
    EXPECT_EQ(p::dnsServers(root).error, "cannot read " + root + "/etc/resolv.conf");
    EXPECT_EQ(p::defaultGateway(QString(), root), "");

    SystemReport report(root);
    EXPECT_TRUE(report.memoryFigures().isEmpty());
    EXPECT_TRUE(hasLine(programLines(), "error", "memory figures: this process's figures cannot be read"));
    const SystemReport::Facts facts = report.collect();
    EXPECT_EQ(facts.value("SystemRAM"), "0.00G");
    EXPECT_EQ(facts.value("WIFI"), "N");
    EXPECT_EQ(facts.value("CPU"), "");
    EXPECT_EQ(facts.value("dns_address"), "");
    // Garbage content reads as nothing, too.
    writeText(testenv::sandboxRoot() + "/facts-junk/proc/meminfo", "MemTotal: lots\n\x01\x02");
    EXPECT_FALSE(p::hostMemory(testenv::sandboxRoot() + "/facts-junk").ok);
    EXPECT_TRUE(p::dnsFromResolvConf("nameserver\nnameserver not-an-address\n").isEmpty());
    EXPECT_EQ(p::gatewayFromRouteTable("garbage\n\x01"), "");
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("diag");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_test.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
