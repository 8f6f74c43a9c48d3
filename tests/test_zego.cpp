// The Zego adapter against the SDK stand-in and its simulated room, with the
// room's own threads calling back.
#include "DispatcherHarness.h"
#include "EngineCheck.h"

#include "media/LMRZgRtc.h"
#include "media/video/BCQmlRenderView.h"

#include <QJsonObject>

#include <gtest/gtest.h>

#include <ZegoStandinControl.h>
#include <simroom/SimRoom.h>

namespace zs = ZEGO::EXPRESS::standin;

using namespace enginecheck;

namespace
{

struct Adapter {
    explicit Adapter(const simroom::Config &config = fastRoom())
    {
        simroom::Room::instance().setConfig(config);
        zego.init();
    }
    ~Adapter()
    {
        if (zego.inRoom())
            zego.logoutRoom();
        zego.release();
        simroom::Room::instance().setConfig(fastRoom());
    }
    void login() { zego.loginRoom("123456", "10001", "Demo Teacher"); }
    LMRZgRtc zego;
    enginecheck::Watch<LMRZgRtc> w { zego };
};

} // namespace

TEST(Zego, LoginWithoutUserIdDoesNothing)
{
    Adapter a;
    a.zego.loginRoom("123456", "", "Nobody");
    spin(300);
    EXPECT_EQ(a.w.joined, 0);
    EXPECT_FALSE(a.zego.inRoom() || simroom::Room::instance().inRoom());
    EXPECT_EQ(a.w.probe.counts(), std::make_pair(0, 0));
}

// A stream announced before its tile exists is played and reported at once;
// its pictures go nowhere until a view is registered, then into that view.
TEST(Zego, RemoteStreamWithoutAViewIsPlayedAndItsFramesWaitForTheView)
{
    simroom::Config config = fastRoom();
    config.peers[0].leaveAfterMs = 2500;
    Adapter a(config);
    a.login();
    ASSERT_TRUE(waitUntil([&] { return a.w.video.contains("20002:1"); }, 5000));
    EXPECT_EQ(zs::playingStreams(), std::set<std::string>({ "20002" }));
    spin(300); // frames of 20002 arrive and are dropped

    BCQmlRenderView remote;
    Surface surface;
    remote.setVideoSurface(&surface);
    a.zego.setupRemoteVideo("20002", &remote);
    ASSERT_TRUE(waitUntil([&] { return surface.count > 3; }, 5000));
    EXPECT_EQ(surface.last.size(), QSize(480, 360)); // 640x360 cropped to 4:3

    // The peer leaves: its stream stops and the tile is told.
    ASSERT_TRUE(waitUntil([&] { return a.w.video.contains("20002:0"); }, 5000));
    EXPECT_TRUE(zs::playingStreams().empty());
}

TEST(Zego, APeerWithItsCameraOffKeepsItsPlaceholder)
{
    simroom::Config config = fastRoom();
    config.peers[0].sendsVideo = false;
    Adapter a(config);
    BCQmlRenderView remote;
    Surface surface;
    remote.setVideoSurface(&surface);
    a.zego.setupRemoteVideo("20002", &remote);
    a.login();
    ASSERT_TRUE(waitUntil([&] { return a.w.video.contains("20002:0"); }, 5000));
    spin(300);
    // The user's and the stream's arrival each start it; then its camera is reported off.
    EXPECT_EQ(a.w.video, QStringList({ "20002:1", "20002:1", "20002:0" }));
    EXPECT_EQ(surface.count, 0);
}

TEST(Zego, CameraStatesAndQualityReports)
{
    Adapter a(fastRoom(0));
    QList<int> rtc, remote;
    QObject::connect(&a.zego, &LMRZgRtc::rtcStats, [&](int ms) { rtc << ms; });
    QObject::connect(&a.zego, &LMRZgRtc::remoteAudioStats, [&](int ms) { remote << ms; });
    a.login();
    // The room's statistics reach the delay display every 2 s.
    ASSERT_TRUE(waitUntil([&] { return !rtc.isEmpty(); }, 5000));
    EXPECT_GE(rtc.first(), 20);

    using namespace ZEGO::EXPRESS;
    for (int state : { 0, 1, 3, 4, 9, 11, 10 })
        a.zego.onRemoteCameraStateUpdate("30003", ZegoRemoteDeviceState(state));
    EXPECT_EQ(a.w.video, QStringList({ "30003:1", "30003:0" })) << "only open (0) and disabled (10) count";

    ZegoPlayStreamQuality play;
    play.rtt = 77;
    a.zego.onPlayerQualityUpdate("30003", play); // not played: nothing
    a.zego.onRoomStreamUpdate("123456", ZEGO_UPDATE_TYPE_ADD, { ZegoStream { ZegoUser("30003", "x"), "30003", "" } });
    a.zego.onPlayerQualityUpdate("30003", play);
    ZegoPublishStreamQuality publish;
    publish.rtt = 5;
    rtc.clear();
    a.zego.onPublisherQualityUpdate("30003", publish); // not ours
    a.zego.onPublisherQualityUpdate("10001", publish);
    EXPECT_EQ(remote, QList<int>({ 77 }));
    EXPECT_EQ(rtc.last(), 5);
    EXPECT_EQ(rtc.count(5), 1);

    // After leaving, a report still on its way changes nothing.
    a.zego.logoutRoom();
    a.w.video.clear();
    a.zego.onRoomUserUpdate("123456", ZEGO_UPDATE_TYPE_ADD, { ZegoUser("40004", "late") });
    a.zego.onRemoteCameraStateUpdate("30003", ZEGO_REMOTE_DEVICE_STATE_OPEN);
    EXPECT_TRUE(a.w.video.isEmpty());
}

