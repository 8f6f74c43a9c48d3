#pragma once

#include "media/ffmpeg/FFmpegPtr.h"
#include "record/RecordState.h"

#include <QObject>

#include <cstdint>
#include <vector>

// MP3 writer thread: pairs one microphone and one speaker packet into a
// stereo frame and hands it to the store, until the file closes.
class AudioMp3Run : public QObject
{
    Q_OBJECT
public:
    explicit AudioMp3Run(RecordState &state = RecordState::process(), QObject *parent = nullptr);

public slots:
    void mp3Write();

private:
    void encodePair(const QByteArray &mic, const QByteArray &spk);

    RecordState &m_state;
    std::vector<uint8_t> m_frameBuffer; // one stereo frame, reused for every packet pair
    ffmpeg::FramePtr m_frame; // points at m_frameBuffer; set up once
};
