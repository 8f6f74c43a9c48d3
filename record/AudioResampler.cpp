#include "record/AudioResampler.h"

#include "app/TSpdlog.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <cstring>

namespace
{
void avError(const QString &text) { TSpdlog::instance()->avError(text); }

// Frees what av_samples_alloc_array_and_samples made.
struct SampleArrays {
    uint8_t **data = nullptr;
    ~SampleArrays()
    {
        if (data)
            av_freep(&data[0]);
        av_freep(&data);
    }
};
} // namespace

AudioResampler::AudioResampler(
    int inRate, int inChannels, AVSampleFormat inFormat, int outRate, int outChannels, AVSampleFormat outFormat)
    : m_outRate(outRate)
    , m_outChannels(outChannels)
    , m_outFormat(outFormat)
    , m_inRate(inRate)
    , m_inChannels(inChannels)
    , m_inFormat(inFormat)
{
}

bool AudioResampler::ensureContext()
{
    if (m_swr)
        return true;
    AVChannelLayout outLayout;
    AVChannelLayout inLayout;
    av_channel_layout_default(&outLayout, m_outChannels);
    av_channel_layout_default(&inLayout, m_inChannels);
    SwrContext *swr = nullptr;
    const int rc
        = swr_alloc_set_opts2(&swr, &outLayout, m_outFormat, m_outRate, &inLayout, m_inFormat, m_inRate, 0, nullptr);
    ffmpeg::SwrPtr context(swr);
    if (context && m_filterSize > 0)
        av_opt_set_int(context.get(), "filter_size", m_filterSize, 0);
    if (rc < 0 || !context || swr_init(context.get()) < 0) {
        avError(QStringLiteral("录制：创建SwrContext结构体失败,inSample:%1,inChannel:%2,inFormat:%3,outSample:%4,"
                               "outChannel:%5,outFormat:%6")
                    .arg(m_inRate)
                    .arg(m_inChannels)
                    .arg(m_inFormat)
                    .arg(m_outRate)
                    .arg(m_outChannels)
                    .arg(m_outFormat));
        return false;
    }
    m_swr = std::move(context);
    return true;
}

bool AudioResampler::convert(const AVFrame *frame, uint8_t *out, int capacity, int &outSize, int &outSamples)
{
    if (!frame || !ensureContext())
        return false;
    if (!av_sample_fmt_is_planar(m_outFormat)) {
        // Packed output goes straight into the caller's buffer.
        const int frameBytes = av_get_bytes_per_sample(m_outFormat) * m_outChannels;
        const int wanted = int(
            av_rescale_rnd(swr_get_delay(m_swr.get(), m_inRate) + frame->nb_samples, m_outRate, m_inRate, AV_ROUND_UP));
        if (wanted * frameBytes > capacity) {
            avError(QStringLiteral("录制：转换后的数据超出缓冲区,size:%1,capacity:%2")
                        .arg(wanted * frameBytes)
                        .arg(capacity));
            return false;
        }
        uint8_t *planes[1] = { out };
        const int converted = swr_convert(m_swr.get(), planes, capacity / frameBytes,
            const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
        if (converted < 0) {
            avError(QStringLiteral("录制：无法转换输出样本"));
            return false;
        }
        outSamples = converted;
        outSize = converted * frameBytes;
        return true;
    }
    SampleArrays dst;
    int linesize = 0;
    int allocated = int(av_rescale_rnd(frame->nb_samples, m_outRate, m_inRate, AV_ROUND_UP));
    if (av_samples_alloc_array_and_samples(&dst.data, &linesize, m_outChannels, allocated, m_outFormat, 0) < 0) {
        avError(QStringLiteral("录制：av_samples_alloc_array_and_samples错误"));
        return false;
    }
    const int wanted = int(
        av_rescale_rnd(swr_get_delay(m_swr.get(), m_inRate) + frame->nb_samples, m_outRate, m_inRate, AV_ROUND_UP));
    if (wanted > allocated) {
        av_freep(&dst.data[0]);
        if (av_samples_alloc(dst.data, &linesize, m_outChannels, wanted, m_outFormat, 1) < 0) {
            avError(QStringLiteral("录制：av_samples_alloc错误"));
            return false;
        }
        allocated = wanted;
    }
    const int converted = swr_convert(
        m_swr.get(), dst.data, allocated, const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        avError(QStringLiteral("录制：无法转换输出样本"));
        return false;
    }
    const int size = av_samples_get_buffer_size(nullptr, m_outChannels, converted, m_outFormat, 1);
    if (size < 0) {
        avError(QStringLiteral("录制：av_samples_get_buffer_size错误"));
        return false;
    }
    if (size > capacity) {
        avError(QStringLiteral("录制：转换后的数据超出缓冲区,size:%1,capacity:%2").arg(size).arg(capacity));
        return false;
    }
    // Planar output: copy plane after plane so that alignment 1 holds.
    const int planes = av_sample_fmt_is_planar(m_outFormat) ? m_outChannels : 1;
    const int planeSize = size / planes;
    for (int p = 0; p < planes; ++p)
        std::memcpy(out + p * planeSize, dst.data[p], size_t(planeSize));
    outSize = size;
    outSamples = converted;
    return true;
}
