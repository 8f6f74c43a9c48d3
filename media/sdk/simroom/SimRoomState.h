#pragma once
// Inside the simulated room: what its API (SimRoom.cpp) and its SDK threads
// (SimRoomThreads.cpp) share, and how they keep out of each other's way.
#include "SimRoom.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace simroom
{

using Clock = std::chrono::steady_clock;

// The room's state. Every field is under `mutex`, which is held only for a
// look or a change, never while the listener is called, so the threads and
// the API calls of the listener itself never wait on each other's callbacks.
struct Shared {
    mutable std::mutex mutex;
    Config config;
    Listener *listener = nullptr;
    unsigned session = 0; // a new one with every join and leave
    std::string channel;
    unsigned uid = 0;
    AudioFormat capture, playback;
    Clock::time_point joinCalled, joinedAt;
    bool joined = false, failed = false;
    bool localVideo = true, localAudio = true, remoteMuted = false;

    // A configured peer as the class sees it. Camera and microphone are kept
    // while the peer is away: it comes back with them as it left them.
    struct PeerState {
        bool present = false, camera = true, mic = true;
        bool scheduled = true; // joinAfterMs/leaveAfterMs apply until it is told to join or leave
    };
    std::vector<PeerState> peers; // per configured peer
    std::vector<std::pair<unsigned, PeerAction>> actions; // asked for, not yet delivered

    bool active() const { return listener && joined && !failed; }
    // Peers that are present with their microphone on.
    int voices() const
    {
        int n = 0;
        for (const PeerState &p : peers)
            n += p.present && p.mic;
        return n;
    }
    void resetPeers()
    {
        peers.assign(config.peers.size(), PeerState());
        for (size_t i = 0; i < peers.size(); ++i) {
            peers[i].camera = config.peers[i].sendsVideo;
            peers[i].mic = config.peers[i].sendsAudio;
        }
        actions.clear();
    }

    // The listener to call now with what a thread prepared for `session`, or
    // null if that session is over or `allowed` (run under the lock) says no.
    // A thread asks right before each call: the listener may have left, or
    // switched something off, in the call before.
    template <class Allowed>
    Listener *listenerFor(unsigned session, Allowed allowed) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return listener && this->session == session && allowed(*this) ? listener : nullptr;
    }
};

// One SDK thread's callback lock. The thread holds it while it calls the
// listener, so taking it waits for that thread's callback in progress.
struct Lane {
    std::mutex callbacks;
    std::atomic<bool> leaving { false }; // its thread is in leave(), from inside a callback
};

// What the threads read before they take any lock.
struct Pace {
    std::atomic<bool> stop { false };
    std::atomic<int> jitterMs { 2 };
    std::atomic<int> fps { 15 };
};

class Player;

void runEventThread(Shared &shared, Player &player, Lane &lane, const Pace &pace);
void runAudioThread(Shared &shared, Player &player, Lane &lane, const Pace &pace);
void runRenderThread(Shared &shared, Lane &lane, const Pace &pace);

} // namespace simroom
