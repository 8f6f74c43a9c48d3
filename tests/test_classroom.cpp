// A demo class as a person runs it: the page served by the development service,
// sign in, join, enter the Agora room of the simulated class; then look at the
// window: the tiles must show moving video, not placeholders.
#include "AudioCheck.h"
#include "BrowserHarness.h"
#include "CompositorSelection.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordState.h"
#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QQuickWindow>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>

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
        h = std::make_unique<BrowserHarness>(config->getMainUrl(), &service);
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
        // Peers arrive one after another; a loaded machine may take longer
        // than the room's schedule, so wait for their tiles, not for a time.
        ASSERT_TRUE(waitUntil([&] { return tileRects().size() == peers + 1; }, 20000));
        harness::processEventsFor(500); // video replaces the placeholders
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

    // Looks 400 ms apart: every tile's picture must change in two looks in a
    // row (the test pattern's bar moves); a placeholder would not, nor a
    // picture that froze. A loaded machine may take its time to start a
    // peer's video, so the looks go on until then, or for 20 s. The tile
    // `still`, when given, must not move (a camera that stays closed).
    void expectMovingTiles(int expected, const QString &shot, int still = -1)
    {
        const QList<QRectF> rects = tileRects();
        ASSERT_EQ(rects.size(), expected);
        const qreal dpr = h->view->devicePixelRatio();
        QImage previous = h->view->grabWindow();
        ASSERT_FALSE(previous.isNull());
        QVector<int> moved(rects.size(), 0); // looks in a row that changed
        waitUntil(
            [&] {
                harness::processEventsFor(400);
                const QImage current = h->view->grabWindow();
                for (int t = 0; t < rects.size(); ++t) {
                    const QRect r
                        = QRectF(rects[t].topLeft() * dpr, rects[t].size() * dpr).toRect().adjusted(4, 4, -4, -30);
                    int differing = 0;
                    for (int y = r.top(); y < r.bottom(); ++y)
                        for (int x = r.left(); x < r.right(); ++x)
                            differing += previous.pixel(x, y) != current.pixel(x, y);
                    moved[t] = differing > 50 ? moved[t] + 1 : 0;
                }
                previous = current;
                for (int t = 0; t < moved.size(); ++t)
                    if (t != still && moved[t] < 2)
                        return false;
                return true;
            },
            20000);
        previous.save(shotPath(shot));
        for (int t = 0; t < rects.size(); ++t) {
            if (t == still)
                EXPECT_EQ(moved[t], 0) << "tile " << t << " moves in " << shot.toStdString();
            else
                EXPECT_GE(moved[t], 2) << "tile " << t << " is not moving in " << shot.toStdString();
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

    // The video window moved out into its own window keeps playing there.
    QQuickItem *root = h->root();
    QMetaObject::invokeMethod(root, "moveView");
    QQuickWindow *videoWindow = nullptr;
    for (QWindow *w : QGuiApplication::topLevelWindows())
        if (w->title() == QLatin1String("lumira_video"))
            videoWindow = qobject_cast<QQuickWindow *>(w);
    ASSERT_TRUE(videoWindow);
    ASSERT_TRUE(waitUntil([&] { return videoWindow->isExposed(); }));
    // The names the lock-screen focus filter lets through belong to windows.
    EXPECT_EQ(videoWindow->objectName(), QStringLiteral("m_videoViewLoader"));
    EXPECT_EQ(h->view->objectName(), QStringLiteral("root"));
    EXPECT_EQ(h->view->title(), QStringLiteral("Lumira"));
    EXPECT_EQ(int(h->view->flags()), 0x8004903);
    // Beside the main window (to its right, where there is room), on its
    // screen, below the level of its title bar.
    const QRect main = h->view->geometry();
    const QRect beside = videoWindow->geometry();
    EXPECT_GE(beside.left(), main.left() + main.width()) << "video window at " << beside.x() << "," << beside.y();
    EXPECT_GE(beside.top(), main.top() + 40);
    EXPECT_EQ(videoWindow->screen(), h->view->screen());
    EXPECT_TRUE(h->view->screen()->availableGeometry().contains(beside));
    harness::processEventsFor(500);
    const QImage first = videoWindow->grabWindow();
    harness::processEventsFor(700);
    const QImage second = videoWindow->grabWindow();
    ASSERT_FALSE(first.isNull());
    first.save(shotPath("classroom-video-window.png"));
    EXPECT_NE(first, second) << "the moved-out tiles still show moving video";
    QMetaObject::invokeMethod(root, "moveView");
    EXPECT_TRUE(waitUntil([&] { return !videoWindow->isVisible(); }));
    expectMovingTiles(2, "classroom-1v1-back.png");

    // Against the screen's right edge it opens on the left.
    const QRect area = h->view->screen()->availableGeometry();
    h->view->setPosition(area.right() + 1 - h->view->width(), area.top());
    ASSERT_TRUE(waitUntil([&] { return h->view->x() == area.right() + 1 - h->view->width(); }));
    QMetaObject::invokeMethod(root, "moveView");
    ASSERT_TRUE(waitUntil([&] { return videoWindow->isExposed(); }));
    EXPECT_LE(videoWindow->geometry().right(), h->view->x()) << "video window at " << videoWindow->x();
    EXPECT_TRUE(area.contains(videoWindow->geometry()));
    QMetaObject::invokeMethod(root, "moveView");
    EXPECT_TRUE(waitUntil([&] { return !videoWindow->isVisible(); }));
}

TEST_F(Classroom, CloseButtonAsksBeforeQuitting)
{
    QQuickItem *root = h->root();
    QMetaObject::invokeMethod(root, "askQuit");
    QObject *box = root->findChild<QObject *>(QStringLiteral("m_msgBox"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->property("opened").toBool());
    EXPECT_EQ(box->property("msgId").toString(), QStringLiteral("quit"));
    harness::processEventsFor(300);
    h->view->grabWindow().save(shotPath("classroom-quit.png"));
    QMetaObject::invokeMethod(box, "close");
}

TEST_F(Classroom, MiniClassAndTrainingClassShowEveryPeer)
{
    joinClass(5, 3);
    expectMovingTiles(4, "classroom-mini.png");
    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !LMRAgora::inRoom(); }));
    // A teacher's camera stays closed in a training class: the own tile
    // (the first) keeps its placeholder while the four students' move.
    joinClass(6, 4);
    expectMovingTiles(5, "classroom-training.png", 0);
}

