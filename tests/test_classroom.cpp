// Demo classes as a person runs them: the page served by the development
// service, sign in, join, enter the media room of the simulated class; then
// look at the window. Every vendor goes through the same lesson: moving
// tiles, a peer's camera off and on, ten seconds recorded as stereo (our
// microphone left, the class right), uploaded, and leaving.
#include "AudioCheck.h"
#include "BrowserHarness.h"
#include "CompositorSelection.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "record/AVFileStoreMP3.h"
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
#include <atomic>
#include <chrono>
#include <thread>

#include <simroom/SimRoom.h>

extern "C" {
#include <libavutil/opt.h>
}

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

// Samples the MP3 encoder puts before the first one it was given (set up as
// the recorder sets it up): a bare MP3 stream has no header that would tell
// a decoder to drop them.
int encoderPriming()
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
    AVCodecContext *context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context)
        return 0;
    context->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16P;
    context->sample_rate = 16000;
    context->bit_rate = AVFileStoreMP3::kBitRate;
    av_channel_layout_from_mask(&context->ch_layout, AV_CH_LAYOUT_STEREO);
    if (codec->priv_class)
        av_opt_set(context->priv_data, "reservoir", "0", 0);
    const int priming = avcodec_open2(context, codec, nullptr) >= 0 ? context->initial_padding : 0;
    avcodec_free_context(&context);
    return priming;
}

// A vendor as the page names it (its request scheme) and as the test sees it.
struct Vendor {
    const char *scheme;
    bool (*inRoom)(const BrowserHarness &h);
};

const Vendor kAgora { "agora",
    [](const BrowserHarness &) { return LMRAgora::inRoom() && LMRUserInfo::instance()->getIsEnterAgora(); } };

void PrintTo(const Vendor &vendor, std::ostream *os) { *os << vendor.scheme; }

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
        if (h && vendor.inRoom(*h)) {
            click("btnLeaveRoom");
            waitUntil([&] { return !vendor.inRoom(*h); });
        }
        h.reset();
        LMRConfig::instance()->setValue(QStringLiteral("Browser/MainUrl"), QString());
    }

    void js(const QString &code) { h->cef->sendToWeb(code); }
    void click(const char *id) { js(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id))); }

    // Sets up the simulated room and the class from the page, signs in, joins
    // and enters the vendor's room.
    void joinClass(int category, int peers)
    {
        js(QStringLiteral("document.getElementById('simPeers').value = '%1';"
                          "document.getElementById('simJoinDelay').value = '100';"
                          "document.getElementById('classType').value = '%2';"
                          "document.getElementById('vendor').value = '%3';")
                .arg(peers)
                .arg(category)
                .arg(QLatin1String(vendor.scheme)));
        click("btnSimApply");
        ASSERT_TRUE(waitUntil([&] { return int(simroom::Room::instance().config().peers.size()) == peers; }));
        click("btnSignIn");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; }));
        click("btnJoin");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->classToken() == QLatin1String("demo-class-1"); }));
        click("btnEnterRoom");
        ASSERT_TRUE(waitUntil([&] { return vendor.inRoom(*h); }));
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

    // What the page's reply list shows, read through the bridge.
    QString pageReplies()
    {
        const int before = h->reportCount(QStringLiteral("replies"));
        js(QStringLiteral("qtQuery({request: 'test://report', kind: 'replies',"
                          " data: document.getElementById('replies').innerText});"));
        if (!waitUntil([&] { return h->reportCount(QStringLiteral("replies")) > before; }))
            return QString();
        return h->reports.last().data.toString();
    }

    Vendor vendor = kAgora;
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
    ASSERT_TRUE(waitUntil([&] { return !vendor.inRoom(*h); }));
    // A teacher's camera stays closed in a training class: the own tile
    // (the first) keeps its placeholder while the four students' move.
    joinClass(6, 4);
    expectMovingTiles(5, "classroom-training.png", 0);
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

class VendorLesson : public Classroom, public ::testing::WithParamInterface<Vendor>
{
protected:
    void SetUp() override
    {
        vendor = GetParam();
        Classroom::SetUp();
    }
};

