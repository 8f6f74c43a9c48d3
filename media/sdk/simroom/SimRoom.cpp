#include "SimRoom.h"

#include "Font5x7.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

namespace simroom
{

using Clock = std::chrono::steady_clock;

namespace
{
constexpr double kPi = 3.14159265358979323846;

int msSince(Clock::time_point t)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

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
} // namespace

struct Room::State {
    std::recursive_mutex mutex; // held while calling back: leave() then means "no more calls"
    Config config;
    Listener *listener = nullptr;
    unsigned uid = 0;
    AudioFormat capture, playback;
    Clock::time_point joinCalled, joinedAt;
    bool joined = false;
    bool failed = false;
    bool localVideo = true, localAudio = true, remoteMuted = false;
    std::vector<bool> present;
    std::atomic<bool> stop { false };
    std::atomic<int> jitterMs { 2 }; // read by the loops before they lock
    std::atomic<int> fps { 15 };
    std::vector<std::thread> threads;
    std::mt19937 random { 7 };

    bool active() const { return listener && joined && !failed; }
    bool anyPeer() const
    {
        for (bool p : present)
            if (p)
                return true;
        return false;
    }

    void eventLoop()
    {
        auto lastVolume = Clock::now(), lastStats = Clock::now();
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::lock_guard<std::recursive_mutex> lock(mutex);
            if (!listener || failed)
                continue;
            if (!joined) {
                if (msSince(joinCalled) >= config.joinDelayMs) {
                    joined = true;
                    joinedAt = Clock::now();
                    listener->onJoined(uid, msSince(joinCalled));
                }
                continue;
            }
            const int sinceJoin = msSince(joinedAt);
            if (config.failConnectionAfterMs >= 0 && sinceJoin >= config.failConnectionAfterMs) {
                failed = true;
                listener->onConnectionFailed();
                continue;
            }
            for (size_t i = 0; i < config.peers.size() && listener; ++i) {
                const Peer &peer = config.peers[i];
                const bool shouldBe
                    = sinceJoin >= peer.joinAfterMs && (peer.leaveAfterMs < 0 || sinceJoin < peer.leaveAfterMs);
                if (shouldBe != present[i]) {
                    present[i] = shouldBe;
                    listener->onRemoteUser(peer.uid, shouldBe);
                }
            }
            if (listener && msSince(lastVolume) >= 300) {
                lastVolume = Clock::now();
                for (size_t i = 0; i < config.peers.size() && listener; ++i)
                    if (present[i])
                        listener->onVolume(config.peers[i].uid, config.peers[i].volume);
            }
            if (listener && msSince(lastStats) >= 2000) {
                lastStats = Clock::now();
                listener->onStats(20 + int(random() % 40), 30 + int(random() % 50));
            }
        }
    }

    void audioLoop()
    {
        std::vector<int16_t> buffer;
        long captureT = 0, playbackT = 0;
        auto nextCapture = Clock::now(), nextPlayback = Clock::now();
        while (!stop) {
            const auto now = Clock::now();
            const auto wake = std::min(nextCapture, nextPlayback);
            if (wake > now) {
                std::uniform_int_distribution<int> late(0, std::max(0, jitterMs.load()) * 1000);
                std::this_thread::sleep_until(wake + std::chrono::microseconds(late(random)));
            }
            std::lock_guard<std::recursive_mutex> lock(mutex);
            if (!active()) {
                nextCapture = nextPlayback = Clock::now() + std::chrono::milliseconds(10);
                continue;
            }
            if (Clock::now() >= nextCapture) {
                const AudioFormat f = capture;
                const double period = double(f.samplesPerCall) / f.rate * (1 + config.driftPpm / 1e6);
                nextCapture += std::chrono::microseconds(long(period * 1e6));
                if (localAudio) {
                    buffer.assign(size_t(f.samplesPerCall * f.channels), 0);
                    for (int i = 0; i < f.samplesPerCall; ++i, ++captureT)
                        for (int c = 0; c < f.channels; ++c)
                            buffer[size_t(i * f.channels + c)]
                                = int16_t(6000 * std::sin(2 * kPi * config.micHz * captureT / f.rate));
                    listener->onCaptureAudio(buffer.data(), f);
                }
            }
            if (listener && Clock::now() >= nextPlayback) {
                const AudioFormat f = playback;
                nextPlayback += std::chrono::microseconds(long(double(f.samplesPerCall) / f.rate * 1e6));
                buffer.assign(size_t(f.samplesPerCall * f.channels), 0);
                const bool audible = anyPeer() && !remoteMuted;
                for (int i = 0; i < f.samplesPerCall; ++i, ++playbackT)
                    for (int c = 0; c < f.channels && audible; ++c)
                        buffer[size_t(i * f.channels + c)]
                            = int16_t(6000 * std::sin(2 * kPi * config.speakerHz * playbackT / f.rate));
                if (active())
                    listener->onPlaybackAudio(buffer.data(), f);
            }
        }
    }

    void renderLoop()
    {
        Picture local;
        std::vector<Picture> remote;
        unsigned frame = 0;
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 / std::max(1, fps.load())));
            std::lock_guard<std::recursive_mutex> lock(mutex);
            if (!active())
                continue;
            ++frame;
            if (localVideo) {
                local.draw(config.localWidth, config.localHeight, frame, uid, "ME " + std::to_string(uid));
                listener->onLocalVideo(local.view());
            }
            remote.resize(config.peers.size());
            for (size_t i = 0; i < config.peers.size() && active(); ++i) {
                if (!present[i] || !config.peers[i].sendsVideo)
                    continue;
                remote[i].draw(config.remoteWidth, config.remoteHeight, frame + unsigned(i) * 40, config.peers[i].uid,
                    config.peers[i].name);
                listener->onRemoteVideo(config.peers[i].uid, remote[i].view());
            }
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
    d->stop = true;
    for (std::thread &t : d->threads)
        if (t.joinable())
            t.join();
    delete d;
}

void Room::setConfig(const Config &config)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->config = config;
    d->jitterMs = config.jitterMs;
    d->fps = config.fps;
    d->present.assign(config.peers.size(), false);
}

Config Room::config() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->config;
}

int Room::join(
    Listener *listener, const std::string &, unsigned uid, const AudioFormat &capture, const AudioFormat &playback)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    if (d->config.joinError != 0)
        return d->config.joinError;
    if (d->threads.empty()) {
        d->threads.emplace_back([this] { d->eventLoop(); });
        d->threads.emplace_back([this] { d->audioLoop(); });
        d->threads.emplace_back([this] { d->renderLoop(); });
    }
    d->listener = listener;
    d->uid = uid;
    d->capture = capture;
    d->playback = playback;
    d->joinCalled = Clock::now();
    d->joined = false;
    d->failed = false;
    d->localVideo = d->localAudio = true;
    d->remoteMuted = false;
    d->present.assign(d->config.peers.size(), false);
    return 0;
}

void Room::leave()
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->listener = nullptr;
    d->joined = false;
    d->present.assign(d->config.peers.size(), false);
}

bool Room::inRoom() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->active();
}

void Room::setLocalVideo(bool on)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->localVideo = on;
}

void Room::setLocalAudio(bool on)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->localAudio = on;
}

void Room::setRemoteAudioMuted(bool muted)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->remoteMuted = muted;
}

} // namespace simroom
