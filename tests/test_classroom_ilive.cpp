// A demo class on the iLive engine, run from the page served by the development
// service in the real window: the tiles must show moving video, and ten
// seconds of recording must give ten seconds of stereo with our microphone on
// the left and the class on the right.
#include "AudioCheck.h"
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "record/RecordState.h"
#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <ILiveStandinControl.h>
#include <simroom/SimRoom.h>

using harness::BrowserHarness;
using harness::waitUntil;

namespace
{
// From the first to the last sample louder than `loud`, in either channel.
double audibleSeconds(const audiocheck::Decoded &d, int16_t loud)
{
    long first = -1, last = -1;
    for (size_t i = 0; i < d.left.size(); ++i) {
        if (std::abs(d.left[i]) > loud || std::abs(d.right[i]) > loud) {
            if (first < 0)
                first = long(i);
            last = long(i);
        }
    }
    return first < 0 || d.rate <= 0 ? 0.0 : double(last - first + 1) / d.rate;
}
} // namespace

class ILiveClassroom : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        LMRConfig *config = LMRConfig::instance();
        config->setValue(QStringLiteral("Browser/MainUrl"), service.lessonUrl());
        config->setMainUrlMode(1);
        // As the device test would have chosen them.
        config->setCameraId(QStringLiteral("sim-camera-0"));
        config->setMicId(QStringLiteral("sim-mic"));
        config->setSpeakerId(QStringLiteral("sim-speaker"));
        h = std::make_unique<BrowserHarness>(config->getMainUrl(), &service);
        h->view->resize(1280, 720);
        ASSERT_TRUE(waitUntil([&] { return h->cef->embedded(); }));
        harness::processEventsFor(1500); // the page paints
    }
    void TearDown() override
    {
        if (h && h->ilive->inRoom()) {
            click("btnLeaveRoom");
            waitUntil([&] { return !h->ilive->inRoom(); });
        }
        h.reset();
        LMRConfig::instance()->setValue(QStringLiteral("Browser/MainUrl"), QString());
    }

    void js(const QString &code) { h->cef->sendToWeb(code); }
    void click(const char *id) { js(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id))); }

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

    QList<QQuickItem *> tiles()
    {
        QList<QQuickItem *> list;
        QQuickItem *loader = h->view->rootObject()->findChild<QQuickItem *>(QStringLiteral("m_videoViewLoader"));
        QObject *window = loader ? loader->property("item").value<QObject *>() : nullptr;
        const int count = window ? window->property("count").toInt() : 0;
        for (int i = 0; i < count; ++i) {
            QVariant tile;
            QMetaObject::invokeMethod(window, "tileAt", Q_RETURN_ARG(QVariant, tile), Q_ARG(QVariant, i));
            if (auto *item = qobject_cast<QQuickItem *>(tile.value<QObject *>()))
                list << item;
        }
        return list;
    }

    // Signs in as the teacher of a one-to-one class with one simulated
    // student and enters the class's iLive room from the page.
    void joinILiveClass()
    {
        js(QStringLiteral("document.getElementById('simPeers').value = '1';"
                          "document.getElementById('simJoinDelay').value = '100';"
                          "document.getElementById('classType').value = '1';"
                          "document.getElementById('vendor').value = 'qcloud';"));
        click("btnSimApply");
        ASSERT_TRUE(waitUntil([&] { return simroom::Room::instance().config().peers.size() == 1; }));
        click("btnSignIn");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; }));
        click("btnJoin");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->classToken() == QLatin1String("demo-class-1"); }));
        click("btnEnterRoom");
        ASSERT_TRUE(waitUntil([&] { return h->ilive->inRoom() && LMRUserInfo::instance()->getIsEnterILive(); }));
        ASSERT_TRUE(waitUntil([&] { return tiles().size() == 2; }, 20000));
    }

    // Each tile's picture changes in two looks 400 ms apart, in a row (the
    // test pattern's bar moves; a placeholder would not). A loaded machine
    // may take its time to start a peer's video: the looks go on until then.
    void expectMovingTiles()
    {
        const QList<QQuickItem *> items = tiles();
        ASSERT_EQ(items.size(), 2);
        const qreal dpr = h->view->devicePixelRatio();
        QImage previous = h->view->grabWindow();
        QVector<int> moved(items.size(), 0);
        waitUntil(
            [&] {
                harness::processEventsFor(400);
                const QImage current = h->view->grabWindow();
                bool all = true;
                for (int t = 0; t < items.size(); ++t) {
                    const QRectF scene = items[t]->mapRectToScene(QRectF(0, 0, items[t]->width(), items[t]->height()));
                    const QRect r = QRectF(scene.topLeft() * dpr, scene.size() * dpr).toRect().adjusted(4, 4, -4, -30);
                    int differing = 0;
                    for (int y = r.top(); y < r.bottom(); ++y)
                        for (int x = r.left(); x < r.right(); ++x)
                            differing += previous.pixel(x, y) != current.pixel(x, y);
                    moved[t] = differing > 50 ? moved[t] + 1 : 0;
                    all = all && moved[t] >= 2;
                }
                previous = current;
                return all;
            },
            20000);
        previous.save(QDir(testenv::sandboxRoot()).filePath(QStringLiteral("classroom-ilive.png")));
        for (int t = 0; t < items.size(); ++t)
            EXPECT_GE(moved[t], 2) << "tile " << t << " is not moving";
    }

    harness::DevService service;
    std::unique_ptr<BrowserHarness> h;
};

