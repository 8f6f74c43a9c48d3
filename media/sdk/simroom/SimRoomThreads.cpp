// The simulated room's SDK threads. Each prepares its work from a look at the
// shared state, generates samples or draws pictures without any lock, and
// then calls the listener holding only its own callback lock.
#include "SimRoomState.h"

#include "Font5x7.h"
#include "SimRoomPlayer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <thread>

namespace simroom
{

namespace
{
constexpr double kPi = 3.14159265358979323846;

int msSince(Clock::time_point t)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

bool always(const Shared &) { return true; }
bool media(const Shared &s) { return s.active(); }

// A moving test pattern: luma ramp with a bright bar that travels, chroma tinted per source.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;
    void draw(int w, int h, unsigned frame, unsigned tint, const std::string &label)
    {
        if (w != width || h != height) {
            width = w;
            height = h;
            y.assign(size_t(w * h), 0);
            u.assign(size_t(w / 2 * h / 2), 0);
            v.assign(size_t(w / 2 * h / 2), 0);
        }
        // The bar sweeps the centre (what a 4:3 crop keeps) and the ramp drifts,
        // so every part of the picture changes from frame to frame.
        const int bar = w / 8 + int((frame * 8) % unsigned(std::max(1, w * 3 / 4 - 16)));
        const int drift = int(frame * 3);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                y[size_t(r * w + c)]
                    = (c >= bar && c < bar + 16) ? 235 : uint8_t(16 + ((c + r + drift) % (w + h)) * 160 / (w + h));
        const int scale = std::max(1, w / 160);
        // Centred, so that the 4:3 crop of wide frames keeps it.
        const int textWidth = int(label.size()) * 6 * scale;
        drawText(y.data(), w, w, h, (w - textWidth) / 2, 6 * scale, label.c_str(), scale, 235);
        std::fill(u.begin(), u.end(), uint8_t(64 + tint * 37 % 128));
        std::fill(v.begin(), v.end(), uint8_t(64 + tint * 71 % 128));
    }
    I420View view() const
    {
        I420View f;
        f.width = width;
        f.height = height;
        f.strides[0] = width;
        f.strides[1] = f.strides[2] = width / 2;
        f.planes[0] = y.data();
        f.planes[1] = u.data();
        f.planes[2] = v.data();
        return f;
    }
};

// Every peer that speaks adds the same tone, so that the class stays one
// clear frequency however many speak, and its level says how many do.
void fillTone(std::vector<int16_t> &buffer, const AudioFormat &f, double hz, long &t, int voices)
{
    buffer.assign(size_t(f.samplesPerCall * f.channels), 0);
    const double amplitude = std::min(32767, 6000 * voices);
    for (int i = 0; i < f.samplesPerCall; ++i, ++t)
        for (int c = 0; c < f.channels && voices > 0; ++c)
            buffer[size_t(i * f.channels + c)] = int16_t(amplitude * std::sin(2 * kPi * hz * t / f.rate));
}

// The event thread's own timers, and the calls of one tick.
class Events
{
public:
    explicit Events(Shared &shared)
        : m_shared(shared)
    {
    }

    // One tick: the join succeeding, or the connection failing, peers coming
    // and going, volumes and statistics as they fall due.
    void tick()
    {
        m_calls.clear();
        unsigned session = 0;
        bool joining = false;
        std::string channel;
        unsigned uid = 0;
        int elapsedMs = 0;
        {
            std::lock_guard<std::mutex> lock(m_shared.mutex);
            if (!m_shared.listener || m_shared.failed)
                return;
            session = m_shared.session;
            if (m_shared.joined) {
                prepareLocked();
            } else {
                elapsedMs = msSince(m_shared.joinCalled);
                if (elapsedMs < m_shared.config.joinDelayMs)
                    return;
                joining = true;
                channel = m_shared.channel;
                uid = m_shared.uid;
            }
        }
        if (joining)
            reportJoined(session, channel, uid, elapsedMs);
        for (const auto &call : m_calls)
            if (Listener *listener = m_shared.listenerFor(session, always))
                call(*listener);
    }

private:
    // The room counts as joined only once onJoined has returned, so that no
    // media reaches a listener before it heard that it joined.
    void reportJoined(unsigned session, const std::string &channel, unsigned uid, int elapsedMs)
    {
        const Clock::time_point joinedAt = Clock::now();
        if (Listener *listener = m_shared.listenerFor(session, always))
            listener->onJoined(channel, uid, elapsedMs);
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        if (m_shared.listener && m_shared.session == session) {
            m_shared.joined = true;
            m_shared.joinedAt = joinedAt;
        }
    }

