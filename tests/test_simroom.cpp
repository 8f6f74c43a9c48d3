// The simulated room's own threads as a listener sees them: independent of
// each other, and all quiet once leave() has returned, from whatever thread it
// was called; its peers acting mid-class, and its courseware player.
#include "SimRoomCheck.h"

#include <simroom/SimRoom.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace
{

using namespace std::chrono_literals;
using namespace simroomcheck;
using simroom::Room;

// A one-shot gate a callback waits at until the test opens it.
class Gate
{
public:
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kGuard, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

class SimRoom : public ::testing::Test
{
protected:
    void SetUp() override
    {
        simroom::Config config;
        config.joinDelayMs = 50;
        config.jitterMs = 1;
        config.peers = { { 20002, "Demo Student", 200, 50, -1, true } };
        Room::instance().setConfig(config);
    }

    // In the room from construction until destruction, declared after the
    // listener: the room's threads outlive every test, its listeners do not.
    class Session
    {
    public:
        explicit Session(Recorder &recorder)
        {
            EXPECT_EQ(Room::instance().join(&recorder, "123456", 10001, { 16000, 1, 160 }, { 48000, 2, 480 }), 0);
        }
        ~Session() { Room::instance().leave(); }
    };

    // True if, while the first callback of kind `blocked` is held up, every kind
    // in `others` arrives `n` more times.
    static bool othersGoOnWhileBlocked(Kind blocked, std::initializer_list<Kind> others, int n)
    {
        Recorder recorder;
        std::atomic<bool> first { true };
        std::atomic<bool> finished { false }, sawOthers { false };
        recorder.hook = [&](Kind kind) {
            if (kind != blocked || !first.exchange(false))
                return;
            const Recorder::Counts start = recorder.counts();
            sawOthers = recorder.waitUntil([&] {
                for (Kind other : others)
                    if (recorder.count(other) < start[other] + n)
                        return false;
                return true;
            });
            finished = true;
            recorder.notify();
        };
        Session session(recorder);
        return recorder.waitUntil([&] { return finished.load(); }, 2 * kGuard) && sawOthers;
    }
};

TEST_F(SimRoom, AudioGoesOnWhileAVideoCallbackIsInProgress)
{
    EXPECT_TRUE(othersGoOnWhileBlocked(Remote, { Capture, Playback }, 20));
    EXPECT_TRUE(othersGoOnWhileBlocked(Local, { Capture, Playback }, 20));
}

TEST_F(SimRoom, VideoAndEventsGoOnWhileAnAudioCallbackIsInProgress)
{
    EXPECT_TRUE(othersGoOnWhileBlocked(Capture, { Remote, Local, Volume }, 2));
}

TEST_F(SimRoom, MediaGoesOnWhileAnEventCallbackIsInProgress)
{
    EXPECT_TRUE(othersGoOnWhileBlocked(Volume, { Capture, Playback, Remote }, 3));
}

// leave() on another thread while a callback of each SDK thread is held up
// returns only after that callback did, and nothing is called after it.
TEST_F(SimRoom, LeaveWaitsForTheCallbackInProgressThenAllIsQuiet)
{
    for (Kind blocked : { Volume, Capture, Remote }) {
        SCOPED_TRACE(name(blocked));
        Recorder recorder;
        Gate gate;
        std::atomic<bool> entered { false }, exited { false };
        recorder.hook = [&](Kind kind) {
            if (kind != blocked || entered.exchange(true))
                return;
            recorder.notify();
            gate.wait();
            exited = true;
        };
        Session session(recorder);
        ASSERT_TRUE(recorder.waitUntil([&] { return entered.load(); }));

        bool exitedWhenLeft = false;
        std::thread leaver([&] {
            Room::instance().leave();
            exitedWhenLeft = exited;
        });
        // The room is left at once; the wait for the callback comes after that.
        while (Room::instance().inRoom())
            std::this_thread::yield();
        // Time for a leave() that did not wait to return before the gate opens.
        std::this_thread::sleep_for(100ms);
        gate.open();
        leaver.join();
        EXPECT_TRUE(exitedWhenLeft);

        const Recorder::Counts left = recorder.counts();
        std::this_thread::sleep_for(kQuietPeriod);
        EXPECT_EQ(recorder.counts(), left);
    }
}

// A listener may leave from inside a callback of any of the SDK threads.
TEST_F(SimRoom, LeaveFromInsideACallbackOfEachThread)
{
    for (Kind from : { Joined, Volume, Capture, Playback, Local, Remote }) {
        SCOPED_TRACE(name(from));
        Recorder recorder;
        std::atomic<bool> first { true }, left { false };
        std::atomic<int> callsAfter { 0 }; // callbacks begun after leave() returned
        recorder.hook = [&](Kind kind) {
            if (left) {
                ++callsAfter;
                return;
            }
            if (kind != from || !first.exchange(false))
                return;
            Room::instance().leave();
            EXPECT_FALSE(Room::instance().inRoom());
            left = true;
            recorder.notify();
        };
        Session session(recorder);
        ASSERT_TRUE(recorder.waitUntil([&] { return left.load(); }));
        const Recorder::Counts counts = recorder.counts();
        std::this_thread::sleep_for(kQuietPeriod);
        EXPECT_EQ(recorder.counts(), counts);
        EXPECT_EQ(callsAfter, 0);
        if (from == Joined) { // leaving as the join is reported: no media at all
            EXPECT_EQ(recorder.counts(), Recorder::Counts({ 1, 0, 0, 0, 0, 0, 0, 0, 0 }));
        }
    }
}

// The event, audio and render threads all leave at the same time, each from
// inside its own callback while the other two are inside theirs.
TEST_F(SimRoom, LeaveFromAllThreadsAtOnce)
{
    Recorder recorder;
    std::atomic<int> inside { 0 }, left { 0 };
    std::atomic<bool> allInside { true };
    std::atomic<bool> firstOf[kKinds] = {};
    recorder.hook = [&](Kind kind) {
        if ((kind != Volume && kind != Capture && kind != Remote) || firstOf[kind].exchange(true))
            return;
        ++inside;
        recorder.notify();
        if (!recorder.waitUntil([&] { return inside == 3; }))
            allInside = false;
        Room::instance().leave();
        ++left;
        recorder.notify();
    };
    Session session(recorder);
    ASSERT_TRUE(recorder.waitUntil([&] { return left == 3; }, 2 * kGuard));
    EXPECT_TRUE(allInside);
    const Recorder::Counts counts = recorder.counts();
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(recorder.counts(), counts);
}

// A listener that turns camera and microphone off as it hears that it joined
// never gets a frame of them; the room's other media comes as usual.
TEST_F(SimRoom, SwitchingOffFromTheJoinedCallback)
{
    Recorder recorder;
    recorder.hook = [](Kind kind) {
        if (kind != Joined)
            return;
        Room::instance().setLocalVideo(false);
        Room::instance().setLocalAudio(false);
    };
    Session session(recorder);
    ASSERT_TRUE(recorder.waitUntil([&] { return recorder.count(Remote) >= 5 && recorder.count(Playback) >= 50; }));
    EXPECT_EQ(recorder.count(Local), 0);
    EXPECT_EQ(recorder.count(Capture), 0);
}

void setPeers(std::vector<simroom::Peer> peers)
{
    simroom::Config config = Room::instance().config();
    config.peers = std::move(peers);
    Room::instance().setConfig(config);
}

TEST_F(SimRoom, PeerActionsArriveInOrderWithTheirStates)
{
    setPeers({ { 20002, "A", 200, 50, -1, true, true }, { 20003, "B", 100, 50, -1, false, true } });
    PeerLog log;
    EXPECT_FALSE(Room::instance().peerAction(20002, simroom::PeerAction::Leave)) << "nobody in the room";
    Session session(log);
    EXPECT_FALSE(Room::instance().peerAction(20009, simroom::PeerAction::Join)) << "not configured";
    ASSERT_TRUE(log.heard("20003 mic on"));
    EXPECT_EQ(log.events(),
        std::vector<std::string>({ "20002 in", "20002 camera on", "20002 mic on", "20003 in", "20003 mic on" }));

    using A = simroom::PeerAction;
    using Actions = std::vector<std::pair<unsigned, A>>;
    for (auto action :
        Actions { { 20003, A::Leave }, { 20002, A::CameraOff }, { 20002, A::CameraOff }, { 20002, A::MicOff } })
        EXPECT_TRUE(Room::instance().peerAction(action.first, action.second));
    ASSERT_TRUE(log.heard("20002 mic off"));
    // Told to leave, B is no longer brought back by its schedule.
    std::this_thread::sleep_for(200ms);
    for (auto action : Actions { { 20003, A::CameraOn }, { 20003, A::Join }, { 20002, A::MicOn } })
        EXPECT_TRUE(Room::instance().peerAction(action.first, action.second));
    ASSERT_TRUE(log.heard("20002 mic on", 5));
    EXPECT_EQ(log.events(5),
        std::vector<std::string>({ "20003 out", "20002 camera off", "20002 mic off", "20003 in", "20003 camera on",
            "20003 mic on", "20002 mic on" }));
}

// A peer's camera and microphone off take exactly its frames, its voice and
// its volume away; the other peer goes on as before.
TEST_F(SimRoom, CameraAndMicOffTakeExactlyThatPeersMediaAway)
{
    setPeers({ { 20002, "A", 200, 50, -1, true, true }, { 20003, "B", 100, 50, -1, true, true } });
    PeerLog log;
    Session session(log);
    ASSERT_TRUE(log.waitUntil([&] { return log.frames(20002) >= 3 && log.frames(20003) >= 3; }));
    ASSERT_TRUE(log.morePlayback(2));
    EXPECT_GE(peak(log.playback(100)), 11400) << "two voices";

    Room::instance().peerAction(20002, simroom::PeerAction::CameraOff);
    ASSERT_TRUE(log.heard("20002 camera off"));
    // The render thread goes through its peers in turn: once B has two more
    // frames, a frame of A already under way at the change has arrived.
    const int b = log.frames(20003);
    ASSERT_TRUE(log.waitUntil([&] { return log.frames(20003) >= b + 2; }));
    const int a = log.frames(20002);
    ASSERT_TRUE(log.waitUntil([&] { return log.frames(20003) >= b + 12; }));
    EXPECT_EQ(log.frames(20002), a);
    Room::instance().peerAction(20002, simroom::PeerAction::CameraOn);
    EXPECT_TRUE(log.waitUntil([&] { return log.frames(20002) >= a + 3; }));

    log.volumes = true;
    const size_t before = log.events().size();
    Room::instance().peerAction(20002, simroom::PeerAction::MicOff);
    ASSERT_TRUE(log.heard("20002 mic off"));
    ASSERT_TRUE(log.morePlayback(2));
    const std::vector<int16_t> one = log.playback(100);
    EXPECT_GE(peak(one), 5700);
    EXPECT_LE(peak(one), 6000) << "one voice";
    const auto afterMicOff = [&] {
        auto e = log.events(before);
        e.erase(e.begin(), std::find(e.begin(), e.end(), "20002 mic off"));
        return e;
    };
    ASSERT_TRUE(log.waitUntil([&] {
        const auto e = afterMicOff();
        return std::count(e.begin(), e.end(), "20002 volume 0") >= 2
            && std::count(e.begin(), e.end(), "20003 volume 100") >= 2;
    }));
    const auto heard = afterMicOff();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "20002 volume 200"), 0) << "after mic off";

    Room::instance().peerAction(20003, simroom::PeerAction::MicOff);
    ASSERT_TRUE(log.heard("20003 mic off"));
    ASSERT_TRUE(log.morePlayback(2));
    EXPECT_EQ(peak(log.playback(100)), 0) << "nobody speaks";
}

