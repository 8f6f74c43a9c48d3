// What every media engine owes the recorder, against each vendor's stand-in on
// the simulated room: frames only while in the room, all in the recording
// format with the room's tone intact, none from a muted microphone, none
// after leaving; the log lines a support engineer looks for; and courseware
// played on the room's player.
#include "AudioCheck.h"
#include "EngineCheck.h"

#include "media/LMRAgora.h"
#include "media/LMRILive.h"
#include "media/LMRTRtc.h"
#include "media/LMRZgRtc.h"
#include "web/LMRUserInfo.h"

#include <gtest/gtest.h>

using namespace enginecheck;

namespace
{

// How each engine enters and leaves a room, and what it logs on the way.
template <class Engine>
struct Vendor;

template <>
struct Vendor<LMRAgora> {
    static void enter(LMRAgora &e) { e.enterRoom("10001", "demo-sig", "123456"); }
    static void leave(LMRAgora &e) { e.exitRoom(); }
    static void microphone(LMRAgora &e, bool on) { e.enableLocalAudio(on); }
    static bool inRoom(const LMRAgora &) { return LMRAgora::inRoom(); }
    static QStringList logLines()
    {
        return { QStringLiteral("Agora 进入房间成功"), QStringLiteral("Agora send mic package "),
            QStringLiteral("Agora 退出房间成功") };
    }
};

template <>
struct Vendor<LMRTRtc> {
    static void enter(LMRTRtc &e) { e.enterRoom(QStringLiteral("10001"), QStringLiteral("demo-sig"), 123456); }
    static void leave(LMRTRtc &e) { e.exitRoom(); }
    static void microphone(LMRTRtc &e, bool on) { e.enableLocalAudio(on); }
    static bool inRoom(const LMRTRtc &e) { return e.inRoom(); }
    static QStringList logLines()
    {
        return { QStringLiteral("TRtc 进入房间成功"), QStringLiteral("trtc send mic package "),
            QStringLiteral("TRtc 退出房间:0") };
    }
};

template <>
struct Vendor<LMRZgRtc> {
    static void enter(LMRZgRtc &e) { e.loginRoom("123456", "10001", "Demo Teacher"); }
    static void leave(LMRZgRtc &e) { e.logoutRoom(); }
    static void microphone(LMRZgRtc &e, bool on) { e.enableLocalAudio(on); }
    static bool inRoom(const LMRZgRtc &e) { return e.inRoom(); }
    static QStringList logLines()
    {
        return { QStringLiteral("zgrtc send mic package "), QStringLiteral("zego logout room") };
    }
};

// iLive signs in first, then creates the class's numbered room.
template <>
struct Vendor<LMRILive> {
    static void enter(LMRILive &e)
    {
        LMRUserInfo::instance()->setILiveRoomId(123456);
        e.login(QStringLiteral("10001"), QStringLiteral("demo-pass"));
        if (waitUntil([&] { return e.isLoggedIn(); }, 3000))
            e.createRoomAndJoin();
    }
    static void leave(LMRILive &e) { e.quitRoom(); }
    static void microphone(LMRILive &e, bool on)
    {
        if (on)
            e.setMic(QStringLiteral("sim-mic"));
        else
            e.closeMic();
    }
    static bool inRoom(const LMRILive &e) { return e.inRoom(); }
    static QStringList logLines()
    {
        return { QStringLiteral("腾讯互动直播创建房间成功"), QStringLiteral("ilive send mic package "),
            QStringLiteral("腾讯互动直播退出成功") };
    }
};

template <class Engine>
class EngineContract : public ::testing::Test
{
protected:
    EngineContract()
        : watch(engine)
    {
        simroom::Room::instance().setConfig(enginecheck::fastRoom());
        engine.init();
        Vendor<Engine>::microphone(engine, true);
    }
    ~EngineContract() override
    {
        if (Vendor<Engine>::inRoom(engine))
            Vendor<Engine>::leave(engine);
        engine.release();
    }
    Engine engine;
    enginecheck::Watch<Engine> watch;
};

using Engines = ::testing::Types<LMRAgora, LMRTRtc, LMRZgRtc, LMRILive>;
class EngineNames
{
public:
    template <class T>
    static std::string GetName(int)
    {
        return std::is_same<T, LMRAgora>::value ? "Agora"
            : std::is_same<T, LMRTRtc>::value   ? "TRtc"
            : std::is_same<T, LMRZgRtc>::value  ? "Zego"
                                                : "ILive";
    }
};
TYPED_TEST_SUITE(EngineContract, Engines, EngineNames);

} // namespace

