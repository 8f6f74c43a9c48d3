#pragma once

#include "record/AVFrameWrapper.h"
#include "record/AudioDataDispatcher.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSharedPointer>

// The engines' frames into the byte caches, on the engine's own thread: a
// queued hop per frame (200 a second) cost the recorder more than the rest of
// its work. Shared with the engines' connections, so that a frame arriving
// while the recorder is destroyed meets a closed intake, not freed memory.
class FrameIntake
{
public:
    explicit FrameIntake(AudioDataDispatcher *dispatcher)
        : m_dispatcher(dispatcher)
    {
    }

    void mic(const QSharedPointer<AVFrameWrapper> &frame)
    {
        QMutexLocker lock(&m_lock);
        if (m_dispatcher)
            m_dispatcher->acceptMicData(frame);
    }
    void speaker(const QSharedPointer<AVFrameWrapper> &frame)
    {
        QMutexLocker lock(&m_lock);
        if (m_dispatcher)
            m_dispatcher->acceptSpeakerData(frame);
    }
    // Waits for a frame being taken; after it, no frame reaches the dispatcher.
    void close()
    {
        QMutexLocker lock(&m_lock);
        m_dispatcher = nullptr;
    }

private:
    QMutex m_lock; // guards m_dispatcher, held while a frame is taken
    AudioDataDispatcher *m_dispatcher;
};
