// A demo class as a person runs it: the page served by the development service,
// sign in, join, enter the Agora room of the simulated class; then look at the
// window: the tiles must show moving video, not placeholders.
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

using harness::BrowserHarness;
using harness::waitUntil;

namespace
{

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

class Classroom : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        LMRConfig *config = LMRConfig::instance();
        config->setValue(QStringLiteral("Browser/MainUrl"), service.lessonUrl());
        config->setMainUrlMode(1);
        h = std::make_unique<BrowserHarness>(config->getMainUrl());
        h->view->resize(1280, 720);
        ASSERT_TRUE(waitUntil([&] { return h->cef->embedded(); }));
        harness::processEventsFor(1500); // the page paints
    }
    void TearDown() override
    {
        if (h && LMRAgora::inRoom()) {
            click("btnLeaveRoom");
            waitUntil([&] { return !LMRAgora::inRoom(); });
        }
        h.reset();
        LMRConfig::instance()->setValue(QStringLiteral("Browser/MainUrl"), QString());
    }

    void js(const QString &code) { h->cef->sendToWeb(code); }
    void click(const char *id) { js(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id))); }

    // Sets up the simulated room and the class from the page, signs in, joins
    // and enters the Agora room.
    void joinClass(int category, int peers)
    {
        js(QStringLiteral("document.getElementById('simPeers').value = '%1';"
                          "document.getElementById('simJoinDelay').value = '100';"
                          "document.getElementById('classType').value = '%2';")
                .arg(peers)
                .arg(category));
        click("btnSimApply");
        ASSERT_TRUE(waitUntil([&] { return int(simroom::Room::instance().config().peers.size()) == peers; }));
        click("btnSignIn");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; }));
        click("btnJoin");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->classToken() == QLatin1String("demo-class-1"); }));
        click("btnEnterRoom");
        ASSERT_TRUE(waitUntil([&] { return LMRAgora::inRoom() && LMRUserInfo::instance()->getIsEnterAgora(); }));
        // Peers arrive one after another (300 ms + 400 ms each); video replaces placeholders.
        harness::processEventsFor(1500 + 400 * peers);
    }

    QList<QRectF> tileRects()
    {
        QList<QRectF> rects;
        QQuickItem *loader = h->view->rootObject()->findChild<QQuickItem *>(QStringLiteral("m_videoViewLoader"));
        QObject *window = loader ? loader->property("item").value<QObject *>() : nullptr;
        const int count = window ? window->property("count").toInt() : 0;
        for (int i = 0; i < count; ++i) {
            QVariant tile;
            QMetaObject::invokeMethod(window, "tileAt", Q_RETURN_ARG(QVariant, tile), Q_ARG(QVariant, i));
            if (auto *item = qobject_cast<QQuickItem *>(tile.value<QObject *>()))
                rects << item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        }
        return rects;
    }

    // Two looks 700 ms apart: every tile's picture must have changed (the test
    // pattern's bar moves); a placeholder would not.
    void expectMovingTiles(int expected, const QString &shot)
    {
        const QList<QRectF> rects = tileRects();
        ASSERT_EQ(rects.size(), expected);
        const QImage first = h->view->grabWindow();
        harness::processEventsFor(700);
        const QImage second = h->view->grabWindow();
        ASSERT_FALSE(first.isNull());
        first.save(shotPath(shot));
        const qreal dpr = h->view->devicePixelRatio();
        for (int t = 0; t < rects.size(); ++t) {
            const QRect r = QRectF(rects[t].topLeft() * dpr, rects[t].size() * dpr).toRect().adjusted(4, 4, -4, -30);
            int differing = 0;
            for (int y = r.top(); y < r.bottom(); ++y)
                for (int x = r.left(); x < r.right(); ++x)
                    differing += first.pixel(x, y) != second.pixel(x, y);
            EXPECT_GT(differing, 50) << "tile " << t << " is not moving in " << shot.toStdString();
        }
    }

    harness::DevService service;
    std::unique_ptr<BrowserHarness> h;
};

TEST_F(Classroom, OneToOneClassShowsMovingVideoAfterJoining)
{
    h->view->grabWindow().save(shotPath("classroom-empty.png"));
    joinClass(1, 1);
    expectMovingTiles(2, "classroom-1v1.png");
}

TEST_F(Classroom, CloseButtonAsksBeforeQuitting)
{
    QQuickItem *root = h->view->rootObject();
    QMetaObject::invokeMethod(root, "askQuit");
    QObject *box = root->findChild<QObject *>(QStringLiteral("m_msgBox"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->property("opened").toBool());
    EXPECT_EQ(box->property("msgId").toString(), QStringLiteral("quit"));
    harness::processEventsFor(300);
    h->view->grabWindow().save(shotPath("classroom-quit.png"));
    QMetaObject::invokeMethod(box, "close");
}

TEST_F(Classroom, MiniClassAndOneToManyShowEveryPeer)
{
    joinClass(5, 3);
    expectMovingTiles(4, "classroom-mini.png");
    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !LMRAgora::inRoom(); }));
    joinClass(7, 4);
    expectMovingTiles(5, "classroom-1vn.png");
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
