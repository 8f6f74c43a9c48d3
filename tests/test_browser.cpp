// The lesson page host and the dispatcher with a real page in Qt WebEngine.
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "diag/NetworkTestController.h"
#include "web/LMRUserInfo.h"

#include "web/QCefBrowser.h"
#include "web/QCefCommandLine.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSettings>

#include <gtest/gtest.h>

using harness::BrowserHarness;
using harness::pageWithScript;
using harness::waitUntil;
using harness::writePage;

namespace
{

QStringList switchNames(const QCefCommandLine &commandLine)
{
    QStringList names;
    for (const auto &entry : commandLine.switches())
        names << entry.first;
    return names;
}

QString cefConfigPath() { return DirHelper::instance()->configPath() + QStringLiteral("/CefConfig.ini"); }

} // namespace

TEST(BrowserSwitches, SoftRenderSwitchesComeFirstAndConfigKeysRepeatPerGroup)
{
    LMRConfig *config = LMRConfig::instance();
    const QString previous = config->getQMLRender();
    {
        QSettings ini(cefConfigPath(), QSettings::IniFormat);
        ini.clear();
        ini.setValue(QStringLiteral("a/js-flags"), QStringLiteral("--max-old-space-size=512"));
        ini.setValue(QStringLiteral("b/js-flags"), QStringLiteral("--expose-gc"));
        ini.setValue(QStringLiteral("b/lang"), QStringLiteral("zh-CN"));
    }
    QCefApp app(nullptr);

    config->setQMLRender(QStringLiteral("SOFT"));
    QCefCommandLine soft;
    app.OnBeforeCommandLineProcessing(QString(), soft);
    EXPECT_EQ(switchNames(soft),
        QStringList({ "disable-gpu", "disable-gpu-compositing", "disable-gpu-vsync", "disable-accelerated-2d-canvas",
            "enable-begin-frame-scheduling", "js-flags", "js-flags", "lang", "allow-running-insecure-content",
            "disable-web-security", "ignore-urlfetcher-cert-requests", "ignore-certificate-errors", "autoplay-policy",
            "renderer-process-limit" }));
    EXPECT_EQ(soft.switches().at(6).second, QStringLiteral("--expose-gc"));
    EXPECT_TRUE(soft.toArguments().contains(QStringLiteral("--autoplay-policy=no-user-gesture-required")));

    config->setQMLRender(QStringLiteral("GL"));
    QFile::remove(cefConfigPath());
    QCefCommandLine gl;
    app.OnBeforeCommandLineProcessing(QString(), gl);
    EXPECT_EQ(switchNames(gl).first(), QStringLiteral("allow-running-insecure-content"));
    EXPECT_EQ(gl.switches().size(), 6);
    config->setQMLRender(previous);
}

TEST(BrowserSettings, DebugModeOpensThePortAndLogging)
{
    LMRConfig *config = LMRConfig::instance();
    QCefApp app(nullptr);
    config->setValue(QStringLiteral("Browser/DebugMode"), false);
    EXPECT_EQ(app.settings().remoteDebuggingPort, 0);
    EXPECT_EQ(app.settings().logSeverity, QCefApp::LOGSEVERITY_DISABLE);
    EXPECT_EQ(app.settings().cachePath, DirHelper::instance()->cefCachePath());
    config->setValue(QStringLiteral("Browser/DebugMode"), true);
    EXPECT_EQ(app.settings().remoteDebuggingPort, config->getWebDebugPort());
    EXPECT_EQ(app.settings().logSeverity, QCefApp::LOGSEVERITY_DEFAULT);
    config->setValue(QStringLiteral("Browser/DebugMode"), false);
}

TEST(BrowserClient, LoadErrorsCountOnlyForTheMainUrlBeforeItLoaded)
{
    LMRConfig *config = LMRConfig::instance();
    config->setValue(QStringLiteral("Browser/MainUrl"), QStringLiteral("http://127.0.0.1:1/qt1"));
    config->setMainUrlMode(1);
    QCefClient client;
    client.OnLoadError(-105, QStringLiteral("net::ERR_NAME_NOT_RESOLVED"), QStringLiteral("http://other.example/x"));
    EXPECT_EQ(config->getMainUrlMode(), 1);

    QCefClient loaded;
    loaded.OnLoadEnd(200);
    EXPECT_TRUE(loaded.loadedOk());
    loaded.OnLoadError(-102, QStringLiteral("net::ERR_CONNECTION_REFUSED"), QStringLiteral("http://127.0.0.1:1/qt1"));
    EXPECT_EQ(config->getMainUrlMode(), 1);
    EXPECT_EQ(loaded.loadErrorCount(), 0);

    QCefClient notFound;
    notFound.OnLoadEnd(404);
    EXPECT_FALSE(notFound.loadedOk());
}

