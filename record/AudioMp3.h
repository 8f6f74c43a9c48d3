#pragma once

#include "record/AudioMp3Run.h"
#include "record/PacketFormer.h"

#include <QObject>
#include <QTimer>

// MP3 thread: opens and closes the lesson's file and runs the packet former
// on a precise 9 ms timer while the file is open.
class AudioMp3 : public QObject
{
    Q_OBJECT
public:
    explicit AudioMp3(RecordState &state = RecordState::process(), RecordClock clock = systemRecordClock(),
        QObject *parent = nullptr);
    ~AudioMp3() override;

public slots:
    void mp3Open(QString filePath);
    void mp3Close();

signals:
    void sgMp3Write();
    void sgStopRecord();

private slots:
    void mp3WriteTimer();

private:
    void closeFile();

    RecordState &m_state;
    RecordClock m_clock;
    QTimer m_mp3WriteTimer;
    PacketFormer m_former;
    PacketPairWriter m_rest; // what the encoding loop left when the file closes
};
