// A TRTC class as a person runs it: the demo page served by the development
// service, sign in, join, enter the TRTC room of the simulated class; the
// tiles must show moving video, and ten seconds of recording must give ten
// seconds of stereo: our microphone left, the class we hear right.
#include "AudioCheck.h"
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "media/LMRTRtc.h"
#include "record/AVFileStoreMP3.h"
#include "record/RecordState.h"
#include "web/LMRUserInfo.h"

#include <QDir>
#include <QFile>
#include <QQmlContext>
#include <QQuickItem>

#include <gtest/gtest.h>

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

// Samples the MP3 encoder puts before the first one it was given (the
// recorder's encoder, set up as the recorder sets it up): a bare MP3 stream
// has no header that would tell a decoder to drop them.
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

QString shotPath(const QString &name)
{
    const QString dir = qEnvironmentVariableIsSet("LUMIRA_SCREENSHOT_DIR")
        ? qEnvironmentVariable("LUMIRA_SCREENSHOT_DIR")
        : testenv::sandboxRoot();
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

} // namespace

class TRtcClassroom : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        LMRConfig *config = LMRConfig::instance();
        config->setValue(QStringLiteral("Browser/MainUrl"), service.lessonUrl());
        config->setMainUrlMode(1);
        // Published and wired as start-up does: the engine before the window
        // that uses it, its frames to the recorder.
        trtc = std::make_unique<LMRTRtc>();
        h = std::make_unique<BrowserHarness>(config->getMainUrl(), &service);
        h->view->rootContext()->setContextProperty(QStringLiteral("trtcEngine"), trtc.get());
        QObject::connect(trtc.get(), &LMRTRtc::micFrame, h->recorder->micSink());
        QObject::connect(trtc.get(), &LMRTRtc::spkFrame, h->recorder->speakerSink());
        h->view->resize(1280, 720);
        ASSERT_TRUE(waitUntil([&] { return h->cef->embedded(); }));
        harness::processEventsFor(1500); // the page paints
    }
    void TearDown() override
    {
        if (h && trtc->inRoom()) {
            click("btnLeaveRoom");
            EXPECT_TRUE(waitUntil([&] { return !trtc->inRoom(); }));
        }
        h.reset();
        trtc.reset();
        LMRConfig::instance()->setValue(QStringLiteral("Browser/MainUrl"), QString());
    }

    void js(const QString &code) { h->cef->sendToWeb(code); }
    void click(const char *id) { js(QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(id))); }

    void joinClass(int category, int peers)
    {
        js(QStringLiteral("document.getElementById('simPeers').value = '%1';"
                          "document.getElementById('simJoinDelay').value = '100';"
                          "document.getElementById('classType').value = '%2';"
                          "document.getElementById('vendor').value = 'trtc';")
                .arg(peers)
                .arg(category));
        click("btnSimApply");
        ASSERT_TRUE(waitUntil([&] { return int(simroom::Room::instance().config().peers.size()) == peers; }));
        click("btnSignIn");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; }));
        click("btnJoin");
        ASSERT_TRUE(waitUntil([&] { return LMRUserInfo::instance()->classToken() == QLatin1String("demo-class-1"); }));
        click("btnEnterRoom");
        ASSERT_TRUE(waitUntil([&] { return trtc->inRoom() && LMRUserInfo::instance()->getIsEnterTRtc(); }));
        ASSERT_TRUE(waitUntil([&] { return tileRects().size() == peers + 1; }, 20000));
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

    // Every tile's picture must change in two looks in a row, 400 ms apart
    // (the test pattern moves; a placeholder or a frozen picture does not).
    // A loaded machine may take its time to start a peer's video: the looks
    // go on until then, or for 20 s.
    void expectMovingTiles(int expected, const QString &shot)
    {
        const QList<QRectF> rects = tileRects();
        ASSERT_EQ(rects.size(), expected);
        const qreal dpr = h->view->devicePixelRatio();
        QImage previous = h->view->grabWindow();
        QVector<int> moved(rects.size(), 0);
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
                return std::all_of(moved.begin(), moved.end(), [](int m) { return m >= 2; });
            },
            20000);
        previous.save(shotPath(shot));
        for (int t = 0; t < rects.size(); ++t)
            EXPECT_GE(moved[t], 2) << "tile " << t << " is not moving in " << shot.toStdString();
    }

    harness::DevService service;
    std::unique_ptr<LMRTRtc> trtc; // outlives the window that uses it
    std::unique_ptr<BrowserHarness> h;
};

