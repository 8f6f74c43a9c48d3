#pragma once
// An audio file decoded with FFmpeg and resampled to one interleaved S16 format.
#include "SimRoom.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simroom
{

class Decoder
{
public:
    // 0 with `decoder` ready, or a negative FFmpeg error. Only local files of
    // the usual audio containers are opened.
    static int open(const std::string &path, const AudioFormat &format, std::unique_ptr<Decoder> &decoder);
    ~Decoder();

    int durationMs() const { return m_durationMs; }
    // Appends the next decoded piece; 0, AVERROR_EOF after the last one, or
    // another negative error. A damaged frame is skipped, as players do.
    int next(std::vector<int16_t> &samples);
    // The next piece starts at `positionMs`.
    int seek(int positionMs);

private:
    struct Handles;
    Decoder();
    int convert(std::vector<int16_t> &samples);

    std::unique_ptr<Handles> m_h;
    AudioFormat m_format;
    int m_durationMs = 0;
    int64_t m_skipUntilMs = -1; // after a seek: what the key frame brings before the target
    bool m_draining = false;
};

} // namespace simroom