TEST(BrowserClient, KeysAndMenus)
{
    LMRConfig *config = LMRConfig::instance();
    QCefClient client;
    int debugRequests = 0;
    QObject::connect(&client, &QCefClient::sgOpenDebugBrowser, [&](QString id, QString, QString url, int, int) {
        EXPECT_EQ(id, QStringLiteral("debug"));
        EXPECT_EQ(url, config->getDebugGingUrl());
        ++debugRequests;
    });
    config->setValue(QStringLiteral("Browser/DebugMode"), false);
    EXPECT_FALSE(client.OnKeyEvent(Qt::Key_F12));
    EXPECT_EQ(debugRequests, 0);
    config->setValue(QStringLiteral("Browser/DebugMode"), true);
    EXPECT_FALSE(client.OnKeyEvent(Qt::Key_F12));
    EXPECT_EQ(debugRequests, 1);
    EXPECT_TRUE(client.OnKeyEvent(Qt::Key_A));
    config->setValue(QStringLiteral("Browser/DebugMode"), false);

    // Handled only on a page or frame background, and only with items in the menu.
    const int page = QCefClient::CM_TYPEFLAG_PAGE;
    const QVector<std::tuple<int, int, bool>> menus = { { page, 3, true }, { QCefClient::CM_TYPEFLAG_FRAME, 1, true },
        { page, 0, false }, { page | QCefClient::CM_TYPEFLAG_EDITABLE, 4, false },
        { page | QCefClient::CM_TYPEFLAG_SELECTION, 2, false }, { QCefClient::CM_TYPEFLAG_LINK, 2, false } };
    for (const auto &[flags, items, handled] : menus)
        EXPECT_EQ(client.OnBeforeContextMenu(flags, items), handled) << flags << "/" << items;
    // A finished download told to the page: FinishedDownloadIsToldToThePage.
}

TEST(BrowserPage, RequestsReachTheDispatcherAndRepliesTheCallbacks)
{
    // The first request goes out while the page is still parsing, before the
    // channel is up: it must wait, not vanish.
    const QString page = writePage(QStringLiteral("requests.html"), pageWithScript(QStringLiteral(R"JS(
qtQuery({request: 'jsVersion://', onSuccess: function (v) { report('version', v); }});
qtQuery({request: 'record://', oper: 'start', token: 't', userId: '1', cls_user_type: 'teacher',
         onSuccess: function () { report('record-ok', ''); },
         onFailure: function (val, msg) { report('record-failed', {val: val, msg: msg}); }});
qtQuery({request: 'system_info://', onSuccess: function (text) { report('system', text); }});
qtQuery({request: 'jsVersion://'});
window.addEventListener('load', function () { report('loaded', typeof qtQuery); });
)JS")));
    BrowserHarness h(page);
    ASSERT_EQ(h.initResult, -1);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("system")));
    ASSERT_TRUE(h.waitForReport(QStringLiteral("version")));
    EXPECT_EQ(h.reportOf(QStringLiteral("version"))->data.toString(), LMRConfig::instance()->getVersion());
    // The recorder takes the lesson: its file appears under the record folder.
    ASSERT_TRUE(h.waitForReport(QStringLiteral("record-ok")));
    EXPECT_FALSE(h.reportOf(QStringLiteral("record-failed")));
    EXPECT_TRUE(waitUntil([] { return QFileInfo::exists(DirHelper::instance()->recordPath() + "/t_1_pc.mp3"); }));
    const QJsonObject system
        = QJsonDocument::fromJson(h.reportOf(QStringLiteral("system"))->data.toString().toUtf8()).object();
    EXPECT_EQ(system.value(QStringLiteral("os")).toObject().value(QStringLiteral("dos")).toString(), "pc");
    EXPECT_TRUE(h.cef->embedded());
}

