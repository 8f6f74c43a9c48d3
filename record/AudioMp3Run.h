#pragma once

#include "media/ffmpeg/FFmpegPtr.h"
#include "record/RecordState.h"

#include <QObject>

#include <cstdint>
#include <vector>

// Pairs one microphone and one speaker packet into a stereo frame and hands
// it to the open file's store. The encoding loop uses one while the file is
// open, the MP3 thread another for what is left when it closes.
class PacketPairWriter
{
public:
    explicit PacketPairWriter(RecordState &state);

    // Every complete pair queued now, all of it, in order; returns the count.
    int writeQueued();

private:
    bool encodePair(const QByteArray &mic, const QByteArray &spk);

    RecordState &m_state;
    std::vector<uint8_t> m_frameBuffer; // one stereo frame, reused for every packet pair
    ffmpeg::FramePtr m_frame; // points at m_frameBuffer; set up once
};

// MP3 writer thread: the encoding loop, until the file closes.
class AudioMp3Run : public QObject
{
    Q_OBJECT
public:
    explicit AudioMp3Run(RecordState &state = RecordState::process(), QObject *parent = nullptr);

public slots:
    void mp3Write();

private:
    RecordState &m_state;
    PacketPairWriter m_writer;
};
