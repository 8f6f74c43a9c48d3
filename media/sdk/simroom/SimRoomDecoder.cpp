#include "SimRoomDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace simroom
{

namespace
{
// The room is a library of its own, so it has its own owning handles.
struct InputDeleter {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecDeleter {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct SwrDeleter {
    void operator()(SwrContext *c) const { swr_free(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct DictionaryDeleter {
    void operator()(AVDictionary *d) const { av_dict_free(&d); }
};
} // namespace

struct Decoder::Handles {
    std::unique_ptr<AVFormatContext, InputDeleter> input;
    std::unique_ptr<AVCodecContext, CodecDeleter> codec;
    std::unique_ptr<SwrContext, SwrDeleter> swr;
    std::unique_ptr<AVFrame, FrameDeleter> frame { av_frame_alloc() };
    std::unique_ptr<AVPacket, PacketDeleter> packet { av_packet_alloc() };
    int stream = -1;
};

Decoder::Decoder()
    : m_h(new Handles)
{
}

Decoder::~Decoder() = default;

int Decoder::open(const std::string &path, const AudioFormat &format, std::unique_ptr<Decoder> &decoder)
{
    if (path.empty() || format.rate <= 0 || format.channels <= 0)
        return AVERROR(EINVAL);
    std::unique_ptr<Decoder> d(new Decoder);
    Handles &h = *d->m_h;
    if (!h.frame || !h.packet)
        return AVERROR(ENOMEM);
    // The path comes from the lesson page: it names a local file and nothing
    // else, so no URL reaches the network and no playlist pulls in more.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", "mp3,wav,aac,ogg,flac,mov,matroska", 0);
    std::unique_ptr<AVDictionary *, void (*)(AVDictionary **)> keep(
        &options, [](AVDictionary **o) { av_dict_free(o); });
    AVFormatContext *input = nullptr;
    const std::string url = "file:" + path;
    int r = avformat_open_input(&input, url.c_str(), nullptr, &options);
    if (r < 0)
        return r;
    h.input.reset(input);
    if ((r = avformat_find_stream_info(input, nullptr)) < 0)
        return r;
    const AVCodec *codec = nullptr;
    h.stream = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (h.stream < 0)
        return h.stream;
    const AVStream *stream = input->streams[h.stream];
    h.codec.reset(avcodec_alloc_context3(codec));
    if (!h.codec)
        return AVERROR(ENOMEM);
    if ((r = avcodec_parameters_to_context(h.codec.get(), stream->codecpar)) < 0
        || (r = avcodec_open2(h.codec.get(), codec, nullptr)) < 0)
        return r;
    if (h.codec->sample_rate <= 0)
        return AVERROR_INVALIDDATA;
    AVChannelLayout in {}, out {};
    if (h.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || h.codec->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&in, std::max(1, h.codec->ch_layout.nb_channels));
    else
        av_channel_layout_copy(&in, &h.codec->ch_layout);
    av_channel_layout_default(&out, format.channels);
    SwrContext *swr = nullptr;
    r = swr_alloc_set_opts2(
        &swr, &out, AV_SAMPLE_FMT_S16, format.rate, &in, h.codec->sample_fmt, h.codec->sample_rate, 0, nullptr);
    const bool mono = in.nb_channels == 1;
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    h.swr.reset(swr);
    // A mono file plays at its own level on every side, not 3 dB down.
    if (r >= 0 && mono) {
        const std::vector<double> matrix(size_t(format.channels), 1.0);
        r = swr_set_matrix(swr, matrix.data(), 1);
    }
    if (r < 0 || (r = swr_init(swr)) < 0)
        return r < 0 ? r : AVERROR(ENOMEM);
    if (input->duration > 0)
        d->m_durationMs = int(input->duration / (AV_TIME_BASE / 1000));
    else if (stream->duration > 0)
        d->m_durationMs = int(av_rescale_q(stream->duration, stream->time_base, { 1, 1000 }));
    d->m_format = format;
    decoder = std::move(d);
    return 0;
}

int Decoder::next(std::vector<int16_t> &samples)
{
    Handles &h = *m_h;
    for (;;) {
        int r = avcodec_receive_frame(h.codec.get(), h.frame.get());
        if (r == 0)
            return convert(samples);
        if (r == AVERROR_EOF)
            return AVERROR_EOF;
        if (r != AVERROR(EAGAIN))
            return r;
        r = av_read_frame(h.input.get(), h.packet.get());
        if (r == AVERROR_EOF) {
            if (m_draining)
                return AVERROR_EOF;
            m_draining = true;
            avcodec_send_packet(h.codec.get(), nullptr);
            continue;
        }
        if (r < 0)
            return r;
        if (h.packet->stream_index == h.stream)
            r = avcodec_send_packet(h.codec.get(), h.packet.get());
        av_packet_unref(h.packet.get());
        if (r < 0 && r != AVERROR_INVALIDDATA && r != AVERROR(EAGAIN))
            return r;
    }
}

int Decoder::convert(std::vector<int16_t> &samples)
{
    Handles &h = *m_h;
    AVFrame *frame = h.frame.get();
    int skip = 0;
    if (m_skipUntilMs >= 0) {
        const AVStream *stream = h.input->streams[h.stream];
        const int64_t pts = frame->best_effort_timestamp;
        const int64_t startMs
            = pts == AV_NOPTS_VALUE ? m_skipUntilMs : av_rescale_q(pts, stream->time_base, { 1, 1000 });
        skip = int(std::max<int64_t>(0, m_skipUntilMs - startMs) * m_format.rate / 1000);
        const int64_t endMs = startMs + int64_t(frame->nb_samples) * 1000 / std::max(1, frame->sample_rate);
        if (endMs >= m_skipUntilMs)
            m_skipUntilMs = -1;
    }
    const int room = swr_get_out_samples(h.swr.get(), frame->nb_samples);
    const size_t at = samples.size();
    samples.resize(at + size_t(std::max(0, room) * m_format.channels));
    uint8_t *out = reinterpret_cast<uint8_t *>(samples.data() + at);
    const int made
        = swr_convert(h.swr.get(), &out, room, const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    av_frame_unref(frame);
    if (made < 0) {
        samples.resize(at);
        return made;
    }
    const int kept = std::max(0, made - skip);
    if (skip > 0 && kept > 0)
        std::copy(
            samples.begin() + long(at + size_t(skip * m_format.channels)), samples.end(), samples.begin() + long(at));
    samples.resize(at + size_t(kept * m_format.channels));
    return 0;
}

int Decoder::seek(int positionMs)
{
    Handles &h = *m_h;
    const AVStream *stream = h.input->streams[h.stream];
    const int64_t target = av_rescale_q(positionMs, { 1, 1000 }, stream->time_base);
    const int r = av_seek_frame(h.input.get(), h.stream, target, AVSEEK_FLAG_BACKWARD);
    if (r < 0)
        return r;
    avcodec_flush_buffers(h.codec.get());
    swr_init(h.swr.get()); // drops what the resampler held from before
    m_draining = false;
    m_skipUntilMs = positionMs;
    return 0;
}

} // namespace simroom
