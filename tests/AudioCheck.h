#pragma once
// Checks on real audio: tones in, MP3 decoded back with FFmpeg, tones measured.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace audiocheck
{

constexpr double kPi = 3.14159265358979323846;

// Interleaved S16 sine, phase continuous across calls through `t`.
inline QByteArray sine(int rate, int channels, int samples, double hz, long &t, double amplitude = 10000)
{
    QByteArray bytes(samples * channels * 2, 0);
    auto *out = reinterpret_cast<int16_t *>(bytes.data());
    for (int i = 0; i < samples; ++i, ++t)
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = int16_t(amplitude * std::sin(2 * kPi * hz * double(t) / rate));
    return bytes;
}

// The tone's frequency from the periods between upward crossings. Periods
// that span a gap (silence a recorder inserted for a late tick) are left
// out, so a gap does not read as a lower tone. Crossings count with
// hysteresis, so coding noise near zero does not, and the start-up is skipped.
inline double frequency(const std::vector<int16_t> &s, int rate)
{
    std::vector<size_t> periods;
    size_t previous = 0;
    bool low = false, seen = false;
    for (size_t i = s.size() / 10; i < s.size(); ++i) {
        if (s[i] < -1000)
            low = true;
        else if (low && s[i] > 1000) {
            low = false;
            if (seen)
                periods.push_back(i - previous);
            previous = i;
            seen = true;
        }
    }
    if (periods.empty())
        return 0;
    std::vector<size_t> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = double(sorted[sorted.size() / 2]);
    double total = 0;
    size_t counted = 0;
    for (size_t p : periods) {
        if (double(p) <= 1.5 * median) {
            total += double(p);
            ++counted;
        }
    }
    return counted ? double(counted) * rate / total : 0;
}

inline double rms(const std::vector<int16_t> &s)
{
    double sum = 0;
    for (size_t i = s.size() / 10; i < s.size(); ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(s.size() - s.size() / 10));
}

struct Decoded {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> left, right;
    double seconds() const { return rate ? double(left.size()) / rate : 0; }
};

// `bareMp3`: read the file as MP3 frames without probing, which needs a few
// frames to be sure (a recording killed at once holds one or two).
inline Decoded decode(const QString &path, bool bareMp3 = false)
{
    Decoded result;
    AVFormatContext *format = nullptr;
    const AVInputFormat *forced = bareMp3 ? av_find_input_format("mp3") : nullptr;
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), forced, nullptr) < 0)
        return result;
    const AVCodec *codec = nullptr;
    // A bare MP3 stream has no header: its stream is found by probing packets.
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    AVCodecContext *context = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (context && avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0
        && avcodec_open2(context, codec, nullptr) >= 0) {
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(context, frame) >= 0) {
                result.rate = frame->sample_rate;
                result.channels = frame->ch_layout.nb_channels;
                // The MP3 decoder gives planar float.
                const auto *l = reinterpret_cast<const float *>(frame->extended_data[0]);
                const auto *r = reinterpret_cast<const float *>(frame->extended_data[result.channels > 1 ? 1 : 0]);
                for (int i = 0; i < frame->nb_samples; ++i) {
                    result.left.push_back(int16_t(l[i] * 32767));
                    result.right.push_back(int16_t(r[i] * 32767));
                }
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0)
                drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(context, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return result;
}

} // namespace audiocheck
