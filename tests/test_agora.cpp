// The Agora adapter against the SDK stand-in and its simulated room, with the
// room's own threads calling back.
#include "EngineCheck.h"

#include "media/LMRAgora.h"
#include "media/SimRoomControl.h"
#include "media/video/BCQmlRenderView.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <simroom/SimRoom.h>

using namespace enginecheck;

namespace
{

struct Adapter {
    Adapter(const simroom::Config &config = fastRoom())
    {
        simroom::Room::instance().setConfig(config);
        agora.init();
    }
    ~Adapter()
    {
        if (LMRAgora::inRoom())
            agora.exitRoom();
        agora.release();
    }
    LMRAgora agora;
    enginecheck::Watch<LMRAgora> w { agora };
};

} // namespace

TEST(Agora, RemoteVideoShowsAndHidesAboutOneSecondAfterTheLastFrame)
{
    simroom::Config config = fastRoom();
    config.peers[0].leaveAfterMs = 900;
    Adapter a(config);
    BCQmlRenderView remote;
    Surface surface;
    remote.setVideoSurface(&surface);
    a.agora.setupRemoteVideo("20002", &remote);

    QElapsedTimer clock;
    clock.start();
    qint64 shown = -1, hidden = -1, lastFrame = -1;
    QObject::connect(&a.agora, &LMRAgora::userVideoAvailable, &a.agora, [&](QString uid, bool available) {
        EXPECT_EQ(uid, QStringLiteral("20002"));
        if (available)
            lastFrame = clock.elapsed();
        if (available && shown < 0)
            shown = clock.elapsed();
        if (!available)
            hidden = clock.elapsed();
    });
    QList<int> volumes;
    QObject::connect(&a.agora, &LMRAgora::volumeChanged, &a.agora, [&](QString, int v) { volumes << v; });

    a.agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return hidden >= 0; }, 5000));
    ASSERT_GE(shown, 0);
    EXPECT_GT(hidden, shown);
    EXPECT_NEAR(double(hidden - lastFrame), 1000, 250);
    EXPECT_GT(surface.count, 3);
    EXPECT_EQ(surface.size(), QSize(480, 360)); // 640x360 cropped to 4:3
    ASSERT_FALSE(volumes.isEmpty());
    EXPECT_EQ(volumes.first(), 100); // 255 from the SDK
}

// The SDK's audio thread does not wait for its render thread: while a remote
// frame is being drawn into its view, microphone and speaker frames go on.
TEST(Agora, AudioFramesArriveWhileAVideoFrameIsBeingDrawn)
{
    Adapter a;
    std::atomic<bool> first { true }, finished { false }, sawAudio { false };
    BCQmlRenderView remote;
    a.agora.setupRemoteVideo("20002", &remote);
    // Emitted on the render thread from inside the adapter's video callback.
    QObject::connect(
        &remote, qOverload<>(&BCQmlRenderView::renderFrame), &remote,
        [&] {
            if (!first.exchange(false))
                return;
            const auto start = a.w.probe.counts();
            sawAudio = a.w.probe.waitForBoth(std::max(start.first, start.second) + 20, 10000);
            finished = true;
        },
        Qt::DirectConnection);
    a.agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return finished.load(); }, 20000));
    EXPECT_TRUE(sawAudio);
}

TEST(Agora, AViewDestroyedMidClassIsNoLongerDrawnInto)
{
    Adapter a;
    auto remote = std::make_unique<BCQmlRenderView>();
    auto local = std::make_unique<BCQmlRenderView>();
    a.agora.setupRemoteVideo("20002", remote.get());
    a.agora.setupLocalVideo(local.get());
    a.agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return a.w.joined == 1; }, 3000));
    spin(300); // frames are flowing into both views
    remote.reset();
    local.reset();
    spin(300); // the render thread goes on without them
    EXPECT_TRUE(LMRAgora::inRoom());
}

