#include "SimRoom.h"

#include "SimRoomState.h"

#include <thread>

namespace simroom
{

namespace
{
// The callback lock of the SDK thread this is, if it is one. Room code runs
// on an SDK thread only inside that thread's callbacks, with this lock held.
thread_local Lane *t_ownLane = nullptr;

// Takes an earlier lane's lock, unless its thread is in leave() itself: that
// one may be waiting for the caller's lane, which is held.
bool lockUnlessLeaving(Lane &lane)
{
    while (!lane.callbacks.try_lock()) {
        if (lane.leaving)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
} // namespace

struct Room::State {
    Shared shared;
    // Event, audio, render: the order in which leave() takes their locks.
    Lane lanes[3];
    Pace pace;
    std::vector<std::thread> threads; // under shared.mutex

    void start()
    {
        threads.emplace_back([this] { run(lanes[0], runEventThread); });
        threads.emplace_back([this] { run(lanes[1], runAudioThread); });
        threads.emplace_back([this] { run(lanes[2], runRenderThread); });
    }
    void run(Lane &lane, void (*loop)(Shared &, Lane &, const Pace &))
    {
        t_ownLane = &lane;
        loop(shared, lane, pace);
    }

    // Returns once no SDK thread is inside a callback, taking each thread's
    // lock in turn, in the order of `lanes`; the caller made sure that none
    // starts a new one. Called from inside a callback, the caller's own lane
    // is held already; a later lane is waited for, an earlier one only while
    // its thread is not in leave() as well (that thread makes no further calls
    // once its current one returns). So a thread waits without that check only
    // for a lane after every lane it holds, and no two threads wait for each
    // other.
    void awaitCallbacks()
    {
        Lane *own = t_ownLane;
        if (own)
            own->leaving = true;
        bool earlier = own != nullptr;
        for (Lane &lane : lanes) {
            if (&lane == own) {
                earlier = false;
                continue;
            }
            if (!earlier) {
                std::lock_guard<std::mutex> wait(lane.callbacks);
            } else if (lockUnlessLeaving(lane)) {
                lane.callbacks.unlock();
            }
        }
        if (own)
            own->leaving = false;
    }
};

Room &Room::instance()
{
    static Room room;
    return room;
}

Room::Room()
    : d(new State)
{
}

Room::~Room()
{
    d->pace.stop = true;
    for (std::thread &t : d->threads)
        if (t.joinable())
            t.join();
    delete d;
}

void Room::setConfig(const Config &config)
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    d->shared.config = config;
    d->pace.jitterMs = config.jitterMs;
    d->pace.fps = config.fps;
    d->shared.present.assign(config.peers.size(), false);
}

Config Room::config() const
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    return d->shared.config;
}

int Room::join(Listener *listener, const std::string &channel, unsigned uid, const AudioFormat &capture,
    const AudioFormat &playback)
{
    Shared &s = d->shared;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.config.joinError != 0)
        return s.config.joinError;
    if (d->threads.empty())
        d->start();
    s.listener = listener;
    ++s.session;
    s.channel = channel;
    s.uid = uid;
    s.capture = capture;
    s.playback = playback;
    s.joinCalled = Clock::now();
    s.joined = false;
    s.failed = false;
    s.localVideo = s.localAudio = true;
    s.remoteMuted = false;
    s.present.assign(s.config.peers.size(), false);
    return 0;
}

void Room::leave()
{
    {
        Shared &s = d->shared;
        std::lock_guard<std::mutex> lock(s.mutex);
        s.listener = nullptr;
        ++s.session;
        s.joined = false;
        s.present.assign(s.config.peers.size(), false);
    }
    d->awaitCallbacks();
}

bool Room::inRoom() const
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    return d->shared.active();
}

void Room::setLocalVideo(bool on)
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    d->shared.localVideo = on;
}

void Room::setLocalAudio(bool on)
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    d->shared.localAudio = on;
}

void Room::setRemoteAudioMuted(bool muted)
{
    std::lock_guard<std::mutex> lock(d->shared.mutex);
    d->shared.remoteMuted = muted;
}

} // namespace simroom
