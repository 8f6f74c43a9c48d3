#include "device/Mp3Decode.h"

#include "app/TSpdlog.h"
#include "device/LoopBuffer.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

#include <QLoggingCategory>
#include <memory>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.device.debug" on.
Q_LOGGING_CATEGORY(lcDevice, "lumira.device", QtInfoMsg)
} // namespace

namespace
{

struct FormatCloser {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Opens `file` and reads its stream information; null on failure (logged).
FormatPtr openFile(const QString &file, const char *openError)
{
    AVFormatContext *raw = avformat_alloc_context();
    const int rc = avformat_open_input(&raw, file.toUtf8().constData(), nullptr, nullptr);
    if (rc < 0) {
        TSpdlog::instance()->avError(QString::fromLatin1(openError) + QLatin1Char(' ') + errorText(rc));
        return nullptr;
    }
    FormatPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        TSpdlog::instance()->avError(QStringLiteral("find stream error"));
        return nullptr;
    }
    return format;
}

// The last audio and the last video stream of the file; -1 when there is none.
void findStreams(const AVFormatContext &format, int &audio, int &video)
{
    audio = video = -1;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVMediaType type = format.streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO)
            audio = int(i);
        else if (type == AVMEDIA_TYPE_VIDEO)
            video = int(i);
    }
}

} // namespace

Mp3Decode::Mp3Decode(QString file, QObject *parent)
    : QObject(parent)
    , m_file(std::move(file))
{
    if (FormatPtr format = openFile(m_file, "parseMp3MetaInfo open format context error"))
        findStreams(*format, m_audioStream, m_videoStream);
}

void Mp3Decode::stop()
{
    qCDebug(lcDevice) << "Mp3Decode stop";
    m_stop = true;
}

bool Mp3Decode::offer(const QByteArray &pcm)
{
    while (!m_stop && m_buffer) {
        // The stop request arrives as a queued call on this thread.
        QCoreApplication::processEvents();
        if (m_stop || !m_buffer)
            return false;
        if (m_buffer->write(pcm) > 0) {
            m_delivered += pcm.size();
            emit sgPCMData(pcm);
            return true;
        }
        for (int waited = 0; waited < fullBufferWaitMs && !m_stop; waited += 20) {
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
    }
    return false;
}

void Mp3Decode::run()
{
    // However the run ends, the player learns how much it got.
    struct EndNotice {
        Mp3Decode *decoder;
        ~EndNotice() { emit decoder->sgDecodeEnd(decoder->m_delivered); }
    } notice { this };
    m_delivered = 0;
    m_stop = false;
    if (!m_buffer) {
        qWarning() << "buffer is empty";
        return;
    }
    FormatPtr format = openFile(m_file, "open format context error");
    if (!format)
        return;
    int audio = -1, video = -1;
    findStreams(*format, audio, video);
    qCDebug(lcDevice) << "video" << video << "audio" << audio;
    if (audio < 0)
        return;
    const AVCodecParameters *params = format->streams[audio]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(params->codec_id);
    if (!codec) {
        TSpdlog::instance()->avError(QStringLiteral("codec error"));
        return;
    }
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), params) < 0) {
        TSpdlog::instance()->avError(QStringLiteral("codec error"));
        return;
    }
    qCDebug(lcDevice) << "avcodec context" << context->sample_rate << context->sample_fmt
                      << context->ch_layout.nb_channels << "info" << codec->name;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        TSpdlog::instance()->avError(QStringLiteral("open2 error"));
        return;
    }

    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    while (!m_stop && av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == audio && avcodec_send_packet(context.get(), packet.get()) >= 0) {
            while (!m_stop && avcodec_receive_frame(context.get(), frame.get()) >= 0) {
                if (!m_swr) {
                    SwrContext *swr = nullptr;
                    if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, m_rate, &frame->ch_layout,
                            AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr)
                            < 0
                        || swr_init(swr) < 0) {
                        swr_free(&swr);
                        qCDebug(lcDevice) << "alloc fill error";
                        break;
                    }
                    m_swr.reset(swr);
                }
                // Room for this frame at the new rate plus what the resampler holds.
                const int capacity
                    = int(av_rescale_rnd(swr_get_delay(m_swr.get(), frame->sample_rate) + frame->nb_samples, m_rate,
                        frame->sample_rate, AV_ROUND_UP));
                QByteArray pcm(capacity * 4, '\0');
                uint8_t *out[1] = { reinterpret_cast<uint8_t *>(pcm.data()) };
                const int converted = swr_convert(
                    m_swr.get(), out, capacity, const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
                if (converted < 0) {
                    qCDebug(lcDevice) << "Could not convert input samples\n"
                                      << "转换错误";
                    continue;
                }
                pcm.truncate(converted * 4);
                if (!pcm.isEmpty())
                    offer(pcm);
            }
        }
        av_packet_unref(packet.get());
    }
    qCDebug(lcDevice) << "mp3 end";
}
