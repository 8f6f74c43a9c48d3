#pragma once

#include "media/AudioConvert.h"
#include "record/AVFrameWrapper.h"

#include <QObject>
#include <QSharedPointer>

#include <atomic>

// What every vendor adapter gives the window and the recorder, whatever its
// SDK: joining and leaving, who speaks, and the class audio in the
// recording format.
class MediaEngine : public QObject
{
    Q_OBJECT
public:
    // `tag` names the vendor in log lines.
    explicit MediaEngine(const QString &tag, QObject *parent = nullptr);

signals:
    void joined();
    void leavingChannel();
    void volumeChanged(QString uid, int value);
    void micFrame(QSharedPointer<AVFrameWrapper> frame);
    void spkFrame(QSharedPointer<AVFrameWrapper> frame);

protected:
    // Converts one vendor buffer with that stream's converter and hands it to
    // the recorder, counted; a buffer that cannot be converted is logged and
    // dropped. Runs on the SDK's audio thread.
    bool deliverAudio(const AudioConvertInput &input, bool mic);
    void resetFrameCounts();
    quint64 micFrames() const { return m_micFrames; }
    quint64 speakerFrames() const { return m_speakerFrames; }

private:
    const QString m_tag;
    AudioConvert m_micConvert; // the audio thread's only
    AudioConvert m_speakerConvert; // the audio thread's only
    std::atomic<quint64> m_micFrames { 0 };
    std::atomic<quint64> m_speakerFrames { 0 };
};