// Which requests fail and why is the dispatcher's (test_dispatcher); here the
// page library must route a failure to onFailure with its code and reason,
// and each reply to its own callbacks only.
TEST(BrowserPage, FailureRepliesReachOnFailureWithTheirCodeAndReason)
{
    const QString page = writePage(QStringLiteral("failure.html"), pageWithScript(QStringLiteral(R"JS(
window.addEventListener('load', function () {
    qtQuery({request: 'record://', oper: 'start', userId: '1',
             onSuccess: function (v) { report('record-ok', v); },
             onFailure: function (val, msg) { report('record-failed', {val: val, msg: msg}); }});
    qtQuery({request: 'jsVersion://',
             onSuccess: function (v) { report('version-ok', v); },
             onFailure: function (val, msg) { report('version-failed', {val: val, msg: msg}); }});
});
)JS")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("record-failed")));
    EXPECT_EQ(h.reportOf(QStringLiteral("record-failed"))->data.toObject(),
        QJsonObject({ { "val", 2 }, { "msg", "missing or bad token or userId" } }));
    ASSERT_TRUE(h.waitForReport(QStringLiteral("version-ok")));
    harness::processEventsFor(200);
    EXPECT_FALSE(h.reportOf(QStringLiteral("record-ok")));
    EXPECT_FALSE(h.reportOf(QStringLiteral("version-failed")));
}

TEST(BrowserPage, MalformedMessagesThroughThePageTransportLeaveItAnswering)
{
    // 1000 generated messages from the page itself (fixed seed), through the
    // page's transport: broken JSON, cut-off text, near-miss names, bad
    // percent-encoding, wrong field types, line breaks, one over the size
    // bound. Requests that would leave the page (reload, close, windows) or
    // reach services outside the test are not among them.
    const QString page = writePage(QStringLiteral("fuzz.html"), pageWithScript(QStringLiteral(R"JS(
var seed = 20261207;
function rnd(n) { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; }
var names = ['system_info://', 'js_log_write://', 'user_viewer://', 'capture_image://', 'agora://VoiceRoomLogout',
    'trtc://VoiceRoomLogin', 'zego://VoiceRoomLogin', 'agora://VoiceAgoraState', 'VoiceQcloudState',
    'qcloud://VoiceInit', 'agora://VoiceDeviceControl', 'deviceInfo://', 'local://Finished', 'jsVersion://',
    'mqtt://forward', 'nothing://', 'xclose_window://', 'foo://close_window', 'user://x', 'xrecord://'];
var junk = ['%', '%E0%A4%A', '\n[2026-01-01 00:00:00.000][thread 1][info] :  forged', '\r\u2028\u0000',
    '../../lmrfz', null, 5, -1e308, [], {}, true, 'a'.repeat(5000), {'__proto__': {x: 1}}];
function pick(list) { return list[rnd(list.length)]; }
function text(n) { var s = ''; for (var i = 0; i < n; ++i) s += String.fromCharCode(rnd(4) ? 32 + rnd(95) : rnd(0x3000)); return s; }
function message() {
    var obj = {request: pick(names) + (rnd(3) ? '' : pick(['?a=%zz', ':{"token":"..\\/x"}', 'x', '&%']))};
    ['log', 'msg', 'online_state', 'account', 'device', 'open', 'sig', 'courseId', 'uid', 'roomid',
     'userId'].forEach(function (k) { if (rnd(3) === 0) obj[k] = pick(junk); });
    if (rnd(2)) obj.id = pick([String(rnd(1e6)), rnd(1e6), null, [], {}]);
    return obj;
}
window.addEventListener('load', function () {
    for (var i = 0; i < 1000; ++i) {
        var kind = rnd(5);
        if (kind === 0) callQML(text(rnd(200)) + pick(junk));
        else if (kind === 1) { var t = JSON.stringify(message()); callQML(t.slice(0, rnd(t.length))); }
        else if (kind === 2) callQML(JSON.stringify(message()));
        else if (kind === 3) qtQuery(message());
        else callQML(pick(['[1,2]', '"close_window"', 'null', '{"request": 5}', '{"request": ["close_window"]}']));
    }
    callQML('{"request":"js_log_write://","log":"' + 'O'.repeat(2 * 1024 * 1024) + '"}');
    qtQuery({request: 'jsVersion://', onSuccess: function (v) { report('after', v); }});
    qtQuery({request: 'system_info://', onSuccess: function (v) { report('queued-after', v.length > 0); }});
});
)JS")));
    const QString logBefore = harness::logText();
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("after"), 60000));
    EXPECT_EQ(h.reportOf(QStringLiteral("after"))->data.toString(), LMRConfig::instance()->getVersion());
    ASSERT_TRUE(h.waitForReport(QStringLiteral("queued-after"), 30000));
    EXPECT_TRUE(h.view->isVisible()); // no near-miss name closed the window
    EXPECT_GE(h.messages.size(), 1002); // all of them reached the dispatcher, bar the oversized one

    const QString log = harness::logText().mid(logBefore.size());
    EXPECT_EQ(harness::countOf(log, QStringLiteral("page message refused, at least ")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("request failed")));
    // Whole log lines under such text: BridgeFuzz.
}

TEST(BrowserPage, NotificationsCallPageFunctionsWithQuotedArguments)
{
    const QString page = writePage(QStringLiteral("notify.html"), pageWithScript(QStringLiteral(R"JS(
function fromCtoast(msg, mode, time) { report('toast', [msg, mode, time]); }
function jsVideoHeight(h, w) { report('video', [h, w]); }
window.addEventListener('load', function () { report('loaded', ''); });
)JS")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("loaded")));
    QMLNotify::instance()->jsonFromCtoast(QStringLiteral("say \"hi\" \\ 你好"));
    QMLNotify::instance()->triggerSgNotifyH5(QMLNotify::instance()->callH5_jsVideoHeightWidth(720, 1280));
    QMLNotify::instance()->triggerSgNotifyH5(QStringLiteral("{\"func\": \"alert(1);x\", \"param\": []}"));
    ASSERT_TRUE(h.waitForReport(QStringLiteral("toast")));
    ASSERT_TRUE(h.waitForReport(QStringLiteral("video")));
    EXPECT_EQ(h.reportOf(QStringLiteral("toast"))->data.toArray(),
        QJsonArray({ QStringLiteral("say \"hi\" \\ 你好"), QStringLiteral("info"), QStringLiteral("1500") }));
    EXPECT_EQ(h.reportOf(QStringLiteral("video"))->data.toArray(), QJsonArray({ "720", "1280" }));
}

// In a room the window tells the page its delays every few seconds; the
// third is the network test's last service ping.
TEST(BrowserPage, TheServerDelayReachesThePage)
{
    const QString page = writePage(QStringLiteral("delay.html"), pageWithScript(QStringLiteral(R"JS(
function jsFunPingTcp(transport, lastmile, server) { report('delay', [transport, lastmile, server]); }
window.addEventListener('load', function () { report('loaded', ''); });
)JS")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("loaded")));
    QMetaObject::invokeMethod(NetworkTestController::instance(), "callback_gethttping", Q_ARG(int, 37));
    emit h.agora->rtcStats(40);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("delay")));
    EXPECT_EQ(h.reportOf(QStringLiteral("delay"))->data.toArray(), QJsonArray({ "0", "40", "37" }));
}

TEST(BrowserPage, RepliesMeantForAnEarlierPageNeverReachTheReloadedOne)
{
    // "test://hold" gets no answer, so its callback stays pending across the reload.
    const QString page = writePage(QStringLiteral("reload.html"), pageWithScript(QStringLiteral(R"JS(
window.addEventListener('load', function () {
    var id = qtQuery({request: 'test://hold', onSuccess: function (v) { report('held', v); }});
    report('holding', id);
});
)JS")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("holding")));
    const QString firstId = h.reportOf(QStringLiteral("holding"))->data.toString();
    h.reports.clear();
    h.cef->load(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("holding")));
    const QString secondId = h.reportOf(QStringLiteral("holding"))->data.toString();
    EXPECT_NE(firstId, secondId);

    auto reply = [&](const QString &id, const QString &value) {
        h.cef->sendToWeb(QStringLiteral("qtQueryCallback({\"request\":\"test://hold\",\"status\":\"success\","
                                        "\"id\":\"%1\",\"successMsg\":\"%2\"})")
                             .arg(id, value));
    };
    reply(firstId, QStringLiteral("stale"));
    reply(secondId, QStringLiteral("fresh"));
    ASSERT_TRUE(h.waitForReport(QStringLiteral("held")));
    harness::processEventsFor(300);
    EXPECT_EQ(h.reportCount(QStringLiteral("held")), 1);
    EXPECT_EQ(h.reportOf(QStringLiteral("held"))->data.toString(), QStringLiteral("fresh"));
}

TEST(BrowserPage, FailingMainUrlWalksTheModesThenShowsTheLocalErrorPage)
{
    LMRConfig *config = LMRConfig::instance();
    const int port = harness::freePort();
    const QString mainUrl = QStringLiteral("http://127.0.0.1:%1/qt1").arg(port);
    config->setValue(QStringLiteral("Browser/MainUrl"), mainUrl);
    config->setValue(QStringLiteral("Browser/CDNUrl"), QStringLiteral("http://127.0.0.1"));
    config->setMainUrlMode(1);
    const QString before = harness::logText();

    BrowserHarness h(config->getMainUrl());
    const QString finished = QStringLiteral("{\"request\":\"local://Finished\"");
    auto finishedCount = [&] {
        int n = 0;
        for (const QString &message : h.messages)
            n += message.startsWith(finished) || message.contains(QStringLiteral("\"local://Finished\""));
        return n;
    };
    ASSERT_TRUE(waitUntil([&] { return finishedCount() == 1; }, 30000));
    QString log = harness::logText().mid(before.size());
    EXPECT_EQ(harness::countOf(log, QStringLiteral("网页加载出错 code:")), 5);
    EXPECT_EQ(harness::countOf(log, QStringLiteral("网页加载失败")), 1);
    EXPECT_EQ(config->getMainUrlMode(), 1); // four switches: 2, 3, 4, back to 1
    EXPECT_EQ(h.client->loadErrorCount(), 0);
    EXPECT_TRUE(h.client->browser()->url().endsWith(QStringLiteral("/res/html/404.html")));

    // The reload button is written in the page's own font, not the browser's serif default.
    h.cef->sendToWeb(QStringLiteral(
        "window.qtQuery({ request: 'local://FontCheck', button: getComputedStyle(document.getElementById('reload'))"
        ".fontFamily, page: getComputedStyle(document.body).fontFamily });"));
    QString fontCheck;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const QString &message : h.messages)
                if (message.contains(QStringLiteral("local://FontCheck")))
                    fontCheck = message;
            return !fontCheck.isEmpty();
        },
        10000));
    const QJsonObject fonts = QJsonDocument::fromJson(fontCheck.toUtf8()).object();
    EXPECT_TRUE(fonts.value("button").toString().contains(QStringLiteral("sans-serif"))) << fontCheck.toStdString();
    EXPECT_EQ(fonts.value("button").toString(), fonts.value("page").toString());

    // The page's reload button goes back to the main URL, and the count starts again.
    h.cef->sendToWeb(QStringLiteral("document.getElementById('reload').click();"));
    ASSERT_TRUE(waitUntil([&] { return finishedCount() == 2; }, 30000));
    log = harness::logText().mid(before.size());
    EXPECT_EQ(harness::countOf(log, QStringLiteral("网页加载出错 code:")), 10);
    EXPECT_EQ(harness::countOf(log, QStringLiteral("网页加载失败")), 2);
    config->setValue(QStringLiteral("Browser/MainUrl"), QString());
}

TEST(BrowserWindows, ResizeAndExtraWindowsById)
{
    const QString page = writePage(QStringLiteral("windows.html"),
        pageWithScript(
            QStringLiteral("window.addEventListener('load', function () { report('loaded', location.href); });")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("loaded")));
    ASSERT_TRUE(h.cef->embedded());
    QQuickItem *item = h.client->browser()->item();
    EXPECT_EQ(item->parentItem(), h.rootCef);

    h.cef->setResize(0, 0, true);
    const QSizeF size = item->size();
    h.cef->setResize(800, 0, true);
    EXPECT_EQ(item->width(), 800);
    EXPECT_EQ(item->height(), size.height());
    h.cef->setResize(640, 480, false);
    EXPECT_EQ(item->width(), 800);

    h.cef->openNewWindow(QStringLiteral("debug"), QStringLiteral("debug"), page, 400, 300);
    ASSERT_EQ(h.cef->windows().size(), 1);
    QCefClient *extra = h.cef->windows().first().second;
    ASSERT_TRUE(extra && extra->browser() && extra->browser()->topLevel());
    QQuickWindow *window = extra->browser()->topLevel();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->width(), 400);
    window->hide();
    const QString again = QUrl::fromLocalFile(page).toString() + QStringLiteral("?again");
    h.cef->openNewWindow(QStringLiteral("debug"), QStringLiteral("debug"), again, 400, 300);
    EXPECT_EQ(h.cef->windows().size(), 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitUntil([&] { return extra->browser()->url().endsWith(QStringLiteral("?again")); }));
    EXPECT_EQ(h.app->clients().size(), 2);

    // Closing the window drops it from both lists.
    window->close();
    EXPECT_TRUE(waitUntil([&] { return h.cef->windows().isEmpty(); }));
    EXPECT_EQ(h.app->clients().size(), 1);
}

