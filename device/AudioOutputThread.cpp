#include "device/AudioOutputThread.h"

#include <QAudioOutput>
#include <QDebug>
#include <QLoggingCategory>
#include <QThread>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.device.debug" on.
Q_LOGGING_CATEGORY(lcDevice, "lumira.device", QtInfoMsg)
} // namespace

AudioOutputThread::AudioOutputThread(QAudioDeviceInfo device, QAudioFormat format, QObject *parent)
    : QObject(parent)
    , m_device(std::move(device))
    , m_format(format)
{
}

AudioOutputThread::~AudioOutputThread()
{
    if (m_output)
        m_output->stop();
}

bool AudioOutputThread::isPlaying() const { return m_output && m_output->state() == QAudio::ActiveState; }

void AudioOutputThread::run()
{
    if (!m_source)
        return;
    m_output = std::make_unique<QAudioOutput>(m_device, m_format);
    QAudioOutput *output = m_output.get();
    connect(
        output, &QAudioOutput::stateChanged, this,
        [this, output](QAudio::State state) {
            const auto thread = QThread::currentThreadId();
            switch (state) {
            case QAudio::ActiveState:
                qCDebug(lcDevice) << "output active" << thread;
                break;
            case QAudio::SuspendedState:
                qCDebug(lcDevice) << "output suspend" << thread;
                break;
            case QAudio::StoppedState:
                qCDebug(lcDevice) << "output stop" << thread;
                break;
            case QAudio::IdleState:
                qCDebug(lcDevice) << "output idle" << thread;
                output->stop(); // the source ran dry: the test music has ended
                emit sgPlayEnd();
                break;
            default:
                break;
            }
        },
        Qt::DirectConnection);
    output->start(m_source);
}

void AudioOutputThread::stop()
{
    if (m_output)
        m_output->stop();
}

void AudioOutputThread::pause(bool pause)
{
    if (!m_output)
        return;
    if (pause)
        m_output->start(); // push mode: nothing is pulled from the source
    else
        m_output->stop();
}