TEST_P(VendorLesson, TilesCameraRecordingUploadAndLeaving)
{
    const QString scheme = QLatin1String(vendor.scheme);
    joinClass(1, 1);
    EXPECT_TRUE(pageReplies().contains(scheme + QStringLiteral("://VoiceRoomLogin ok"))) << "the login is answered";
    expectMovingTiles(2, QStringLiteral("classroom-%1.png").arg(scheme));

    // The peer's camera off from the page: its tile (found by the vendor's
    // id for the peer) shows the placeholder until the camera is back on.
    QVariant peerTile;
    QMetaObject::invokeMethod(h->root(), "tileFor", Q_RETURN_ARG(QVariant, peerTile), Q_ARG(QVariant, "20002"));
    QObject *peer = peerTile.value<QObject *>();
    ASSERT_TRUE(peer);
    auto peerAction = [&](const char *action) {
        js(QStringLiteral("document.getElementById('simPeer').value = '20002';"
                          "document.querySelector('#simPeerActions [data-action=%1]').click();")
                .arg(QLatin1String(action)));
    };
    ASSERT_FALSE(peer->property("isShowBackground").toBool());
    peerAction("camera_off");
    EXPECT_TRUE(waitUntil([&] { return peer->property("isShowBackground").toBool(); }));
    peerAction("camera_on");
    EXPECT_TRUE(waitUntil([&] { return !peer->property("isShowBackground").toBool(); }));

    // The page opens our microphone through the engine in use (this machine
    // has none the class would open by itself).
    js(QStringLiteral("qtQuery({request: '%1://VoiceDeviceControl', device: 'mic', open: true,"
                      " onSuccess: function () { qtQuery({request: 'test://report', kind: 'mic', data: 'open'}); }});")
            .arg(scheme));
    ASSERT_TRUE(h->waitForReport(QStringLiteral("mic")));

    // Ten seconds from the moment the recorder takes frames, timed on a
    // thread of its own: the window's thread is busy painting and would
    // stop late.
    const QString file = DirHelper::instance()->recordPath() + QStringLiteral("/demo-class-1_10001_pc.mp3");
    QFile::remove(file);
    RecordState &state = h->recorder->state();
    std::atomic<bool> opened { false }, finished { false };
    std::thread timer([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!state.recording && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (state.recording) {
            opened = true;
            std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::seconds(10));
            h->recorder->stopRecord(); // forwards by queued signal: any thread
        }
        finished = true;
    });
    click("btnStartRecord");
    waitUntil([&] { return finished.load(); }, 30000);
    timer.join();
    ASSERT_TRUE(opened) << "the recording did not start";
    ASSERT_TRUE(waitUntil([&] { return state.fileClosed.load() && state.store.load() == nullptr; }, 15000));

    const audiocheck::Decoded d = audiocheck::decode(file);
    const double priming = double(encoderPriming()) / 16000;
    std::printf("%s class: %.3f s decoded, %.3f s of it the encoder's priming\n", vendor.scheme, d.seconds(), priming);
    EXPECT_EQ(d.channels, 2);
    EXPECT_GT(priming, 0.0);
    EXPECT_NEAR(d.seconds() - priming, 10.0, 0.1);
    EXPECT_NEAR(audiocheck::frequency(d.left, 16000), 440, 5) << "our microphone on the left";
    EXPECT_NEAR(audiocheck::frequency(d.right, 16000), 660, 5) << "the class we hear on the right";

    // The page's stop (the recorder has stopped already) hands the lesson to
    // the upload, which puts it in the store and reports its address.
    click("btnStopRecord");
    const QString stored = service.ossDir + QStringLiteral("/lumira-files/pc-class-voice/")
        + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("/demo-class-1_10001_pc.mp3");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(stored).size() == QFileInfo(file).size(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return !h->recorder->isUploading(); }, 30000));
    EXPECT_TRUE(LMRRecordSQLite::instance()->getTokenIsNotEmpty("demo-class-1", "10001"));
    harness::processEventsFor(800);
    h->view->grabWindow().save(shotPath(QStringLiteral("classroom-%1-uploaded.png").arg(scheme)));

    // Leaving from the page answers it once the engine has left.
    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !vendor.inRoom(*h); }));
    EXPECT_TRUE(waitUntil([&] { return pageReplies().contains(scheme + QStringLiteral("://VoiceRoomLogout ok")); }));
    EXPECT_TRUE(harness::logText().contains(scheme + QStringLiteral(" roomlogout callback")));
    EXPECT_TRUE(LMRUserInfo::instance()->getIsEnterUnknow());
    js(QStringLiteral("qtQuery({request: 'test://report', kind: 'notifications',"
                      " data: document.getElementById('notifications').innerText});"));
    ASSERT_TRUE(h->waitForReport(QStringLiteral("notifications")));
    const QString notifications = h->reportOf(QStringLiteral("notifications"))->data.toString();
    EXPECT_TRUE(notifications.contains(QStringLiteral("jsQuitRoomNotify()"))) << notifications.toStdString();
    EXPECT_TRUE(notifications.contains(QStringLiteral("jsFunCtrl({\"writingPad\":false})")));
}

INSTANTIATE_TEST_SUITE_P(EveryVendor, VendorLesson,
    ::testing::Values(kAgora,
        Vendor { "trtc",
            [](const BrowserHarness &h) { return h.trtc->inRoom() && LMRUserInfo::instance()->getIsEnterTRtc(); } },
        Vendor { "zego",
            [](const BrowserHarness &h) { return h.zego->inRoom() && LMRUserInfo::instance()->getIsEnterZgRtc(); } },
        Vendor { "qcloud",
            [](const BrowserHarness &h) { return h.ilive->inRoom() && LMRUserInfo::instance()->getIsEnterILive(); } }),
    [](const ::testing::TestParamInfo<Vendor> &info) { return std::string(info.param.scheme); });

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "classroom"); }
