#pragma once

#include "media/ffmpeg/FFmpegPtr.h"
#include "record/AudioResampler.h"

#include <QByteArray>
#include <memory>

// One vendor audio buffer: interleaved signed 16-bit samples.
struct AudioConvertInput {
    int sampleRate = 0;
    int channels = 0;
    int samplesPerChannel = 0;
    int length = 0; // bytes
    QByteArray buffer; // private copy of the vendor data
};

// Turns vendor audio into the recording format: 16 kHz, mono, S16 interleaved.
// One instance per stream (microphone, speaker), so that each keeps its own
// resampler history.
class AudioConvert
{
public:
    static constexpr int kRate = 16000;
    static constexpr int kChannels = 1;
    static constexpr AVSampleFormat kFormat = AV_SAMPLE_FMT_S16;
    static constexpr int kCapacity = 4096; // bytes per call: 2048 samples
    // Speech for a 32 kbit/s recording: a 16-tap low-pass is ample and costs
    // half of FFmpeg's default 32 taps (the callback runs on the SDK's thread).
    static constexpr int kFilterSize = 16;

    // Null, with the reason logged, when the input cannot be converted.
    ffmpeg::FramePtr convert(const AudioConvertInput &input);

private:
    std::unique_ptr<AudioResampler> m_resampler;
};