TEST_F(Classroom, RecordingFromThePageGivesAStereoMp3)
{
    joinClass(1, 1);
    const QString file = DirHelper::instance()->recordPath() + QStringLiteral("/demo-class-1_10001_pc.mp3");
    QFile::remove(file);
    RecordState &state = h->recorder->state();
    click("btnStartRecord");
    ASSERT_TRUE(waitUntil([&] { return !state.fileClosed; }));
    QElapsedTimer open;
    open.start();
    harness::processEventsFor(3000);
    click("btnStopRecord");
    ASSERT_TRUE(waitUntil([&] { return state.fileClosed.load() && state.store.load() == nullptr; }));
    // The file holds as long as it was open (the stop crosses the page and
    // the bridge, which takes its time on a loaded machine).
    const double openSeconds = double(open.elapsed()) / 1000;
    const audiocheck::Decoded d = audiocheck::decode(file);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(d.seconds(), openSeconds, 0.3);
    EXPECT_NEAR(audiocheck::frequency(d.left, 16000), 440, 5) << "our microphone on the left";
    EXPECT_NEAR(audiocheck::frequency(d.right, 16000), 660, 5) << "the class we hear on the right";

    // Stopping hands it to the upload: the store gets it, the page shows its address.
    const QString stored = service.ossDir + QStringLiteral("/lumira-files/pc-class-voice/")
        + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("/demo-class-1_10001_pc.mp3");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(stored).size() == QFileInfo(file).size(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return !h->recorder->isUploading(); }, 30000));
    harness::processEventsFor(800);
    h->view->grabWindow().save(shotPath("classroom-uploaded.png"));
    EXPECT_TRUE(LMRRecordSQLite::instance()->getTokenIsNotEmpty("demo-class-1", "10001"));
}

TEST_F(Classroom, SettingsViewAndEyeOverlay)
{
    QQuickItem *root = h->root();
    QMetaObject::invokeMethod(root, "showMainSettingView");
    harness::processEventsFor(400);
    QObject *settings = root->findChild<QObject *>(QStringLiteral("SettingView"));
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->property("opened").toBool());
    h->view->grabWindow().save(shotPath("classroom-settings.png"));
    QMetaObject::invokeMethod(settings, "close");

    LMRConfig::instance()->setProtectedEyeValue(0.3);
    // The overlay window is for desktops that blend it: stand in for a
    // compositing manager (the screen without one: test_nocompositor).
    testenv::CompositorSelection manager;
    ASSERT_TRUE(manager.ok());
    QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, true));
    QQuickWindow *eye = nullptr;
    for (QWindow *w : QGuiApplication::topLevelWindows())
        if (w->title() == QLatin1String("lumira_eye"))
            eye = qobject_cast<QQuickWindow *>(w);
    ASSERT_TRUE(eye);
    ASSERT_TRUE(waitUntil([&] { return eye->isExposed(); }));
    EXPECT_TRUE(eye->flags() & Qt::WindowTransparentForInput) << "clicks must reach the class";
    QQuickItem *inWindowTint = root->findChild<QQuickItem *>(QStringLiteral("eyeTint"));
    ASSERT_TRUE(inWindowTint);
    EXPECT_FALSE(inWindowTint->isVisible()) << "the overlay tints already: not twice";
    harness::processEventsFor(300);
    // What a desktop compositor shows: the tint blended over the class window.
    QImage seen = h->view->grabWindow().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage tint = eye->grabWindow();
    ASSERT_FALSE(tint.isNull());
    const QRgb before = seen.pixel(seen.width() / 4, seen.height() / 2);
    {
        QPainter painter(&seen);
        const QPoint offset = eye->position() - h->view->position();
        painter.drawImage(offset, tint);
    }
    seen.save(shotPath("classroom-eye.png"));
    const QRgb after = seen.pixel(seen.width() / 4, seen.height() / 2);
    EXPECT_LT(qBlue(after), qBlue(before)) << "a warm tint takes blue away";
    EXPECT_GT(qAlpha(tint.pixel(10, 10)), 60);
    EXPECT_LT(qAlpha(tint.pixel(10, 10)), 100) << "0.3 of full strength";
    QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, false));
    EXPECT_TRUE(waitUntil([&] { return !eye->isVisible(); }));
}

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "classroom"); }
