#include "media/AudioConvert.h"

#include "app/TSpdlog.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
}

ffmpeg::FramePtr AudioConvert::convert(const AudioConvertInput &input)
{
    const int needed = input.samplesPerChannel * input.channels * 2;
    if (input.sampleRate <= 0 || input.channels <= 0 || input.samplesPerChannel <= 0 || input.length < needed
        || input.buffer.size() < needed) {
        TSpdlog::instance()->avError(QStringLiteral("audio convert: bad input rate:%1 channels:%2 samples:%3 length:%4")
                                         .arg(input.sampleRate)
                                         .arg(input.channels)
                                         .arg(input.samplesPerChannel)
                                         .arg(input.length));
        return nullptr;
    }
    // A vendor may change its rate mid-class (device switch): start a new history.
    if (!m_resampler || m_resampler->inRate() != input.sampleRate || m_resampler->inChannels() != input.channels) {
        m_resampler = std::make_unique<AudioResampler>(
            input.sampleRate, input.channels, AV_SAMPLE_FMT_S16, kRate, kChannels, kFormat);
        m_resampler->setFilterSize(kFilterSize);
    }

    AVFrame in {};
    in.sample_rate = input.sampleRate;
    in.format = AV_SAMPLE_FMT_S16;
    in.nb_samples = input.samplesPerChannel;
    in.data[0] = reinterpret_cast<uint8_t *>(const_cast<char *>(input.buffer.constData()));
    in.extended_data = in.data;
    in.linesize[0] = needed;

    ffmpeg::FramePtr out(av_frame_alloc());
    if (!out)
        return nullptr;
    out->sample_rate = kRate;
    out->format = kFormat;
    av_channel_layout_default(&out->ch_layout, kChannels);
    // Room for this call's output plus the resampler's backlog, within the cap.
    out->nb_samples = std::min(
        kCapacity / 2, int(av_rescale_rnd(input.samplesPerChannel + 64, kRate, input.sampleRate, AV_ROUND_UP)) + 64);
    if (av_frame_get_buffer(out.get(), 0) < 0)
        return nullptr;
    int size = 0;
    int samples = 0;
    if (!m_resampler->convert(&in, out->data[0], out->nb_samples * 2, size, samples)) {
        TSpdlog::instance()->avError(QStringLiteral("audio convert: resample error"));
        return nullptr;
    }
    out->nb_samples = samples;
    // The recorder takes linesize[0] bytes as the frame's PCM: make it exact.
    out->linesize[0] = size;
    return out;
}
