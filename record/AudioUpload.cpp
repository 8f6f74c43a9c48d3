#include "record/AudioUpload.h"

#include "record/AudioDataDispatcher.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordName.h"

#include <QMutexLocker>

AudioUpload::AudioUpload(
    UploadState &state, LMRRecordSQLite *db, QString recordDir, QString storedUserId, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_db(db)
    , m_recordDir(std::move(recordDir))
    , m_storedUserId(std::move(storedUserId))
{
    mp3Delete();
}

void AudioUpload::handUpload(QString token, bool callH5)
{
    if (token.isEmpty())
        return;
    QMutexLocker lock(&m_state.queueLock);
    m_state.queue.removeAll(token);
    m_state.queue.prepend(token);
    m_state.callH5[token] = callH5;
}

void AudioUpload::autoUpload()
{
    UploadOwner owner;
    {
        QMutexLocker lock(&m_state.queueLock);
        owner = m_state.autoUploadOwner;
    }
    const QStringList tokens = m_db->getUnuploadedTokens(owner.userId);
    QMutexLocker lock(&m_state.queueLock);
    for (const QString &token : tokens) {
        if (token.isEmpty())
            continue;
        m_state.queue.removeAll(token);
        m_state.queue.append(token);
        m_state.callH5[token] = false;
        m_state.owners[token] = owner;
    }
}

void AudioUpload::mp3Delete()
{
    const QString &user = m_storedUserId;
    for (const QString &token : m_db->getDeletableTokens()) {
        RecordStatusChange gone;
        gone.del = 1;
        m_db->update(token, user, gone);
        recordname::removeRecording(m_recordDir, AudioDataDispatcher::fileName(token, user));
    }
}