TEST(Zego, FailedEngineCreationStaysSilent)
{
    simroom::Config refusing = fastRoom();
    refusing.joinError = 17; // the stand-in refuses the credentials
    const int inits = logText().count(QStringLiteral("ZegoExpress init ok"));
    const int releases = logText().count(QStringLiteral("ZegoExpress release"));
    Adapter a(refusing);
    EXPECT_FALSE(a.zego.isInit());
    a.login();
    a.zego.enableLocalVideo(true);
    a.zego.enableLocalAudio(true);
    a.zego.setCameraDrive("sim-camera-0");
    EXPECT_EQ(a.zego.playMedia("/nothing.mp3"), 0);
    EXPECT_FALSE(a.zego.pauseMedia());
    EXPECT_FALSE(a.zego.resumeMedia());
    EXPECT_TRUE(a.zego.getCurrentPos().isEmpty());
    a.zego.logoutRoom();
    spin(300);
    EXPECT_EQ(a.w.joined + a.w.left, 0);
    EXPECT_FALSE(simroom::Room::instance().inRoom());
    a.zego.release();
    EXPECT_EQ(logText().count(QStringLiteral("ZegoExpress init ok")), inits);
    EXPECT_EQ(logText().count(QStringLiteral("ZegoExpress release")), releases);
    EXPECT_FALSE(logText().contains(QStringLiteral("Zego 设置摄像头 sim-camera-0")));
}

// Line sizes come from the plane lengths: luma length / height and
// 2 x chroma length / height. A padded frame with odd sides is drawn without
// shear and without its padding.
TEST(ZegoVideo, LineSizesFromPlaneLengths)
{
    const int width = 321, height = 241, lumaLine = 352, chromaLine = 176, chromaRows = 121;
    std::vector<unsigned char> y(size_t(lumaLine * height), 255), u(size_t(chromaLine * chromaRows), 255),
        v(size_t(chromaLine * chromaRows), 255);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            y[size_t(r * lumaLine + c)] = (unsigned char)(16 + (r + c) % 200);
    for (int r = 0; r < chromaRows; ++r)
        for (int c = 0; c < (width + 1) / 2; ++c)
            u[size_t(r * chromaLine + c)] = v[size_t(r * chromaLine + c)] = (unsigned char)(60 + r % 100);
    unsigned char *planes[3] = { y.data(), u.data(), v.data() };
    unsigned int lengths[3] = { unsigned(y.size()), unsigned(u.size()), unsigned(v.size()) };

    VendorVideoFrame record;
    ASSERT_TRUE(LMRZgRtc::frameRecord(width, height, planes, lengths, record));
    EXPECT_EQ(QVector<int>({ record.strides[0], record.strides[1], record.strides[2], record.width, record.height }),
        QVector<int>({ lumaLine, chromaLine, chromaLine, 320, 240 }));

    // Unusable records: no height, a missing plane, lines shorter than a row, absurd lengths.
    EXPECT_FALSE(LMRZgRtc::frameRecord(320, 0, planes, lengths, record));
    unsigned char *missing[3] = { y.data(), nullptr, v.data() };
    EXPECT_FALSE(LMRZgRtc::frameRecord(width, height, missing, lengths, record));
    const unsigned int shortLines[3] = { 300u * 241, lengths[1], lengths[2] };
    EXPECT_FALSE(LMRZgRtc::frameRecord(width, height, planes, shortLines, record));
    const unsigned int huge[3] = { 0xffffffffu, lengths[1], lengths[2] };
    EXPECT_FALSE(LMRZgRtc::frameRecord(width, height, planes, huge, record));
    EXPECT_FALSE(LMRZgRtc::frameRecord(10002, 240, planes, lengths, record));

    // Through the adapter's captured-frame entry into a view.
    LMRZgRtc zego;
    BCQmlRenderView local;
    Surface surface;
    local.setVideoSurface(&surface);
    zego.setupLocalVideo(&local);
    zego.onCapturedVideoFrameRawData(planes, lengths, width, height);
    ASSERT_TRUE(waitUntil([&] { return surface.count == 1; }, 3000));
    QVideoFrame frame = surface.last;
    ASSERT_EQ(frame.size(), QSize(320, 240));
    ASSERT_TRUE(frame.map(QAbstractVideoBuffer::ReadOnly));
    const uchar *luma = frame.bits();
    const int line = frame.bytesPerLine();
    int wrong = 0;
    for (int r = 0; r < 240; r += 7)
        for (int c = 0; c < 320; c += 5)
            wrong += luma[r * line + c] != 16 + (r + c) % 200;
    frame.unmap();
    EXPECT_EQ(wrong, 0) << "the picture is sheared or shows padding";
}

