#pragma once
// The room's courseware player. The file is decoded ahead on the event thread
// into a short buffer that the audio thread mixes into the playback audio, so
// the audio thread never waits for the decoder.
#include "SimRoom.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace simroom
{

class Decoder;

class Player
{
public:
    Player();
    ~Player();

    // Opens `path` for playback at `format`; 0, or a negative FFmpeg error
    // with nothing playing.
    int open(const std::string &path, PlayerListener *listener, const AudioFormat &format);
    void close();
    void pause(bool paused);
    void seek(int positionMs);
    int durationMs() const;
    int positionMs() const;

    // Audio thread: adds what plays next to `samples` (interleaved, `format`).
    void mixInto(int16_t *samples, const AudioFormat &format);

    // Event thread: decodes ahead and collects the listener calls that fall
    // due. Each call checks, right before it runs, that the file it is about
    // is still the one open.
    using Call = std::function<void()>;
    void tick(std::vector<Call> &calls);

private:
    struct Playing;
    bool decodeAhead(unsigned generation);
    // Whether nothing was opened or closed since `generation`.
    bool current(unsigned generation) const;

    // Held while the decoder works, without `m_mutex`; so close() and open()
    // wait for a decoding step, and the audio thread never does.
    std::mutex m_decoding;
    std::unique_ptr<Decoder> m_decoder; // under m_decoding

    // The buffer, position and listener: held for a look or a change only.
    mutable std::mutex m_mutex;
    std::unique_ptr<Playing> m_playing; // null: nothing open
    unsigned m_generation = 0; // a new one with every open and close
};

} // namespace simroom