TYPED_TEST(EngineContract, RecordingFramesOnlyInTheRoomAndNoneFromAMutedMicrophone)
{
    using V = Vendor<TypeParam>;
    auto &probe = this->watch.probe;
    spin(200);
    EXPECT_EQ(probe.counts(), std::make_pair(0, 0)) << "not in a room yet";

    V::enter(this->engine);
    ASSERT_TRUE(waitUntil([&] { return this->watch.joined == 1; }, 3000));
    ASSERT_TRUE(waitUntil([&] { return probe.counts().first > 50 && probe.counts().second > 50; }, 5000));
    {
        // The room's 440 Hz tone, in whatever rate and layout the vendor
        // delivers it, is still 440 Hz at 16 kHz mono.
        QMutexLocker lock(&probe.mutex);
        EXPECT_EQ(probe.badFormat, 0);
        EXPECT_NEAR(audiocheck::frequency(probe.micSamples, 16000), 440, 5);
        EXPECT_GT(audiocheck::rms(probe.micSamples), 2000);
    }

    // A muted microphone gives no frames, not silent ones; the speaker goes on.
    V::microphone(this->engine, false);
    spin(60);
    const auto muted = probe.counts();
    spin(400);
    EXPECT_EQ(probe.counts().first, muted.first);
    EXPECT_GT(probe.counts().second, muted.second + 5);
    V::microphone(this->engine, true);
    ASSERT_TRUE(waitUntil([&] { return probe.counts().first > muted.first + 5; }, 3000));

    V::leave(this->engine);
    ASSERT_TRUE(waitUntil([&] { return this->watch.left == 1; }, 3000));
    EXPECT_FALSE(V::inRoom(this->engine));
    const auto after = probe.counts();
    spin(300);
    EXPECT_EQ(probe.counts(), after) << "nothing after leaving";
    const QString log = logText();
    for (const QString &line : V::logLines())
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
}

// Courseware on the room's player, which decodes the file for real: the
// position list is [duration, position] in seconds from the player's progress
// reports; the file's end or a stop empties it for good.
TYPED_TEST(EngineContract, CoursewarePositionFollowsTheRoomsPlayer)
{
    auto &e = this->engine;
    auto position = [&] { return e.getCurrentPos(); };
    const QString music = QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3"); // 8.05 s
    Vendor<TypeParam>::enter(e);
    ASSERT_TRUE(waitUntil([&] { return this->watch.joined == 1; }, 3000));
    EXPECT_EQ(position(), QStringList({ "0", "0" }));
    EXPECT_EQ(e.playMedia(music), 8);
    ASSERT_TRUE(waitUntil([&] { return position().value(1) == QStringLiteral("1"); }, 5000));
    EXPECT_EQ(position().value(0), QStringLiteral("8"));
    EXPECT_TRUE(e.pauseMedia());
    e.seekMedia(6000);
    EXPECT_TRUE(e.resumeMedia());
    ASSERT_TRUE(waitUntil([&] { return position().value(1) == QStringLiteral("7"); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return position() == QStringList({ "0", "0" }); }, 5000)) << "at its end";

    EXPECT_EQ(e.playMedia(music), 8);
    ASSERT_TRUE(waitUntil([&] { return position().value(0) == QStringLiteral("8"); }, 5000));
    e.stopMedia();
    spin(400);
    EXPECT_EQ(position(), QStringList({ "0", "0" })) << "no report after the stop";
    EXPECT_EQ(e.playMedia(QStringLiteral(LUMIRA_SOURCE_DIR "/media/sdk/README.md")), 0) << "not audio";
    EXPECT_EQ(e.playMedia(QStringLiteral("/no/such/file.mp3")), 0);
}

int main(int argc, char **argv) { return enginecheck::runTests(argc, argv, "engines"); }
