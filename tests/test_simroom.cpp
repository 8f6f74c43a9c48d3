// The simulated room's own threads as a listener sees them: independent of
// each other, and all quiet once leave() has returned, from whatever thread it
// was called. Its peers and its courseware player are exercised through every
// engine adapter (test_engines, test_agora, test_trtc, test_zego, test_ilive).
#include <simroom/SimRoom.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using simroom::Room;

// Only against a hang: every wait below ends long before it when all is well.
constexpr auto kGuard = 10s;
// Several periods of every callback but the 2 s statistics: 10 ms audio, 15 fps
// video, 300 ms volumes.
constexpr auto kQuietPeriod = 700ms;

enum Kind { Joined, Failed, User, Volume, Stats, Capture, Playback, Local, Remote, kKinds };
const char *const kNames[]
    = { "joined", "failed", "user", "volume", "stats", "capture", "playback", "local", "remote" };

// Counts the callbacks by kind as they begin, then runs `hook` inside them.
class Recorder : public simroom::Listener
{
public:
    using Counts = std::array<int, kKinds>;
    // Set before joining; called on the room's threads, maybe at once.
    std::function<void(Kind)> hook;

    int count(Kind kind) const { return m_counts[kind]; }
    Counts counts() const
    {
        Counts all;
        for (int k = 0; k < kKinds; ++k)
            all[size_t(k)] = m_counts[k];
        return all;
    }
    // Waits until `done` holds; it is checked again after every callback and notify().
    bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds guard = kGuard)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, guard, done);
    }
    void notify()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
        }
        m_changed.notify_all();
    }

    void onJoined(const std::string &, unsigned, int) override { seen(Joined); }
    void onConnectionFailed() override { seen(Failed); }
    void onRemoteUser(unsigned, bool) override { seen(User); }
    void onVolume(unsigned, int) override { seen(Volume); }
    void onStats(int, int) override { seen(Stats); }
    void onCaptureAudio(const int16_t *, const simroom::AudioFormat &) override { seen(Capture); }
    void onPlaybackAudio(const int16_t *, const simroom::AudioFormat &) override { seen(Playback); }
    void onLocalVideo(const simroom::I420View &) override { seen(Local); }
    void onRemoteVideo(unsigned, const simroom::I420View &) override { seen(Remote); }

private:
    void seen(Kind kind)
    {
        ++m_counts[kind];
        notify();
        if (hook)
            hook(kind);
    }
    std::atomic<int> m_counts[kKinds] = {};
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// In the room from construction until destruction, declared after the
// listener: the room's threads outlive every test, its listeners do not.
struct Session {
    explicit Session(Recorder &recorder)
    {
        EXPECT_EQ(Room::instance().join(&recorder, "123456", 10001, { 16000, 1, 160 }, { 48000, 2, 480 }), 0);
    }
    ~Session() { Room::instance().leave(); }
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
    // Nothing is begun once leave() has returned and the room stays quiet.
    static void expectQuiet(const Recorder &recorder)
    {
        const Recorder::Counts counts = recorder.counts();
        std::this_thread::sleep_for(kQuietPeriod);
        EXPECT_EQ(recorder.counts(), counts);
    }
};

// While the first callback of one kind is held up, each of the others' kinds
// arrives `n` more times: no SDK thread waits for another.
TEST_F(SimRoom, NoThreadWaitsForACallbackInProgressOnAnother)
{
    struct Case {
        Kind blocked;
        std::initializer_list<Kind> others;
        int n;
    };
    for (const Case &c : { Case { Remote, { Capture, Playback }, 20 }, Case { Local, { Capture, Playback }, 20 },
             Case { Capture, { Remote, Local, Volume }, 2 }, Case { Volume, { Capture, Playback, Remote }, 3 } }) {
        SCOPED_TRACE(kNames[c.blocked]);
        Recorder recorder;
        std::atomic<bool> first { true }, finished { false }, sawOthers { false };
        recorder.hook = [&](Kind kind) {
            if (kind != c.blocked || !first.exchange(false))
                return;
            const Recorder::Counts start = recorder.counts();
            sawOthers = recorder.waitUntil([&] {
                for (Kind other : c.others)
                    if (recorder.count(other) < start[other] + c.n)
                        return false;
                return true;
            });
            finished = true;
            recorder.notify();
        };
        Session session(recorder);
        EXPECT_TRUE(recorder.waitUntil([&] { return finished.load(); }, 2 * kGuard) && sawOthers);
    }
}

// leave() on another thread while a callback of each SDK thread is held up
// returns only after that callback did, and nothing is called after it.
TEST_F(SimRoom, LeaveWaitsForTheCallbackInProgressThenAllIsQuiet)
{
    for (Kind blocked : { Volume, Capture, Remote }) {
        SCOPED_TRACE(kNames[blocked]);
        Recorder recorder;
        std::mutex gateMutex;
        std::condition_variable gateChanged;
        bool gateOpen = false;
        std::atomic<bool> entered { false }, exited { false };
        recorder.hook = [&](Kind kind) {
            if (kind != blocked || entered.exchange(true))
                return;
            recorder.notify();
            std::unique_lock<std::mutex> lock(gateMutex);
            gateChanged.wait_for(lock, kGuard, [&] { return gateOpen; });
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
        {
            std::lock_guard<std::mutex> lock(gateMutex);
            gateOpen = true;
        }
        gateChanged.notify_all();
        leaver.join();
        EXPECT_TRUE(exitedWhenLeft);
        expectQuiet(recorder);
    }
}

// A listener may leave from inside a callback of any of the SDK threads.
TEST_F(SimRoom, LeaveFromInsideACallbackOfEachThread)
{
    for (Kind from : { Joined, Volume, Capture, Playback, Local, Remote }) {
        SCOPED_TRACE(kNames[from]);
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
        expectQuiet(recorder);
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
    expectQuiet(recorder);
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

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
