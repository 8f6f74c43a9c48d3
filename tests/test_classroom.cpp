// A demo class as a person runs it: the page served by the development service,
// sign in, join, enter the Agora room of the simulated class; then look at the
// window: the tiles must show moving video, not placeholders.
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

using harness::BrowserHarness;
using harness::waitUntil;

namespace
{

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// Where screenshots go: LUMIRA_SCREENSHOT_DIR when set, else the sandbox.
QString shotPath(const QString &name)
{
    const QString dir = qEnvironmentVariableIsSet("LUMIRA_SCREENSHOT_DIR")
        ? qEnvironmentVariable("LUMIRA_SCREENSHOT_DIR")
        : testenv::sandboxRoot();
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

} // namespace

TEST(Classroom, OneToOneClassShowsMovingVideoAfterJoining)
{
    QProcess service;
    const int port = freePort();
    service.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_devservice"), { "--port", QString::number(port) });
    ASSERT_TRUE(service.waitForReadyRead(10000));
    struct Stop {
        QProcess &p;
        ~Stop()
        {
            p.terminate();
            p.waitForFinished(5000);
        }
    } stop { service };

    simroom::Config room;
    room.joinDelayMs = 100;
    room.peers = { { 20002, "Demo Student", 200, 100, -1, true } };
    simroom::Room::instance().setConfig(room);

    LMRConfig *config = LMRConfig::instance();
    config->setValue(QStringLiteral("Browser/MainUrl"), QStringLiteral("http://127.0.0.1:%1/qt1").arg(port));
    config->setMainUrlMode(1);
    BrowserHarness h(config->getMainUrl());
    h.view->resize(1280, 720);
    ASSERT_TRUE(waitUntil([&] { return h.cef->embedded(); }));
    harness::processEventsFor(1500); // the page paints
    const QImage empty = h.view->grabWindow();
    ASSERT_FALSE(empty.isNull());
    empty.save(shotPath("classroom-empty.png"));

    auto click = [&](const char *id) {
        h.cef->sendToWeb(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id)));
    };
    click("btnSignIn");
    ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; }));
    click("btnJoin");
    ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->classToken() == QLatin1String("demo-class-1"); }));
    click("btnEnterRoom");
    ASSERT_TRUE(waitUntil([&] { return LMRAgora::inRoom() && LMRUserInfo::instance()->getIsEnterAgora(); }));

    QQuickItem *root = h.view->rootObject();
    QQuickItem *videoArea = root->findChild<QQuickItem *>(QStringLiteral("videoArea"));
    ASSERT_TRUE(videoArea);
    ASSERT_TRUE(waitUntil([&] { return videoArea->isVisible(); }));
    harness::processEventsFor(2500); // remote video starts and replaces the placeholder

    const QImage first = h.view->grabWindow();
    harness::processEventsFor(700);
    const QImage second = h.view->grabWindow();
    first.save(shotPath("classroom-1v1.png"));

    // Both tiles (teacher above, student below) change between the two looks:
    // the test pattern's bar moves. Placeholders would stay the same.
    const QRectF area = videoArea->mapRectToScene(QRectF(0, 0, videoArea->width(), videoArea->height()));
    const qreal dpr = h.view->devicePixelRatio();
    auto changed = [&](qreal top, qreal bottom) {
        int differing = 0;
        for (int y = int((area.top() + top) * dpr); y < int((area.top() + bottom) * dpr); y += 3)
            for (int x = int(area.left() * dpr) + 10; x < int(area.right() * dpr) - 10; x += 3)
                differing += first.pixel(x, y) != second.pixel(x, y);
        return differing;
    };
    const qreal tileHeight = (area.width() - 16) * 3 / 4;
    EXPECT_GT(changed(8, 8 + tileHeight), 20) << "teacher tile is not moving";
    EXPECT_GT(changed(16 + tileHeight, 16 + 2 * tileHeight), 20) << "student tile is not moving";

    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !LMRAgora::inRoom(); }));
    config->setValue(QStringLiteral("Browser/MainUrl"), QString());
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("classroom");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QCefApp::prepareProcess();
    QApplication app(argc, argv);
    harness::setUp();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
