#pragma once

#include "record/AudioResampler.h"

#include <QHash>
#include <QObject>
#include <memory>

// A file that takes audio frames in its own format; frames of other formats
// are converted, with one converter per distinct input kept for its lifetime.
class AVFileStoreAbstract : public QObject
{
    Q_OBJECT
public:
    AVFileStoreAbstract(int outRate, int outChannels, AVSampleFormat outFormat, QObject *parent = nullptr);
    ~AVFileStoreAbstract() override;

    virtual bool open() = 0;
    virtual bool close() = 0;
    virtual bool write(AVFrame *frame) = 0;

    int outputSampleRate() const { return m_outRate; }
    int outputChannels() const { return m_outChannels; }
    AVSampleFormat outputSampleFormat() const { return m_outFormat; }
    int converterCount() const { return m_converters.size(); }

protected:
    bool resample(AVFrame *frame, uint8_t *outBuffer, int &outSize, int &outSamples, int capacity);

private:
    int m_outRate;
    int m_outChannels;
    AVSampleFormat m_outFormat;
    // keyed by (format, rate, channels) packed into one number
    QHash<quint64, std::shared_ptr<AudioResampler>> m_converters;
};
