#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

class LoopBuffer;

// Decodes an MP3 file to 16-bit stereo PCM at a chosen rate and feeds it to a
// LoopBuffer, waiting while the buffer is full.
class Mp3Decode : public QObject
{
    Q_OBJECT
public:
    explicit Mp3Decode(QString file, QObject *parent = nullptr);

    void setOutputRate(int rate) { m_rate = rate; }
    void setBuffer(LoopBuffer *buffer) { m_buffer = buffer; }
    bool hasAudio() const { return m_audioStream >= 0; }
    // Wait before offering a refused block again; tests shorten it.
    int fullBufferWaitMs = 1000;

public slots:
    void run();
    void stop();

signals:
    void sgPCMData(QByteArray array);
    // The run is over (end of file, stop or failure) after `bytes` of PCM.
    void sgDecodeEnd(qint64 bytes);

private:
    bool offer(const QByteArray &pcm);

    QString m_file;
    int m_rate = 8000;
    QPointer<LoopBuffer> m_buffer;
    std::atomic<bool> m_stop { false };
    qint64 m_delivered = 0;
    int m_audioStream = -1;
    int m_videoStream = -1;
    ffmpeg::SwrPtr m_swr; // kept across frames; made for the first frame's format
};
