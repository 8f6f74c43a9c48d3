#pragma once
// Listeners and checks for the simulated room's tests: callbacks counted by
// kind, peers' calls logged in order, playback audio captured, and a
// courseware MP3 made with FFmpeg's encoder.
#include <simroom/SimRoom.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace simroomcheck
{

using namespace std::chrono_literals;

// Only against a hang: every wait below ends long before it when all is well.
constexpr auto kGuard = 10s;
// Several periods of every callback but the 2 s statistics: 10 ms audio, 15 fps
// video, 300 ms volumes.
constexpr auto kQuietPeriod = 700ms;

enum Kind { Joined, Failed, User, Volume, Stats, Capture, Playback, Local, Remote, kKinds };

inline const char *name(Kind kind)
{
    static const char *const names[]
        = { "joined", "failed", "user", "volume", "stats", "capture", "playback", "local", "remote" };
    return names[kind];
}

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

// What a listener hears of the peers: user and state calls in order (volumes
// among them once recording of them starts), frames per peer, and channel 0
// of the playback audio.
class PeerLog : public Recorder, public simroom::PlayerListener
{
public:
    std::vector<std::string> events(size_t from = 0) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::vector<std::string>(m_events.begin() + long(std::min(from, m_events.size())), m_events.end());
    }
    // Waits for `event` among those from index `from` on.
    bool heard(const std::string &event, size_t from = 0)
    {
        return waitUntil([&] {
            const auto all = events(from);
            return std::find(all.begin(), all.end(), event) != all.end();
        });
    }
    int frames(unsigned uid) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_frames.find(uid);
        return it == m_frames.end() ? 0 : it->second;
    }
    // Waits for `n` more playback calls: one prepared before a change that
    // was just heard of has then been delivered.
    bool morePlayback(int n)
    {
        const int start = count(Playback);
        return waitUntil([&] { return count(Playback) >= start + n; });
    }
    // The next `ms` of playback audio, channel 0.
    std::vector<int16_t> playback(int ms)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_audio.clear();
            m_want = size_t(ms) * 48;
        }
        waitUntil([&] {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_audio.size() >= m_want;
        });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_want = 0;
        return m_audio;
    }
    std::atomic<bool> volumes { false };
    std::atomic<int> completions { 0 }, lastCompletion { 1 };
    std::vector<std::pair<int, int>> progress() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_progress;
    }

    void onRemoteUser(unsigned uid, bool present) override
    {
        log(uid, present ? "in" : "out");
        Recorder::onRemoteUser(uid, present);
    }
    void onRemoteVideoState(unsigned uid, bool on) override { log(uid, on ? "camera on" : "camera off"); }
    void onRemoteAudioState(unsigned uid, bool on) override { log(uid, on ? "mic on" : "mic off"); }
    void onVolume(unsigned uid, int volume) override
    {
        if (volumes)
            log(uid, "volume " + std::to_string(volume));
        Recorder::onVolume(uid, volume);
    }
    void onRemoteVideo(unsigned uid, const simroom::I420View &frame) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_frames[uid];
        }
        Recorder::onRemoteVideo(uid, frame);
    }
    void onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &f) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (int i = 0; i < f.samplesPerCall && m_audio.size() < m_want; ++i)
                m_audio.push_back(samples[i * f.channels]);
        }
        Recorder::onPlaybackAudio(samples, f);
    }
    void onPlayerProgress(int position, int duration) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_progress.emplace_back(position, duration);
        }
        notify();
    }
    void onPlayerComplete(int error) override
    {
        lastCompletion = error;
        ++completions;
        notify();
    }

private:
    void log(unsigned uid, const std::string &what)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(std::to_string(uid) + " " + what);
        }
        notify();
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::map<unsigned, int> m_frames;
    std::vector<int16_t> m_audio;
    size_t m_want = 0;
    std::vector<std::pair<int, int>> m_progress;
};

inline int peak(const std::vector<int16_t> &s)
{
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(int(v)));
    return p;
}

// From the upward zero crossings; the signals here are clean tones.
// From the periods between upward zero crossings near the median one, so a
// start-up (silence, or the decoder's first frame after a seek) does not count.
inline double frequency(const std::vector<int16_t> &s, int rate)
{
    std::vector<long> periods;
    for (size_t i = 1, previous = 0; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (previous)
                periods.push_back(long(i - previous));
            previous = i;
        }
    if (periods.empty())
        return 0;
    std::vector<long> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = double(sorted[sorted.size() / 2]);
    double total = 0, counted = 0;
    for (long p : periods)
        if (std::abs(double(p) - median) <= 0.1 * median) {
            total += double(p);
            ++counted;
        }
    return counted > 0 ? counted * rate / total : 0;
}

// A tone of `hz` as an MP3 made with FFmpeg's encoder: 44.1 kHz mono, so the
// room has to resample it to its 48 kHz stereo playback.
inline bool writeMp3(const std::string &path, double hz, double seconds)
{
    AVFormatContext *out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "mp3", path.c_str()) < 0)
        return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> keepOut(out, [](AVFormatContext *c) {
        avio_closep(&c->pb);
        avformat_free_context(c);
    });
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext *)> enc(
        codec ? avcodec_alloc_context3(codec) : nullptr, [](AVCodecContext *c) { avcodec_free_context(&c); });
    if (!enc)
        return false;
    enc->sample_rate = 44100;
    enc->sample_fmt = AV_SAMPLE_FMT_S16P;
    enc->bit_rate = 128000;
    av_channel_layout_default(&enc->ch_layout, 1);
    AVStream *stream = avformat_new_stream(out, nullptr);
    if (!stream || avcodec_open2(enc.get(), codec, nullptr) < 0
        || avcodec_parameters_from_context(stream->codecpar, enc.get()) < 0
        || avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(out, nullptr) < 0)
        return false;
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> frame(av_frame_alloc(), [](AVFrame *f) { av_frame_free(&f); });
    std::unique_ptr<AVPacket, void (*)(AVPacket *)> packet(av_packet_alloc(), [](AVPacket *p) { av_packet_free(&p); });
    const long total = long(seconds * 44100);
    for (long t = 0; t < total + enc->frame_size; t += enc->frame_size) {
        const bool last = t >= total; // then the encoder is drained
        if (!last) {
            frame->nb_samples = enc->frame_size;
            frame->format = enc->sample_fmt;
            av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0)
                return false;
            auto *s = reinterpret_cast<int16_t *>(frame->data[0]);
            for (int i = 0; i < frame->nb_samples; ++i)
                s[i] = int16_t(10000 * std::sin(2 * 3.14159265358979 * hz * double(t + i) / 44100));
            frame->pts = t;
        }
        if (avcodec_send_frame(enc.get(), last ? nullptr : frame.get()) < 0)
            return false;
        av_frame_unref(frame.get());
        while (avcodec_receive_packet(enc.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(out, packet.get()) < 0)
                return false;
        }
    }
    return av_write_trailer(out) == 0;
}

} // namespace simroomcheck