    void prepareLocked()
    {
        const Config &config = m_shared.config;
        const int sinceJoin = msSince(m_shared.joinedAt);
        if (config.failConnectionAfterMs >= 0 && sinceJoin >= config.failConnectionAfterMs) {
            m_shared.failed = true;
            m_calls.emplace_back([](Listener &l) { l.onConnectionFailed(); });
            return;
        }
        for (const auto &action : m_shared.actions)
            for (size_t i = 0; i < config.peers.size(); ++i)
                if (config.peers[i].uid == action.first)
                    apply(i, action.second);
        m_shared.actions.clear();
        for (size_t i = 0; i < config.peers.size(); ++i) {
            const Peer &peer = config.peers[i];
            const bool shouldBe
                = sinceJoin >= peer.joinAfterMs && (peer.leaveAfterMs < 0 || sinceJoin < peer.leaveAfterMs);
            if (m_shared.peers[i].scheduled && shouldBe != m_shared.peers[i].present)
                apply(i, shouldBe ? PeerAction::Join : PeerAction::Leave, true);
        }
        // A muted peer is still reported, at 0, so that a speaking indicator
        // falls silent instead of keeping its last value.
        if (msSince(m_lastVolume) >= 300) {
            m_lastVolume = Clock::now();
            for (size_t i = 0; i < config.peers.size(); ++i)
                if (m_shared.peers[i].present)
                    m_calls.emplace_back(
                        [uid = config.peers[i].uid, volume = m_shared.peers[i].mic ? config.peers[i].volume : 0](
                            Listener &l) { l.onVolume(uid, volume); });
        }
        if (msSince(m_lastStats) >= 2000) {
            m_lastStats = Clock::now();
            const int lastmile = 20 + int(m_random() % 40), transport = 30 + int(m_random() % 50);
            m_calls.emplace_back([=](Listener &l) { l.onStats(lastmile, transport); });
        }
    }

    // Changes peer `i` and queues what the listener hears of it; an action
    // that changes nothing is not reported. A peer told to join or leave is
    // no longer moved by its schedule.
    void apply(size_t i, PeerAction action, bool scheduled = false)
    {
        Shared::PeerState &peer = m_shared.peers[i];
        const unsigned uid = m_shared.config.peers[i].uid;
        const bool on = action == PeerAction::Join || action == PeerAction::CameraOn || action == PeerAction::MicOn;
        switch (action) {
        case PeerAction::Join:
        case PeerAction::Leave:
            peer.scheduled = peer.scheduled && scheduled;
            if (peer.present == on)
                return;
            peer.present = on;
            m_calls.emplace_back([uid, on](Listener &l) { l.onRemoteUser(uid, on); });
            if (on && peer.camera)
                m_calls.emplace_back([uid](Listener &l) { l.onRemoteVideoState(uid, true); });
            if (on && peer.mic)
                m_calls.emplace_back([uid](Listener &l) { l.onRemoteAudioState(uid, true); });
            return;
        case PeerAction::CameraOn:
        case PeerAction::CameraOff:
            if (peer.camera == on)
                return;
            peer.camera = on;
            if (peer.present)
                m_calls.emplace_back([uid, on](Listener &l) { l.onRemoteVideoState(uid, on); });
            return;
        case PeerAction::MicOn:
        case PeerAction::MicOff:
            if (peer.mic == on)
                return;
            peer.mic = on;
            if (peer.present)
                m_calls.emplace_back([uid, on](Listener &l) { l.onRemoteAudioState(uid, on); });
            return;
        }
    }

    Shared &m_shared;
    std::vector<std::function<void(Listener &)>> m_calls;
    Clock::time_point m_lastVolume = Clock::now(), m_lastStats = Clock::now();
    std::mt19937 m_random { 7 };
};
} // namespace

void runEventThread(Shared &shared, Player &player, Lane &lane, const Pace &pace)
{
    Events events(shared);
    std::vector<Player::Call> playerCalls;
    while (!pace.stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard<std::mutex> calling(lane.callbacks);
        events.tick();
        playerCalls.clear();
        player.tick(playerCalls);
        for (const Player::Call &call : playerCalls)
            call();
    }
}