class Courseware : public SimRoom
{
protected:
    void SetUp() override
    {
        SimRoom::SetUp();
        // The peer does not speak: what the speaker plays is the courseware alone.
        setPeers({ { 20002, "A", 200, 50, -1, true, false } });
        ASSERT_TRUE(writeMp3(m_mp3, 550, 2));
        std::ofstream(m_garbage) << std::string(4000, 'x') << "not audio at all";
    }
    void TearDown() override
    {
        std::remove(m_mp3.c_str());
        std::remove(m_garbage.c_str());
    }
    const std::string m_dir = "/tmp/simroom-test-" + std::to_string(getpid());
    const std::string m_mp3 = m_dir + "-tone.mp3", m_garbage = m_dir + "-garbage.mp3";
};

TEST_F(Courseware, PlaysTheFileIntoThePlaybackAudioToItsEnd)
{
    PeerLog log;
    EXPECT_LT(Room::instance().playerOpen(m_mp3, &log), 0) << "not in a room";
    Session session(log);
    EXPECT_LT(Room::instance().playerOpen(m_garbage, &log), 0);
    EXPECT_LT(Room::instance().playerOpen(m_dir + "-missing.mp3", &log), 0);
    EXPECT_LT(Room::instance().playerOpen("http://127.0.0.1:9/tone.mp3", &log), 0) << "local files only";
    EXPECT_EQ(Room::instance().playerDurationMs(), 0);
    ASSERT_TRUE(log.waitUntil([&] { return Room::instance().inRoom() && log.count(Playback) > 0; }));

    ASSERT_EQ(Room::instance().playerOpen(m_mp3, &log), 0);
    EXPECT_NEAR(Room::instance().playerDurationMs(), 2000, 60);
    const std::vector<int16_t> tone = log.playback(500);
    EXPECT_NEAR(frequency(tone, 48000), 550, 3);
    EXPECT_GT(peak(tone), 8000);
    ASSERT_TRUE(log.waitUntil([&] { return log.completions > 0; }));
    EXPECT_EQ(log.lastCompletion, 0);
    EXPECT_EQ(Room::instance().playerDurationMs(), 0) << "nothing open after the end";
    const auto progress = log.progress();
    ASSERT_GE(progress.size(), 5u);
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_LE(progress[i - 1].first, progress[i].first);
    EXPECT_NEAR(progress.back().second, 2000, 60);
    ASSERT_TRUE(log.morePlayback(2));
    EXPECT_EQ(peak(log.playback(100)), 0) << "quiet again";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.completions, 1);
}

