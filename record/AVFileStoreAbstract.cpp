#include "record/AVFileStoreAbstract.h"

#include "app/TSpdlog.h"

AVFileStoreAbstract::AVFileStoreAbstract(int outRate, int outChannels, AVSampleFormat outFormat, QObject *parent)
    : QObject(parent)
    , m_outRate(outRate)
    , m_outChannels(outChannels)
    , m_outFormat(outFormat)
{
    // FFmpeg 4 and later register their codecs themselves (av_register_all is gone).
}

AVFileStoreAbstract::~AVFileStoreAbstract() = default;

bool AVFileStoreAbstract::resample(AVFrame *frame, uint8_t *outBuffer, int &outSize, int &outSamples, int capacity)
{
    const int channels = frame->ch_layout.nb_channels;
    const quint64 key = (quint64(quint32(frame->format)) << 48) | (quint64(quint32(frame->sample_rate)) << 16)
        | quint64(quint16(channels));
    std::shared_ptr<AudioResampler> &converter = m_converters[key];
    if (!converter)
        converter = std::make_shared<AudioResampler>(
            frame->sample_rate, channels, AVSampleFormat(frame->format), m_outRate, m_outChannels, m_outFormat);
    if (converter->convert(frame, outBuffer, capacity, outSize, outSamples))
        return true;
    TSpdlog::instance()->avError(QStringLiteral("AVFileStoreAbstract::resample error"));
    return false;
}
