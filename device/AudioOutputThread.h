#pragma once

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QObject>
#include <QPointer>

#include <memory>

class QAudioOutput;
class QIODevice;

// Plays a source buffer on one output device, pulling from it.
class AudioOutputThread : public QObject
{
    Q_OBJECT
public:
    AudioOutputThread(QAudioDeviceInfo device, QAudioFormat format, QObject *parent = nullptr);
    ~AudioOutputThread() override;

    void setSource(QIODevice *source) { m_source = source; }
    bool isPlaying() const; // on the output's own thread, where run() made it

signals:
    // The source ran dry and the output stopped.
    void sgPlayEnd();

public slots:
    void run();
    void stop();
    void pause(bool pause);

private:
    QAudioDeviceInfo m_device;
    QAudioFormat m_format;
    QPointer<QIODevice> m_source;
    std::unique_ptr<QAudioOutput> m_output;
};
