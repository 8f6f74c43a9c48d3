#include "SimRoomPlayer.h"

#include "SimRoomDecoder.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <deque>

namespace simroom
{

namespace
{
using Clock = std::chrono::steady_clock;
constexpr int kAheadMs = 500; // decoded ahead of what plays
constexpr int kStepsPerTick = 64; // decoder pieces per event tick, at most
constexpr auto kProgressEvery = std::chrono::milliseconds(200);
} // namespace

struct Player::Playing {
    PlayerListener *listener = nullptr;
    AudioFormat format;
    int durationMs = 0;
    std::deque<int16_t> buffer; // interleaved samples at `format`
    int64_t baseMs = 0, played = 0; // position: baseMs plus `played` sample frames
    bool paused = false, ended = false;
    int error = 0;
    int seekMs = -1; // asked for, not yet done by the decoder
    unsigned seekSerial = 0; // what was decoded for an earlier position is dropped
    Clock::time_point lastProgress = Clock::now();

    size_t aheadSamples() const { return size_t(format.rate / 1000 * kAheadMs * format.channels); }
    int positionMs() const
    {
        const int64_t ms = baseMs + played * 1000 / format.rate;
        return int(durationMs > 0 ? std::min<int64_t>(ms, durationMs) : ms);
    }
};

Player::Player() = default;
Player::~Player() = default;

int Player::open(const std::string &path, PlayerListener *listener, const AudioFormat &format)
{
    std::unique_ptr<Decoder> decoder;
    int r = Decoder::open(path, format, decoder);
    if (r < 0)
        return r;
    // The start is decoded here: a file without a playable frame is refused
    // at once, and what is open plays from the next audio call on.
    std::unique_ptr<Playing> playing(new Playing);
    playing->listener = listener;
    playing->format = format;
    playing->durationMs = decoder->durationMs();
    std::vector<int16_t> start;
    while (start.size() < playing->aheadSamples() / 2 && (r = decoder->next(start)) == 0) { }
    if (start.empty())
        return r < 0 && r != AVERROR_EOF ? r : AVERROR_INVALIDDATA;
    if (r < 0 && r != AVERROR_EOF)
        return r;
    playing->ended = r == AVERROR_EOF;
    playing->buffer.assign(start.begin(), start.end());

    std::lock_guard<std::mutex> decoding(m_decoding);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_playing = std::move(playing);
        ++m_generation;
    }
    m_decoder.swap(decoder); // the one before is freed without m_mutex
    return 0;
}

void Player::close()
{
    std::lock_guard<std::mutex> decoding(m_decoding);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_playing)
            return;
        m_playing.reset();
        ++m_generation;
    }
    m_decoder.reset();
}

void Player::pause(bool paused)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_playing)
        m_playing->paused = paused;
}

void Player::seek(int positionMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_playing)
        return;
    Playing &p = *m_playing;
    positionMs = std::max(0, p.durationMs > 0 ? std::min(positionMs, p.durationMs) : positionMs);
    p.baseMs = positionMs;
    p.played = 0;
    p.buffer.clear();
    p.ended = false;
    p.seekMs = positionMs;
    ++p.seekSerial;
}

int Player::durationMs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing ? m_playing->durationMs : 0;
}

int Player::positionMs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing ? m_playing->positionMs() : 0;
}

void Player::mixInto(int16_t *samples, const AudioFormat &format)
{
    // Only the audio thread calls this, so the copy needs no lock of its own.
    static thread_local std::vector<int16_t> next;
    next.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_playing)
            return;
        Playing &p = *m_playing;
        if (p.paused || p.seekMs >= 0 || p.format.rate != format.rate || p.format.channels != format.channels)
            return;
        const size_t n = std::min(p.buffer.size(), size_t(format.samplesPerCall * format.channels));
        next.assign(p.buffer.begin(), p.buffer.begin() + long(n));
        p.buffer.erase(p.buffer.begin(), p.buffer.begin() + long(n));
        p.played += int64_t(n) / format.channels;
    }
    for (size_t i = 0; i < next.size(); ++i)
        samples[i] = int16_t(std::clamp(int(samples[i]) + int(next[i]), -32768, 32767));
}

// With m_decoding held; m_mutex only around each look at or change of the buffer.
bool Player::decodeAhead(unsigned generation)
{
    for (int step = 0; step < kStepsPerTick && m_decoder; ++step) {
        int seekMs = -1;
        unsigned serial = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_playing || m_generation != generation)
                return false;
            Playing &p = *m_playing;
            serial = p.seekSerial;
            seekMs = p.seekMs;
            if (seekMs < 0 && (p.ended || p.error || p.buffer.size() >= p.aheadSamples()))
                return true;
        }
        if (seekMs >= 0) {
            const int r = m_decoder->seek(seekMs);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_playing && m_generation == generation && m_playing->seekSerial == serial) {
                m_playing->seekMs = -1;
                m_playing->error = r < 0 ? r : 0;
            }
            continue;
        }
        std::vector<int16_t> piece;
        const int r = m_decoder->next(piece);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_playing || m_generation != generation || m_playing->seekSerial != serial)
            continue; // a seek came in meanwhile: this piece is from before it
        Playing &p = *m_playing;
        p.buffer.insert(p.buffer.end(), piece.begin(), piece.end());
        if (r == AVERROR_EOF)
            p.ended = true;
        else if (r < 0)
            p.error = r;
    }
    return true;
}

void Player::tick(std::vector<Call> &calls)
{
    std::lock_guard<std::mutex> decoding(m_decoding);
    unsigned generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_playing)
            return;
        generation = m_generation;
    }
    decodeAhead(generation);

    std::unique_ptr<Decoder> finishedDecoder; // freed once m_mutex is let go
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_playing || m_generation != generation)
        return;
    Playing &p = *m_playing;
    PlayerListener *listener = p.listener;
    const bool finished = p.error != 0 || (p.ended && p.buffer.empty() && p.seekMs < 0);
    if (finished) {
        const int error = p.error;
        m_playing.reset();
        const unsigned closed = ++m_generation;
        finishedDecoder = std::move(m_decoder);
        if (listener)
            calls.push_back([this, closed, listener, error] {
                if (current(closed))
                    listener->onPlayerComplete(error);
            });
        return;
    }
    const Clock::time_point now = Clock::now();
    if (!p.paused && now - p.lastProgress >= kProgressEvery && listener) {
        p.lastProgress = now;
        const int position = p.positionMs(), duration = p.durationMs;
        calls.push_back([this, generation, listener, position, duration] {
            if (current(generation))
                listener->onPlayerProgress(position, duration);
        });
    }
}

bool Player::current(unsigned generation) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_generation == generation;
}

} // namespace simroom