TEST_F(TRtcClassroom, OneToOneClassShowsVideoAndRecordsTenSecondsOfStereo)
{
    joinClass(1, 1);
    expectMovingTiles(2, "classroom-trtc-1v1.png");
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("trtc state change uid:20002 state:true")));
    // The peer's speaking level reaches its tile (found by its trtc id), the
    // room's delay the title bar.
    QQuickItem *root = h->root();
    ASSERT_TRUE(root);
    QVariant peerTile;
    QMetaObject::invokeMethod(root, "tileFor", Q_RETURN_ARG(QVariant, peerTile), Q_ARG(QVariant, "20002"));
    QObject *peer = peerTile.value<QObject *>();
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return peer->property("micLevel").toInt() == 120 * 100 / 255; }));
    EXPECT_TRUE(waitUntil([&] { return root->property("_lastmileDelay").toInt() > 0; }));

    // The peer's camera off from the page: its tile shows the placeholder
    // until the camera is back on.
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

    // No microphone on this machine, so the class did not open one: the page does.
    js(QStringLiteral("qtQuery({request: 'trtc://VoiceDeviceControl', device: 'mic', open: true,"
                      " onSuccess: function () { report('mic', 'open'); }});"
                      "function report(kind, data) { qtQuery({request: 'test://report', kind: kind, data: data}); }"));
    ASSERT_TRUE(h->waitForReport(QStringLiteral("mic")));

    const QString file = DirHelper::instance()->recordPath() + QStringLiteral("/demo-class-1_10001_pc.mp3");
    QFile::remove(file);
    RecordState &state = h->recorder->state();
    // The recorder's taking frames is timed on a thread of its own, which
    // the window's painting does not hold up: from the moment the recorder
    // takes frames to the moment it stops taking them.
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> started { false }, stopped { false };
    Clock::time_point startedAt, stoppedAt;
    std::thread watch([&] {
        const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(60);
        while (!state.recording && Clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        startedAt = Clock::now();
        started = true;
        while (state.recording && Clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        stoppedAt = Clock::now();
        stopped = true;
    });
    click("btnStartRecord");
    const bool recording = waitUntil([&] { return started.load(); }, 20000) && state.recording;
    if (recording) {
        waitUntil([&] { return Clock::now() >= startedAt + std::chrono::seconds(10); }, 20000);
        h->recorder->stopRecord(); // what the page's stop calls
    }
    waitUntil([&] { return stopped.load(); }, 70000);
    watch.join();
    ASSERT_TRUE(recording);
    const double takenSeconds = std::chrono::duration<double>(stoppedAt - startedAt).count();
    ASSERT_TRUE(waitUntil([&] { return state.fileClosed.load() && state.store.load() == nullptr; }, 15000));

    const audiocheck::Decoded d = audiocheck::decode(file);
    const double priming = double(encoderPriming()) / 16000;
    std::printf("TRTC class: %.3f s taken, %.3f s decoded, %.3f s of it the encoder's priming\n", takenSeconds,
        d.seconds(), priming);
    EXPECT_EQ(d.channels, 2);
    EXPECT_GT(priming, 0.0);
    EXPECT_NEAR(d.seconds() - priming, 10.0, 0.1);
    EXPECT_NEAR(audiocheck::frequency(d.left, 16000), 440, 5) << "our microphone on the left";
    EXPECT_NEAR(audiocheck::frequency(d.right, 16000), 660, 5) << "the class we hear on the right";

    // Leaving from the page answers it once the engine has left.
    click("btnLeaveRoom");
    ASSERT_TRUE(waitUntil([&] { return !trtc->inRoom(); }));
    ASSERT_TRUE(waitUntil([&] { return harness::logText().contains(QStringLiteral("trtc roomlogout callback")); }));
}

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "classroom-trtc"); }
