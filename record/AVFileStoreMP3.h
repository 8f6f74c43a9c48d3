#pragma once

#include "record/AVFileStoreAbstract.h"

#include <QFile>
#include <QString>
#include <memory>

// One lesson's MP3: 16 kHz stereo at 32 kbit/s, a bare sequence of MP3 frames
// with no container header, so that a later recording of the same lesson can
// append to the same file.
class AVFileStoreMP3 : public AVFileStoreAbstract
{
    Q_OBJECT
public:
    explicit AVFileStoreMP3(QString filePath, QObject *parent = nullptr);
    ~AVFileStoreMP3() override;

    bool open() override;
    bool close() override;
    // The caller keeps `frame`. Encoded data reaches the file at once.
    bool write(AVFrame *frame) override;

    QString filePath() const { return m_filePath; }

    static constexpr int kBitRate = 32000;
    static constexpr int kConvertCapacity = 4096;

private:
    bool encode(const AVFrame *frame);
    bool sendFullFrames();
    bool writePackets();
    void drain();

    QString m_filePath;
    std::unique_ptr<QFile> m_file;
    ffmpeg::CodecContextPtr m_context;
    ffmpeg::PacketPtr m_packet;
    // The MP3 encoder takes whole frames (576 samples at 16 kHz); recorder
    // frames are 144 samples, so they are gathered here first.
    ffmpeg::AudioFifoPtr m_fifo;
};