TEST(Zego, DevicesAndTheVirtualCameraRule)
{
    Adapter a;
    zs::setVideoDevices({ { "usb-cam-1", "USB Camera" }, { "usb-cam-2", "Second Camera" } });
    a.zego.setCameraDrive("cam-2");
    EXPECT_EQ(zs::videoDeviceInUse(), "usb-cam-2") << "the first id that contains the choice";
    // The two virtual cameras are replaced by the first camera not named like them.
    zs::setVideoDevices({ { "vcam", "YY开播" }, { "usb-cam-1", "USB Camera" } });
    a.zego.setCameraDrive(QStringLiteral("YY开播"));
    EXPECT_EQ(zs::videoDeviceInUse(), "usb-cam-1");
    zs::setVideoDevices({ { "6RoomsCamV10", "6RoomsCamV10" }, { "usb-cam-2", "Second Camera" } });
    a.zego.setCameraDrive("6RoomsCamV10");
    EXPECT_EQ(zs::videoDeviceInUse(), "usb-cam-2");
    zs::setVideoDevices({ { "sim-camera-0", "Simulated camera" } });

    a.zego.setMicDrive("sim-mic");
    a.zego.setPlayerDrive("sim-speaker");
    EXPECT_EQ(zs::audioDeviceInUse(ZEGO::EXPRESS::ZEGO_AUDIO_DEVICE_TYPE_INPUT), "sim-mic");
    EXPECT_EQ(zs::audioDeviceInUse(ZEGO::EXPRESS::ZEGO_AUDIO_DEVICE_TYPE_OUTPUT), "sim-speaker");
    a.zego.muteAllRemoteAudioStreams(true);
    EXPECT_TRUE(zs::speakerMuted());
}

// The page's login request through the real dispatcher and registry: an
// engine that cannot be made is a failure reply, not a page left waiting.
TEST(ZegoPage, LoginIsRefusedWhileTheEngineCannotBeMade)
{
    LMRZgRtc zego;
    dispatcher::Dispatcher d({ { "zgRtcEngine", &zego } });
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    QHash<QString, QJsonObject> replies;
    d.page.onReply = [&](const QJsonObject &reply) { replies.insert(reply.value("id").toString(), reply); };
    const QString login = QStringLiteral(R"({"request":"zego://VoiceRoomLogin","id":"%1","roomid":"123456",)"
                                         R"("userId":"10001","usrName":"Demo Teacher"})");

    simroom::Config refusing = fastRoom();
    refusing.joinError = 17;
    simroom::Room::instance().setConfig(refusing);
    d.post(login.arg("z1"));
    ASSERT_TRUE(d.settle());
    ASSERT_TRUE(replies.contains("z1"));
    EXPECT_EQ(replies["z1"].value("status").toString(), QStringLiteral("failure"));
    EXPECT_EQ(replies["z1"].value("failureMsg").toString(), QStringLiteral("zego engine not available"));
    EXPECT_FALSE(zego.isInit());

    // Accepted, the engine is made and the room entered with the request's ids.
    simroom::Room::instance().setConfig(fastRoom());
    d.post(login.arg("z2"));
    ASSERT_TRUE(d.settle());
    EXPECT_TRUE(zego.isInit());
    EXPECT_TRUE(zego.inRoom());
    EXPECT_TRUE(waitUntil([] { return simroom::Room::instance().inRoom(); }, 5000));
    zego.logoutRoom();
    zego.release();
}

int main(int argc, char **argv) { return enginecheck::runTests(argc, argv, "zego"); }