TEST(Agora, VolumeScaleAndRejectedStrides)
{
    LMRAgora agora;
    QList<int> volumes;
    QObject::connect(&agora, &LMRAgora::volumeChanged, [&](QString, int v) { volumes << v; });
    agora::rtc::AudioVolumeInfo info[2];
    info[0].uid = 7;
    for (unsigned v : { 255u, 0u, 128u }) {
        info[0].volume = v;
        agora.onAudioVolumeIndication(info, 2, 0);
    }
    agora.onAudioVolumeIndication(nullptr, 0, 0);
    EXPECT_EQ(volumes, QList<int>({ 100, 0, 50 }));

    std::vector<uint8_t> plane(640 * 480);
    agora::media::IVideoFrameObserver::VideoFrame frame;
    frame.width = 640;
    frame.height = 480;
    frame.yBuffer = frame.uBuffer = frame.vBuffer = plane.data();
    frame.yStride = 640;
    frame.uStride = frame.vStride = 320;
    LMRAgoraVideoCallback video(&agora);
    EXPECT_TRUE(video.onCaptureVideoFrame(frame));
    frame.uStride = 336; // chroma strides differ
    EXPECT_FALSE(video.onCaptureVideoFrame(frame));
    frame.uStride = frame.vStride = 336; // luma is not twice chroma
    EXPECT_FALSE(video.onRenderVideoFrame(5, frame));
    frame.uStride = frame.vStride = 320;
    frame.width = 10001;
    EXPECT_FALSE(video.onCaptureVideoFrame(frame));
}

TEST(Agora, InjectedFailuresAreLoggedAndLeaveTheStateToQml)
{
    simroom::Config failing = fastRoom();
    failing.joinError = 17;
    {
        Adapter a(failing);
        a.agora.enterRoom("10001", "demo-sig", "123456");
        spin(300);
        EXPECT_EQ(a.w.joined, 0);
        EXPECT_TRUE(logText().contains(QStringLiteral("Agora 进入房间失败:17")));
    }
    simroom::Config dropping = fastRoom();
    dropping.failConnectionAfterMs = 200;
    Adapter a(dropping);
    a.agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return logText().contains(QStringLiteral("Agora 断开网络连接，退出教室")); }, 3000));
    spin(100);
    EXPECT_EQ(a.w.left, 0); // no leavingChannel on a failed connection
    const auto frames = a.w.probe.counts();
    spin(200);
    EXPECT_EQ(a.w.probe.counts(), frames); // the channel was left
}

TEST(Agora, EngineOperationsNeedAnEngine)
{
    LMRAgora agora;
    EXPECT_FALSE(agora.isInit());
    EXPECT_TRUE(agora.getCurrentPos().isEmpty());
    EXPECT_EQ(agora.playMedia("/nothing.mp3"), 0);
    EXPECT_FALSE(agora.pauseMedia());
    agora.enterRoom("1", "s", "r"); // nothing happens
    EXPECT_FALSE(LMRAgora::inRoom());
    agora.init();
    EXPECT_EQ(agora.getCurrentPos(), QStringList({ "0", "0" }));
}

// The room control refuses what it cannot do. A peer's camera going off and
// on is followed through every vendor in test_classroom's lesson.
TEST(Agora, RoomControlRefusesUnknownPeersAndActions)
{
    Adapter a;
    SimRoomControl control;
    EXPECT_FALSE(control.peerAction(20002, "camera_off")) << "no class yet";
    a.agora.enterRoom("10001", "demo-sig", "123456");
    ASSERT_TRUE(waitUntil([&] { return a.w.joined == 1; }, 5000));
    EXPECT_FALSE(control.peerAction(20002, "dance"));
    EXPECT_TRUE(logText().contains(QStringLiteral("simroom unknown peer action:dance")));
    EXPECT_FALSE(control.peerAction(777, "join")) << "not configured";
}

TEST(SimRoomControl, AppliesValidSettingsAndRefusesBadOnes)
{
    simroom::Room::instance().setConfig(fastRoom());
    SimRoomControl control;
    EXPECT_FALSE(control.configure("{not json"));
    EXPECT_FALSE(control.configure("[1,2]"));
    EXPECT_EQ(simroom::Room::instance().config().joinDelayMs, 50);
    ASSERT_TRUE(control.configure(R"({"joinDelayMs": 999999, "jitterMs": 5, "remoteWidth": 641,
        "peers": [{"uid": 7, "name": "A", "volume": 300, "sendsAudio": false}, {"uid": 0}, {"name": "no uid"}]})"));
    const simroom::Config c = simroom::Room::instance().config();
    EXPECT_EQ(c.joinDelayMs, 60000); // clamped
    EXPECT_EQ(c.jitterMs, 5);
    EXPECT_EQ(c.remoteWidth, 640); // I420 needs even sides
    ASSERT_EQ(c.peers.size(), 1u);
    EXPECT_EQ(c.peers[0].volume, 255);
    EXPECT_FALSE(c.peers[0].sendsAudio);
    simroom::Room::instance().setConfig(fastRoom());
}

int main(int argc, char **argv) { return enginecheck::runTests(argc, argv, "agora"); }
