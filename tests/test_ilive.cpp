// The iLive adapter against the SDK stand-in and its simulated room, with the
// stand-in's and the room's own threads calling back. What it owes the
// recorder, as every engine does, is checked in test_engines.
#include "DispatcherHarness.h"
#include "EngineCheck.h"

#include "BuildConfig.h"
#include "media/LMRILive.h"
#include "media/video/BCQmlRenderView.h"
#include "web/LMRUserInfo.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <ILiveStandinControl.h>
#include <simroom/SimRoom.h>

namespace is = ilive::standin;

using namespace enginecheck;

namespace
{

struct Adapter {
    explicit Adapter(const simroom::Config &config = fastRoom())
        : ilive(nullptr, [](const QString &uuid, int, int, int) { return uuid != QLatin1String("slow-cam"); })
    {
        simroom::Room::instance().setConfig(config);
        LMRUserInfo::instance()->setILiveRoomId(123456);
        QObject::connect(&ilive, &LMRILive::joinFailed, &ilive, [this](int code) { joinFailures << code; });
        QObject::connect(&ilive, &LMRILive::loginFinished, &ilive, [this](bool ok) { logins << ok; });
        QObject::connect(&ilive, &LMRILive::mediaStatus, &ilive, [this](QString id, LMRILive::MediaType type, bool on) {
            status
                << QStringLiteral("%1:%2:%3").arg(id, type == LMRILive::MediaType_Camera ? "camera" : "audio").arg(on);
        });
        QObject::connect(&ilive, &LMRILive::offline, &ilive, [this](QString id) { status << id + ":offline"; });
        QObject::connect(&ilive, &LMRILive::volumeChanged, &ilive, [this](QString id, int v) { levels[id] << v; });
    }
    ~Adapter()
    {
        is::setCreateRoomError(0);
        is::setQuitRoomError(0);
        is::setLoginError(0);
        ilive.release();
        simroom::Room::instance().setConfig(fastRoom());
    }
    bool login()
    {
        ilive.init();
        const int before = logins.size();
        ilive.login("10001", "demo-pass");
        return waitUntil([&] { return logins.size() > before; }, 5000) && logins.last();
    }
    bool enter()
    {
        const int before = joined;
        return ilive.createRoomAndJoin() && waitUntil([&] { return joined > before; }, 5000);
    }
    bool quit()
    {
        const int before = left;
        return ilive.quitRoom() && waitUntil([&] { return left > before; }, 5000);
    }
    LMRILive ilive;
    enginecheck::Watch<LMRILive> watch { ilive };
    int &joined = watch.joined, &left = watch.left;
    QList<int> joinFailures;
    QList<bool> logins;
    QStringList status;
    QHash<QString, QList<int>> levels;
};

} // namespace

// The role configuration reaches the SDK unchanged and names the role the
// room options ask for; a configuration of another role is refused by the room.
TEST(ILive, RoleConfigurationAndRoomOptions)
{
    const QJsonObject config = QJsonDocument::fromJson(LMRILive::roleConfiguration()).object();
    EXPECT_EQ(config.value("role").toString(), QLatin1String(LMRILive::kRoleName));
    Adapter a;
    ASSERT_TRUE(a.login());
    EXPECT_EQ(is::roleConfig(), std::string(LMRILive::roleConfiguration()));
    EXPECT_EQ(is::initAppId(), lumira::build::kILiveAppId);
    ASSERT_TRUE(a.enter());
    const ilive::iLiveRoomOption option = is::lastRoomOption();
    EXPECT_EQ(option.roomId, 123456u);
    EXPECT_STREQ(option.roleName.c_str(), LMRILive::kRoleName);
    EXPECT_EQ(option.timeoutMs, 2000u);
    ASSERT_TRUE(a.quit());

    GetILive()->setRoleConfig(R"({"role":"guest","audio":{"role":"user"}})");
    EXPECT_TRUE(a.ilive.createRoomAndJoin());
    ASSERT_TRUE(waitUntil([&] { return !a.joinFailures.isEmpty(); }, 5000));
    EXPECT_EQ(a.joinFailures.last(), int(ilive::ILIVE_ERR_ROLE));
    EXPECT_FALSE(a.ilive.inRoom());
}