TEST_F(Courseware, PauseSeekResumeAndStop)
{
    PeerLog log;
    Session session(log);
    ASSERT_TRUE(log.waitUntil([&] { return Room::instance().inRoom(); }));
    ASSERT_EQ(Room::instance().playerOpen(m_mp3, &log), 0);
    ASSERT_TRUE(log.waitUntil([&] { return Room::instance().playerPositionMs() >= 300; }));
    Room::instance().playerPause();
    ASSERT_TRUE(log.morePlayback(2));
    const int paused = Room::instance().playerPositionMs();
    EXPECT_EQ(peak(log.playback(200)), 0) << "paused";
    EXPECT_EQ(Room::instance().playerPositionMs(), paused);

    Room::instance().playerSeek(1500);
    EXPECT_EQ(Room::instance().playerPositionMs(), 1500);
    Room::instance().playerResume();
    EXPECT_NEAR(frequency(log.playback(200), 48000), 550, 3) << "plays on from there";
    ASSERT_TRUE(log.waitUntil([&] { return log.completions > 0; }));
    EXPECT_EQ(log.lastCompletion, 0);

    ASSERT_EQ(Room::instance().playerOpen(m_mp3, &log), 0);
    Room::instance().playerStop();
    EXPECT_EQ(Room::instance().playerDurationMs(), 0);
    const size_t reports = log.progress().size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.completions, 1) << "a stopped file does not complete";
    EXPECT_EQ(log.progress().size(), reports);
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