void runAudioThread(Shared &shared, Player &player, Lane &lane, const Pace &pace)
{
    std::mt19937 random { 11 };
    std::vector<int16_t> captured, played;
    long captureT = 0, playbackT = 0;
    auto nextCapture = Clock::now(), nextPlayback = Clock::now();
    while (!pace.stop) {
        const auto now = Clock::now();
        const auto wake = std::min(nextCapture, nextPlayback);
        if (wake > now) {
            std::uniform_int_distribution<int> late(0, std::max(0, pace.jitterMs.load()) * 1000);
            std::this_thread::sleep_until(wake + std::chrono::microseconds(late(random)));
        }
        unsigned session = 0;
        AudioFormat capture, playback;
        double driftPpm = 0, micHz = 0, speakerHz = 0;
        bool active = false, localAudio = false;
        int voices = 0;
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            session = shared.session;
            active = shared.active();
            capture = shared.capture;
            playback = shared.playback;
            driftPpm = shared.config.driftPpm;
            micHz = shared.config.micHz;
            speakerHz = shared.config.speakerHz;
            localAudio = shared.localAudio;
            voices = shared.remoteMuted ? 0 : shared.voices();
        }
        if (!active) {
            nextCapture = nextPlayback = Clock::now() + std::chrono::milliseconds(10);
            continue;
        }
        const bool captureTime = Clock::now() >= nextCapture;
        const bool captureDue = captureTime && localAudio;
        if (captureTime) {
            const double period = double(capture.samplesPerCall) / capture.rate * (1 + driftPpm / 1e6);
            nextCapture += std::chrono::microseconds(long(period * 1e6));
            if (captureDue)
                fillTone(captured, capture, micHz, captureT, true);
        }
        const bool playbackDue = Clock::now() >= nextPlayback;
        if (playbackDue) {
            nextPlayback += std::chrono::microseconds(long(double(playback.samplesPerCall) / playback.rate * 1e6));
            fillTone(played, playback, speakerHz, playbackT, voices);
            // The courseware plays locally: muting the others does not mute it.
            player.mixInto(played.data(), playback);
        }
        std::lock_guard<std::mutex> calling(lane.callbacks);
        if (captureDue)
            if (Listener *listener
                = shared.listenerFor(session, [](const Shared &s) { return s.active() && s.localAudio; }))
                listener->onCaptureAudio(captured.data(), capture);
        if (playbackDue)
            if (Listener *listener = shared.listenerFor(session, media))
                listener->onPlaybackAudio(played.data(), playback);
    }
}

void runRenderThread(Shared &shared, Lane &lane, const Pace &pace)
{
    struct Sender {
        size_t index;
        unsigned uid;
        std::string name;
    };
    Picture local;
    std::vector<Picture> remote;
    std::vector<Sender> senders;
    unsigned frame = 0;
    while (!pace.stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / std::max(1, pace.fps.load())));
        unsigned session = 0, uid = 0;
        bool localVideo = false;
        int localWidth = 0, localHeight = 0, remoteWidth = 0, remoteHeight = 0;
        size_t peers = 0;
        senders.clear();
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            if (!shared.active())
                continue;
            session = shared.session;
            uid = shared.uid;
            localVideo = shared.localVideo;
            const Config &config = shared.config;
            localWidth = config.localWidth;
            localHeight = config.localHeight;
            remoteWidth = config.remoteWidth;
            remoteHeight = config.remoteHeight;
            peers = config.peers.size();
            for (size_t i = 0; i < config.peers.size(); ++i)
                if (shared.peers[i].present && shared.peers[i].camera)
                    senders.push_back({ i, config.peers[i].uid, config.peers[i].name });
        }
        ++frame;
        remote.resize(peers);
        // Drawn outside every lock: leave() from another thread waits for no picture.
        if (localVideo)
            local.draw(localWidth, localHeight, frame, uid, "ME " + std::to_string(uid));
        for (const Sender &s : senders)
            remote[s.index].draw(remoteWidth, remoteHeight, frame + unsigned(s.index) * 40, s.uid, s.name);

        std::lock_guard<std::mutex> calling(lane.callbacks);
        if (localVideo)
            if (Listener *listener
                = shared.listenerFor(session, [](const Shared &s) { return s.active() && s.localVideo; }))
                listener->onLocalVideo(local.view());
        // A camera switched off while the picture was drawn sends no more.
        for (const Sender &s : senders)
            if (Listener *listener = shared.listenerFor(session, [i = s.index](const Shared &sh) {
                    return sh.active() && i < sh.peers.size() && sh.peers[i].present && sh.peers[i].camera;
                }))
                listener->onRemoteVideo(s.uid, remote[s.index].view());
    }
}

} // namespace simroom