TEST(ILive, FlagsThroughLoginCreateJoinAndQuit)
{
    Adapter a;
    // Nothing works before init and login, and each says why.
    EXPECT_TRUE(a.ilive.getCurrentPos().isEmpty());
    EXPECT_EQ(a.ilive.playMedia(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3")), 0);
    a.ilive.login("10001", "demo-pass");
    EXPECT_EQ(a.logins, QList<bool>({ false }));
    EXPECT_FALSE(a.ilive.createRoomAndJoin());
    EXPECT_FALSE(a.ilive.joinRoom()) << "no join is pending";
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive is not init!")));
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive is not login")));
    a.ilive.init();
    is::setLoginError(70001);
    a.ilive.login("10001", "demo-pass");
    ASSERT_TRUE(waitUntil([&] { return a.logins.size() == 2; }, 5000));
    EXPECT_FALSE(a.logins.last());
    EXPECT_FALSE(a.ilive.isLoggedIn());
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive login failed 70001 login refused")));
    is::setLoginError(0);

    ASSERT_TRUE(a.login());
    const size_t calls = is::roomCalls().size();
    ASSERT_TRUE(a.enter());
    ASSERT_TRUE(a.quit());

    // The room exists: creating fails and the adapter joins it instead.
    is::setCreateRoomError(ilive::ILIVE_ERR_ROOM_EXISTS);
    ASSERT_TRUE(a.enter());
    EXPECT_EQ(a.joined, 2);
    const std::vector<std::string> after = is::roomCalls();
    EXPECT_EQ(std::vector<std::string>(after.begin() + long(calls), after.end()),
        std::vector<std::string>({ "create:123456", "quit", "create:123456", "join:123456" }));
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive create room failed 10021 room already exists")));
    EXPECT_TRUE(logText().contains(QStringLiteral("腾讯互动直播进入成功")));

    // A refused quit still leaves, for the page's sake.
    is::setQuitRoomError(42);
    ASSERT_TRUE(a.quit());
    EXPECT_FALSE(a.ilive.inRoom());
    EXPECT_TRUE(logText().contains(QStringLiteral("腾讯互动直播退出失败")));
    EXPECT_TRUE(a.ilive.quitRoom()) << "out of the room it does nothing";
    spin(100);
    EXPECT_EQ(a.left, 2);

    // Neither creating nor joining works: no joined, and the failure is told.
    simroom::Config refusing = fastRoom();
    refusing.joinError = 17;
    simroom::Room::instance().setConfig(refusing);
    EXPECT_TRUE(a.ilive.createRoomAndJoin());
    ASSERT_TRUE(waitUntil([&] { return !a.joinFailures.isEmpty(); }, 5000));
    EXPECT_EQ(a.joinFailures, QList<int>({ 17 }));
    EXPECT_EQ(a.joined, 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("腾讯互动直播进入失败 17 enter room failed")));
    // A room slower than the 2 s the options allow is a timeout.
    is::setCreateRoomError(0);
    simroom::Config slow = fastRoom();
    slow.joinDelayMs = 2500;
    simroom::Room::instance().setConfig(slow);
    EXPECT_TRUE(a.ilive.createRoomAndJoin());
    ASSERT_TRUE(waitUntil([&] { return a.joinFailures.size() == 2; }, 10000));
    EXPECT_EQ(a.joinFailures.last(), int(ilive::ILIVE_ERR_TIMEOUT));

    // Signing out in the room leaves it, and says so.
    is::setCreateRoomError(0);
    simroom::Room::instance().setConfig(fastRoom());
    ASSERT_TRUE(a.enter());
    const int leaves = a.left;
    a.ilive.logout();
    ASSERT_TRUE(waitUntil([&] { return !a.ilive.isLoggedIn(); }, 5000));
    EXPECT_EQ(a.left, leaves + 1);
    EXPECT_FALSE(a.ilive.inRoom());
    EXPECT_FALSE(simroom::Room::instance().inRoom());
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive logout ok")));
    a.ilive.logout();
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive already in logout state")));
}

TEST(ILive, SpeakingLevelFrom8And16BitSamples)
{
    const uint8_t quiet8[] = { 128, 128, 129, 127 }, half8[] = { 128, 192, 64, 130 }, full8[] = { 0, 255 };
    const int16_t half16[] = { 0, -16384, 1200, 0 }, loudest16[] = { -32768, 32767 };
    const auto *h16 = reinterpret_cast<const uint8_t *>(half16);
    struct Case {
        const uint8_t *data;
        int bytes, bits, level;
    };
    for (const Case &c : { Case { quiet8, 4, 8, 0 }, Case { half8, 4, 8, 50 }, Case { full8, 2, 8, 100 },
             Case { h16, 8, 16, 50 }, Case { reinterpret_cast<const uint8_t *>(loudest16), 4, 16, 100 },
             Case { h16, 7, 16, 50 } /* odd byte left out */, Case { half8, 4, 24, 0 }, Case { nullptr, 4, 8, 0 } })
        EXPECT_EQ(LMRILive::speakingLevel(c.data, c.bytes, c.bits), c.level) << c.bytes << " bytes of " << c.bits;

    // Only 16-bit buffers of some channels are recorded; that they reach the
    // recorder as 16 kHz mono with the room's tone is checked in test_engines.
    std::vector<int16_t> stereo(960 * 2, 3000);
    ilive::iLiveAudioFrame frame;
    frame.sampleRate = 48000;
    frame.channels = 2;
    frame.bits = 16;
    frame.dataSize = uint32_t(stereo.size() * 2);
    frame.data = reinterpret_cast<uint8_t *>(stereo.data());
    AudioConvertInput input;
    EXPECT_TRUE(LMRILive::audioInput(frame, input));
    frame.bits = 8;
    EXPECT_FALSE(LMRILive::audioInput(frame, input));
    frame.bits = 16;
    frame.channels = 0;
    EXPECT_FALSE(LMRILive::audioInput(frame, input));

    // Through the SDK: the member's stream comes in 8-bit, our microphone in
    // 16-bit; both report a few times a second at their loudness.
    Adapter a;
    ASSERT_TRUE(a.login());
    a.ilive.setMic("sim-mic");
    ASSERT_TRUE(a.enter());
    ASSERT_TRUE(
        waitUntil([&] { return a.levels.value("20002").size() >= 3 && a.levels.value("10001").size() >= 3; }, 5000));
    // The room's tone peaks at 6000 of 32768 (18 %); 8-bit steps cost a point.
    for (int level : a.levels.value("20002"))
        EXPECT_NEAR(level, 17, 1);
    for (int level : a.levels.value("10001"))
        EXPECT_GT(level, 10);
    // One level per 200 ms of the member's audio, which comes with each 20 ms
    // of what the speaker plays.
    spin(1000);
    EXPECT_LE(a.levels.value("20002").size(), a.watch.probe.counts().second / 10 + 1);

    // A member whose microphone is off is silent.
    ASSERT_TRUE(simroom::Room::instance().peerAction(20002, simroom::PeerAction::MicOff));
    ASSERT_TRUE(waitUntil([&] { return a.status.contains("20002:audio:0"); }, 5000));
    spin(300);
    const auto silent = a.levels.value("20002").size();
    spin(600);
    EXPECT_EQ(a.levels.value("20002").size(), silent);
}

TEST(ILive, MemberEventsVideoAndQuality)
{
    simroom::Config config = fastRoom();
    config.failConnectionAfterMs = 4000;
    Adapter a(config);
    BCQmlRenderView remote, local;
    Surface remoteSurface, localSurface;
    remote.setVideoSurface(&remoteSurface);
    local.setVideoSurface(&localSurface);
    a.ilive.setRemoteVideo("20002", &remote);
    a.ilive.setLocalVideo(&local);
    ASSERT_TRUE(a.login());
    ASSERT_TRUE(a.enter());
    ASSERT_TRUE(a.ilive.setCamera("sim-camera-0"));
    EXPECT_EQ(is::cameraInUse(), "sim-camera-0");
    ASSERT_TRUE(waitUntil([&] { return a.status.size() >= 2; }, 5000));
    EXPECT_EQ(a.status, QStringList({ "20002:camera:1", "20002:audio:1" }));
    ASSERT_TRUE(waitUntil([&] { return remoteSurface.count > 3 && localSurface.count > 3; }, 5000));

    // A picture in another colour format is no local picture.
    is::setLocalColorFormat(ilive::COLOR_FORMAT_RGB24);
    spin(200);
    const int localFrames = localSurface.count;
    spin(400);
    EXPECT_EQ(localSurface.count, localFrames);
    is::setLocalColorFormat(ilive::COLOR_FORMAT_I420);

    ASSERT_TRUE(simroom::Room::instance().peerAction(20002, simroom::PeerAction::CameraOff));
    ASSERT_TRUE(waitUntil([&] { return a.status.contains("20002:camera:0"); }, 5000));
    ASSERT_TRUE(simroom::Room::instance().peerAction(20002, simroom::PeerAction::Leave));
    ASSERT_TRUE(waitUntil([&] { return a.status.contains("20002:offline"); }, 5000));
    EXPECT_EQ(a.status.mid(2), QStringList({ "20002:camera:0", "20002:audio:0", "20002:offline" }));

    // The room's statistics every 2 s; a read takes the value and resets it.
    ASSERT_TRUE(waitUntil([&] { return a.ilive.getILiveQualityData() > 0; }, 5000));
    EXPECT_EQ(a.ilive.getILiveQualityData(), 0);
    ASSERT_TRUE(waitUntil([] { return logText().contains(QStringLiteral("ilive room disconnected")); }, 8000));

    ASSERT_TRUE(a.quit());
}

TEST(ILive, DevicesAndTheVirtualCameraRule)
{
    Adapter a;
    ASSERT_TRUE(a.login());
    // Out of the room a camera is chosen but not opened.
    EXPECT_TRUE(a.ilive.setCamera("sim-camera-0"));
    EXPECT_EQ(is::cameraInUse(), "");
    EXPECT_FALSE(a.ilive.setCamera("slow-cam")) << "no 240 x 180 at 15 fps";
    ASSERT_TRUE(a.enter());
    EXPECT_TRUE(a.ilive.setCamera("sim-camera-0"));
    EXPECT_EQ(is::cameraInUse(), "sim-camera-0");
    EXPECT_TRUE(a.ilive.cameraOpen());
    // The virtual cameras are opened by the id the SDK lists under their name.
    EXPECT_TRUE(a.ilive.setCamera(QStringLiteral("YY开播")));
    EXPECT_EQ(is::cameraInUse(), "vcam-yy");
    EXPECT_TRUE(a.ilive.setCamera("6RoomsCamV10"));
    EXPECT_EQ(is::cameraInUse(), "vcam-6rooms");
    is::setCameras({ { "sim-camera-0", "Simulated camera" } });
    EXPECT_FALSE(a.ilive.setCamera("6RoomsCamV10")) << "not plugged in";
    is::setCameras(
        { { "sim-camera-0", "Simulated camera" }, { "vcam-yy", "YY开播" }, { "vcam-6rooms", "6RoomsCamV10" } });
    EXPECT_TRUE(a.ilive.setCamera(""));
    EXPECT_EQ(is::cameraInUse(), "sim-camera-0") << "no choice yet: the default camera";
    a.ilive.closeCamera();
    EXPECT_EQ(is::cameraInUse(), "");
    EXPECT_FALSE(a.ilive.setMic(""));
    EXPECT_TRUE(a.ilive.setSpeaker("sim-speaker"));
    EXPECT_EQ(is::playerInUse(), "sim-speaker");
    a.ilive.closePlayer();
    EXPECT_EQ(is::playerInUse(), "");

    EXPECT_TRUE(a.ilive.setMediaVolume(60));
    EXPECT_EQ(is::playerVolume(), 60u);
    EXPECT_FALSE(a.ilive.setMediaVolume(160));
}

// The page's requests through the real dispatcher and registry.
TEST(ILivePage, RoomLoginBeforeSignInIsRefused)
{
    LMRILive ilive;
    dispatcher::Dispatcher d({ { "iliveEngine", &ilive } });
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    QHash<QString, QJsonObject> replies;
    d.page.onReply = [&](const QJsonObject &reply) { replies.insert(reply.value("id").toString(), reply); };
    simroom::Room::instance().setConfig(fastRoom());

    d.post(QStringLiteral(R"({"request":"qcloud://VoiceRoomLogin","id":"q1","roomid":"123456"})"));
    ASSERT_TRUE(d.settle());
    ASSERT_TRUE(replies.contains("q1"));
    EXPECT_EQ(replies["q1"].value("status").toString(), QStringLiteral("failure"));
    EXPECT_EQ(replies["q1"].value("failureMsg").toString(), QStringLiteral("ilive is not login"));
    EXPECT_EQ(LMRUserInfo::instance()->getILiveRoomId(), 123456);

    d.post(QStringLiteral(R"({"request":"qcloud://VoiceQcloudState","id":"q2"})"));
    d.post(QStringLiteral(R"({"request":"qcloud://VoiceLogout","id":"q3"})"));
    ASSERT_TRUE(d.settle());
    ASSERT_TRUE(replies.contains("q2"));
    const QJsonObject state = replies["q2"].value("successMsg").toObject();
    EXPECT_EQ(state.value("m_isLogin"), QJsonValue(false));
    EXPECT_EQ(state.value("m_isEnterRoom"), QJsonValue(false));
    EXPECT_EQ(replies["q3"].value("status").toString(), QStringLiteral("success"));
    EXPECT_TRUE(logText().contains(QStringLiteral("ilive already in logout state")));
}

int main(int argc, char **argv) { return enginecheck::runTests(argc, argv, "ilive"); }
