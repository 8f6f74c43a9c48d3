#include "record/AVFileStoreMP3.h"

#include "app/TSpdlog.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace
{
void avError(const QString &text) { TSpdlog::instance()->avError(text); }
} // namespace

AVFileStoreMP3::AVFileStoreMP3(QString filePath, QObject *parent)
    : AVFileStoreAbstract(16000, 2, AV_SAMPLE_FMT_S16P, parent)
    , m_filePath(std::move(filePath))
{
}

AVFileStoreMP3::~AVFileStoreMP3() { close(); }

bool AVFileStoreMP3::open()
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
    if (!codec) {
        avError(QStringLiteral("Codec not found"));
        return false;
    }
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        avError(QStringLiteral("Could not allocate audio codec context"));
        return false;
    }
    context->bit_rate = kBitRate;
    context->sample_fmt = outputSampleFormat();
    bool supported = false;
    for (const AVSampleFormat *f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        supported = supported || *f == context->sample_fmt;
    if (!supported) {
        avError(QStringLiteral("Encoder does not support sample format %1")
                    .arg(QString::fromLatin1(av_get_sample_fmt_name(context->sample_fmt))));
        return false;
    }
    context->sample_rate = outputSampleRate();
    av_channel_layout_from_mask(&context->ch_layout, AV_CH_LAYOUT_STEREO);
    // With LAME's bit reservoir a frame is released only once later frames
    // are coded (about 150 ms at 16 kHz); without it, after the next frame.
    // What is on disk when the client dies is then at most one frame behind.
    if (codec->priv_class)
        av_opt_set(context->priv_data, "reservoir", "0", 0);
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        avError(QStringLiteral("Could not open codec"));
        return false;
    }
    auto file = std::make_unique<QFile>(m_filePath);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append)) {
        avError(QStringLiteral("mp3 file error"));
        return false;
    }
    m_packet.reset(av_packet_alloc());
    m_fifo.reset(av_audio_fifo_alloc(context->sample_fmt, outputChannels(), context->frame_size * 4));
    if (!m_packet || !m_fifo) {
        avError(QStringLiteral("Could not allocate audio codec context"));
        return false;
    }
    m_context = std::move(context);
    m_file = std::move(file);
    return true;
}

bool AVFileStoreMP3::write(AVFrame *frame)
{
    if (!m_context || !frame)
        return false;
    if (frame->sample_rate == outputSampleRate() && frame->ch_layout.nb_channels == outputChannels()
        && frame->format == outputSampleFormat())
        return encode(frame); // the recording path: no copy, no conversion

    // av_frame_free does not free a buffer attached with avcodec_fill_audio_frame:
    // the frame only points into `buffer`, which lives until encode returns.
    uint8_t buffer[kConvertCapacity] = {};
    int size = 0;
    int samples = 0;
    if (!resample(frame, buffer, size, samples, kConvertCapacity)) {
        avError(QStringLiteral("resample error"));
        return false;
    }
    ffmpeg::FramePtr converted(av_frame_alloc());
    if (!converted) {
        avError(QStringLiteral("fill error"));
        return false;
    }
    converted->sample_rate = outputSampleRate();
    av_channel_layout_default(&converted->ch_layout, outputChannels());
    converted->format = outputSampleFormat();
    converted->nb_samples = samples;
    if (avcodec_fill_audio_frame(converted.get(), outputChannels(), outputSampleFormat(), buffer, size, 1) < 0) {
        avError(QStringLiteral("fill error"));
        return false;
    }
    return encode(converted.get());
}

bool AVFileStoreMP3::encode(const AVFrame *frame)
{
    if (av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void **>(frame->extended_data), frame->nb_samples)
        < frame->nb_samples) {
        avError(QStringLiteral("Error sending the frame to the encoder"));
        return false;
    }
    return sendFullFrames();
}

bool AVFileStoreMP3::sendFullFrames()
{
    const int frameSize = m_context->frame_size;
    while (av_audio_fifo_size(m_fifo.get()) >= frameSize) {
        ffmpeg::FramePtr whole(av_frame_alloc());
        if (!whole) {
            avError(QStringLiteral("Error sending the frame to the encoder"));
            return false;
        }
        whole->nb_samples = frameSize;
        whole->format = m_context->sample_fmt;
        whole->sample_rate = m_context->sample_rate;
        av_channel_layout_copy(&whole->ch_layout, &m_context->ch_layout);
        if (av_frame_get_buffer(whole.get(), 0) < 0
            || av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(whole->data), frameSize) < frameSize
            || avcodec_send_frame(m_context.get(), whole.get()) < 0) {
            avError(QStringLiteral("Error sending the frame to the encoder"));
            return false;
        }
        whole.reset();
        if (!writePackets())
            return false;
    }
    return true;
}

bool AVFileStoreMP3::writePackets()
{
    for (;;) {
        const int rc = avcodec_receive_packet(m_context.get(), m_packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            avError(QStringLiteral("Error encoding audio frame"));
            return false;
        }
        if (m_file && m_file->isOpen()) {
            // Written and flushed per packet: the file is whole up to the last frame.
            m_file->write(reinterpret_cast<const char *>(m_packet->data), m_packet->size);
            m_file->flush();
        }
        av_packet_unref(m_packet.get());
    }
}

void AVFileStoreMP3::drain()
{
    // The encoder's look-ahead holds the last ~160 ms of the lesson; flushing
    // it writes ordinary MP3 frames, so a later recording still appends.
    const int rest = av_audio_fifo_size(m_fifo.get());
    if (rest > 0) {
        ffmpeg::FramePtr last(av_frame_alloc());
        if (last) {
            last->nb_samples = rest;
            last->format = m_context->sample_fmt;
            last->sample_rate = m_context->sample_rate;
            av_channel_layout_copy(&last->ch_layout, &m_context->ch_layout);
            if (av_frame_get_buffer(last.get(), 0) >= 0
                && av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(last->data), rest) == rest)
                avcodec_send_frame(m_context.get(), last.get());
        }
    }
    if (avcodec_send_frame(m_context.get(), nullptr) >= 0)
        writePackets();
}

bool AVFileStoreMP3::close()
{
    if (m_context && m_fifo)
        drain();
    if (m_file) {
        if (m_file->isOpen())
            m_file->close();
        m_file.reset();
    }
    m_context.reset();
    m_packet.reset();
    m_fifo.reset();
    return true;
}
