#include "SimRoom.h"

#include "SimRoomPlayer.h"
#include "SimRoomState.h"

#include <algorithm>
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
    Player player;
    std::vector<std::thread> threads; // under shared.mutex

    void start()
    {
        threads.emplace_back([this] {
            t_ownLane = &lanes[0];
            runEventThread(shared, player, lanes[0], pace);
        });
        threads.emplace_back([this] {
            t_ownLane = &lanes[1];
            runAudioThread(shared, player, lanes[1], pace);
        });
        threads.emplace_back([this] {
            t_ownLane = &lanes[2];
            runRenderThread(shared, lanes[2], pace);
        });
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

    // Returns once the event thread, which calls the player's listener, is
    // not inside a callback. Another SDK thread is not marked as leaving
    // here: it is not, and a leave() elsewhere still has to wait for it.
    void awaitEventCallback()
    {
        Lane *own = t_ownLane;
        Lane &events = lanes[0];
        if (own == &events)
            return;
        if (!own) {
            std::lock_guard<std::mutex> wait(events.callbacks);
        } else if (lockUnlessLeaving(events)) { // unless the event thread waits for this one
            events.callbacks.unlock();
        }
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
    d->shared.resetPeers();
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
    d->player.close(); // the courseware of an earlier session
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
    s.resetPeers();
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
        s.resetPeers();
    }
    d->player.close();
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

bool Room::peerAction(unsigned uid, PeerAction action)
{
    Shared &s = d->shared;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.listener || s.failed)
        return false;
    const auto &peers = s.config.peers;
    if (std::none_of(peers.begin(), peers.end(), [uid](const Peer &p) { return p.uid == uid; }))
        return false;
    s.actions.emplace_back(uid, action);
    return true;
}

int Room::playerOpen(const std::string &path, PlayerListener *listener)
{
    AudioFormat playback;
    {
        std::lock_guard<std::mutex> lock(d->shared.mutex);
        // The courseware is mixed into what the speaker plays: that format
        // is known once a join was asked for.
        if (!d->shared.listener)
            return -1;
        playback = d->shared.playback;
    }
    return d->player.open(path, listener, playback);
}

void Room::playerStop()
{
    d->player.close();
    d->awaitEventCallback();
}

void Room::playerPause() { d->player.pause(true); }
void Room::playerResume() { d->player.pause(false); }
void Room::playerSeek(int positionMs) { d->player.seek(positionMs); }
int Room::playerDurationMs() const { return d->player.durationMs(); }
int Room::playerPositionMs() const { return d->player.positionMs(); }

} // namespace simroom