TEST_F(ILiveClassroom, MovingTilesAndATenSecondRecording)
{
    joinILiveClass();
    EXPECT_TRUE(pageReplies().contains(QStringLiteral("qcloud://VoiceRoomLogin ok"))) << "the login is answered";
    expectMovingTiles();

    // A peer's camera off: its tile shows the placeholder, and the video again once it is back on.
    QQuickItem *peerTile = tiles().value(1);
    ASSERT_TRUE(peerTile);
    ASSERT_FALSE(peerTile->property("isShowBackground").toBool());
    js(QStringLiteral("qtQuery({request: 'simroom://peer', uid: 20002, action: 'camera_off'});"));
    ASSERT_TRUE(waitUntil([&] { return peerTile->property("isShowBackground").toBool(); }));
    js(QStringLiteral("qtQuery({request: 'simroom://peer', uid: 20002, action: 'camera_on'});"));
    ASSERT_TRUE(waitUntil([&] { return !peerTile->property("isShowBackground").toBool(); }));
    EXPECT_TRUE(peerTile->property("isOnline").toBool());
    expectMovingTiles();

    // The page switches our microphone off and on again through the engine in use.
    namespace is = ilive::standin;
    js(QStringLiteral("qtQuery({request: 'qcloud://VoiceDeviceControl', device: 'mic', open: false});"));
    ASSERT_TRUE(waitUntil([] { return is::micInUse().empty(); }));
    js(QStringLiteral("qtQuery({request: 'qcloud://VoiceDeviceControl', device: 'mic', open: true});"));
    ASSERT_TRUE(waitUntil([] { return is::micInUse() == "sim-mic"; }));

    const QString file = DirHelper::instance()->recordPath() + QStringLiteral("/demo-class-1_10001_pc.mp3");
    QFile::remove(file);
    RecordState &state = h->recorder->state();
    // Ten seconds from the moment the recorder takes frames, timed on a
    // thread of its own: the window's thread is busy painting and would stop late.
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
    ASSERT_TRUE(waitUntil([&] { return state.fileClosed.load() && state.store.load() == nullptr; }));

    const audiocheck::Decoded d = audiocheck::decode(file);
    ASSERT_EQ(d.channels, 2);
    // The MP3 starts with the encoder's priming and ends padded to a whole
    // frame, both silent (together under 1105 + 576 samples); between them
    // lie the ten seconds of class audio.
    // The tones at a quarter of their level: the lesson without the codec's
    // smear at its edges; barely above silence: all that is not the codec's.
    const double heard = audibleSeconds(d, 1500);
    const double notSilent = audibleSeconds(d, 300);
    std::printf("ten seconds recorded in the iLive room: %.3f s heard (%.3f s not silent), %.3f s decoded, %.3f s of "
                "microphone and %.3f s of speaker frames received\n",
        heard, notSilent, d.seconds(), double(state.receivedMicFrames.load()) / 100,
        double(state.receivedSpkFrames.load()) / 100);
    EXPECT_NEAR(heard, 10.0, 0.1);
    EXPECT_LE(d.seconds() - notSilent, (1105.0 + 576.0) / 16000) << "more than the codec's silence around the lesson";
    EXPECT_NEAR(audiocheck::frequency(d.left, 16000), 440, 5) << "our microphone on the left";
    EXPECT_NEAR(audiocheck::frequency(d.right, 16000), 660, 5) << "the class we hear on the right";
    EXPECT_GT(audiocheck::rms(d.right), 1000);

    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !h->ilive->inRoom(); }));
    EXPECT_TRUE(waitUntil([&] { return pageReplies().contains(QStringLiteral("qcloud://VoiceRoomLogout ok")); }));
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("qcloud roomlogout callback")));
}

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "classroom_ilive"); }
