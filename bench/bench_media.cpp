// Per-frame cost of the class audio conversion (10 ms frames, and the 20 ms
// ones of TRTC and iLive) and of the video tile frame path, each against a
// memcpy of the same bytes measured in the same run.
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/AudioConvert.h"
#include "media/LMRILive.h"
#include "media/LMRZgRtc.h"
#include "media/video/VideoFrameConvert.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

AudioConvertInput tenMs(int rate, int channels)
{
    AudioConvertInput in;
    in.sampleRate = rate;
    in.channels = channels;
    in.samplesPerChannel = rate / 100;
    in.buffer = QByteArray(in.samplesPerChannel * channels * 2, 0);
    auto *s = reinterpret_cast<int16_t *>(in.buffer.data());
    for (int i = 0; i < in.samplesPerChannel * channels; ++i)
        s[i] = int16_t(8000 * std::sin(i * 0.05));
    in.length = in.buffer.size();
    return in;
}

void BM_AudioConvert(benchmark::State &state)
{
    AudioConvert convert;
    const AudioConvertInput in = tenMs(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        ffmpeg::FramePtr frame = convert.convert(in);
        benchmark::DoNotOptimize(frame.get());
    }
}
BENCHMARK(BM_AudioConvert)->Args({ 48000, 2 })->Args({ 16000, 1 })->Args({ 8000, 2 });

// TRTC's frames: 20 ms at 48 kHz, the microphone mono and the speaker stereo.
void BM_AudioConvertTRtc(benchmark::State &state)
{
    AudioConvert convert;
    AudioConvertInput in = tenMs(48000, int(state.range(0)));
    in.samplesPerChannel *= 2;
    in.buffer = in.buffer + in.buffer;
    in.length = in.buffer.size();
    for (auto _ : state) {
        ffmpeg::FramePtr frame = convert.convert(in);
        benchmark::DoNotOptimize(frame.get());
    }
}
BENCHMARK(BM_AudioConvertTRtc)->Arg(1)->Arg(2);
// What the Zego audio callback does per buffer of 8 kHz stereo: the record,
// the private copy, the conversion and the frame's shared holder. Argument:
// milliseconds per buffer.
void BM_ZegoAudioFrame(benchmark::State &state)
{
    AudioConvert convert;
    const int samples = 8 * int(state.range(0));
    QByteArray pcm(samples * 2 * 2, 0);
    auto *s = reinterpret_cast<int16_t *>(pcm.data());
    for (int i = 0; i < samples * 2; ++i)
        s[i] = int16_t(8000 * std::sin(i / 2 * 0.3));
    const auto *data = reinterpret_cast<const unsigned char *>(pcm.constData());
    for (auto _ : state) {
        ffmpeg::FramePtr frame = convert.convert(LMRZgRtc::audioInput(data, unsigned(pcm.size()), 8000, 2));
        auto wrapper = QSharedPointer<AVFrameWrapper>::create(frame.release());
        benchmark::DoNotOptimize(wrapper.data());
    }
}
BENCHMARK(BM_ZegoAudioFrame)->Arg(10)->Arg(20);

// What the iLive audio callback does per 20 ms buffer of the microphone
// (32 kHz mono) or the speaker (48 kHz stereo): the speaking level over every
// sample, the record, the private copy, the conversion and the frame's holder.
void BM_ILiveAudioFrame(benchmark::State &state)
{
    AudioConvert convert;
    const int rate = int(state.range(0)), channels = int(state.range(1)), samples = rate / 50;
    QByteArray pcm(samples * channels * 2, 0);
    auto *s = reinterpret_cast<int16_t *>(pcm.data());
    for (int i = 0; i < samples * channels; ++i)
        s[i] = int16_t(8000 * std::sin(i / channels * 0.05));
    ilive::iLiveAudioFrame frame;
    frame.sampleRate = uint32_t(rate);
    frame.channels = uint32_t(channels);
    frame.bits = 16;
    frame.dataSize = uint32_t(pcm.size());
    frame.data = reinterpret_cast<uint8_t *>(pcm.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(LMRILive::speakingLevel(frame.data, frame.dataSize, frame.bits));
        AudioConvertInput input;
        LMRILive::audioInput(frame, input);
        ffmpeg::FramePtr converted = convert.convert(input);
        auto wrapper = QSharedPointer<AVFrameWrapper>::create(converted.release());
        benchmark::DoNotOptimize(wrapper.data());
    }
}
BENCHMARK(BM_ILiveAudioFrame)->Args({ 32000, 1 })->Args({ 48000, 2 });

// A member's own stream, 20 ms of 8 kHz unsigned 8-bit: only its level is taken.
void BM_ILiveMemberLevel(benchmark::State &state)
{
    std::vector<uint8_t> bytes(160);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(128 + 23 * std::sin(double(i) * 0.5));
    for (auto _ : state)
        benchmark::DoNotOptimize(LMRILive::speakingLevel(bytes.data(), uint32_t(bytes.size()), 8));
}
BENCHMARK(BM_ILiveMemberLevel);

// Baseline: the copy every callback makes of the vendor buffer anyway.
void BM_MemcpyBaseline(benchmark::State &state)
{
    const AudioConvertInput in = tenMs(int(state.range(0)), int(state.range(1)));
    QByteArray copy(in.buffer.size(), 0);
    for (auto _ : state) {
        std::memcpy(copy.data(), in.buffer.constData(), size_t(in.buffer.size()));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpyBaseline)->Args({ 48000, 2 });

// A 1280x720 I420 frame to a cropped 960x720 AVFrame, as every remote tile does.
void BM_I420ToCroppedFrame(benchmark::State &state)
{
    const int w = 1280, h = 720;
    std::vector<uint8_t> y(size_t(w * h), 90), u(size_t(w * h / 4), 120), v(size_t(w * h / 4), 140);
    VendorVideoFrame in;
    in.width = w;
    in.height = h;
    in.strides[0] = w;
    in.strides[1] = in.strides[2] = w / 2;
    in.planes[0] = y.data();
    in.planes[1] = u.data();
    in.planes[2] = v.data();
    for (auto _ : state) {
        ffmpeg::FramePtr frame = videoconvert::fromI420(in);
        benchmark::DoNotOptimize(frame.get());
    }
}
BENCHMARK(BM_I420ToCroppedFrame)->Unit(benchmark::kMicrosecond);

void BM_I420MemcpyBaseline(benchmark::State &state)
{
    const size_t bytes = 1280 * 720 * 3 / 2;
    std::vector<uint8_t> from(bytes, 90), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_I420MemcpyBaseline)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    const QString log = DirHelper::instance()->logPath() + QStringLiteral("/bench.log");
    TSpdlog::create(log, log);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
