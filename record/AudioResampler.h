#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QString>

// Converts frames of one input (format, rate, channels) to one output format;
// its SwrContext is made on first use and kept, so its delay line carries over
// from frame to frame.
class AudioResampler
{
public:
    AudioResampler(
        int inRate, int inChannels, AVSampleFormat inFormat, int outRate, int outChannels, AVSampleFormat outFormat);

    // Converts `frame` into `out` (at most `capacity` bytes, planes one after
    // the other). False, with the reason logged, when it cannot.
    bool convert(const AVFrame *frame, uint8_t *out, int capacity, int &outSize, int &outSamples);

    // Taps per phase of the low-pass filter; 0 keeps FFmpeg's default (32).
    void setFilterSize(int taps) { m_filterSize = taps; }

    int inRate() const { return m_inRate; }
    int inChannels() const { return m_inChannels; }
    AVSampleFormat inFormat() const { return m_inFormat; }

private:
    bool ensureContext();

    ffmpeg::SwrPtr m_swr;
    int m_outRate;
    int m_outChannels;
    AVSampleFormat m_outFormat;
    int m_inRate;
    int m_inChannels;
    AVSampleFormat m_inFormat;
    int m_filterSize = 0;
};