TEST(BrowserPage, FinishedDownloadIsToldToThePage)
{
    const QString page = writePage(QStringLiteral("download.html"), pageWithScript(QStringLiteral(R"JS(
function h5DownloadState(state) { report('download', state); }
window.addEventListener('load', function () {
    var link = document.createElement('a');
    link.href = 'data:text/plain;charset=utf-8,lesson%20notes';
    link.download = 'notes.txt';
    document.body.appendChild(link);
    link.click();
});
)JS")));
    BrowserHarness h(page);
    ASSERT_TRUE(h.waitForReport(QStringLiteral("download"), 20000));
    EXPECT_EQ(h.reportOf(QStringLiteral("download"))->data.toString(), QStringLiteral("Completed"));
    QFile saved(QDir::homePath() + QStringLiteral("/Downloads/notes.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("lesson notes"));
}

TEST(DemoLesson, TheServedPageFindsTheBridgeAndIsAnswered)
{
    harness::DevService service;
    ASSERT_TRUE(service.start());

    LMRConfig *config = LMRConfig::instance();
    config->setValue(QStringLiteral("Browser/MainUrl"), service.lessonUrl());
    config->setMainUrlMode(1);
    BrowserHarness h(config->getMainUrl());
    // The demo page knows nothing of the harness: read its logs from outside.
    auto readLogs = [&](const QString &kind) {
        h.reports.clear();
        h.cef->sendToWeb(QStringLiteral("qtQuery({request: 'test://report', kind: '%1', data: "
                                        "{replies: document.getElementById('replies').innerText, notifications: "
                                        "document.getElementById('notifications').innerText, status: "
                                        "document.getElementById('status').innerText, banner: "
                                        "document.getElementById('banner').hidden}});")
                             .arg(kind));
        return h.waitForReport(kind, 5000) ? h.reportOf(kind)->data.toObject() : QJsonObject();
    };
    auto click = [&](const char *id, const QString &expectedReply) {
        h.cef->sendToWeb(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
        return waitUntil(
            [&] { return readLogs(QStringLiteral("logs")).value("replies").toString().contains(expectedReply); },
            15000);
    };
    ASSERT_TRUE(waitUntil([&] { return !readLogs(QStringLiteral("ready")).isEmpty(); }, 20000));
    EXPECT_TRUE(readLogs(QStringLiteral("ready")).value("banner").toBool()); // bridge present: no warning

    ASSERT_TRUE(click("btnVersion", QStringLiteral("jsVersion:// ok 5.0.6")));
    // Leaving before any room is entered is answered at once.
    ASSERT_TRUE(click("btnLeaveRoom", QStringLiteral("agora://VoiceRoomLogout ok")));
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("media role error")));

    // Signing in, joining and the room itself, from this page: test_classroom's lessons.
    config->setValue(QStringLiteral("Browser/MainUrl"), QString());
}

int main(int argc, char **argv)
{
    qputenv("LUMIRA_DIALOG_AUTO_ACCEPT_MS", "50");
    return harness::runBrowserTests(argc, argv, "browser");
}
