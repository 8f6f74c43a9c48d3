#include "record/AudioUploadRun.h"

#include "app/TSpdlog.h"
#include "record/AudioDataDispatcher.h"
#include "record/LMRRecordSQLite.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>

AudioUploadRun::AudioUploadRun(UploadState &upload, RecordState &record, LMRRecordSQLite *db, QString recordDir,
    UploadRoutes routes, QObject *parent)
    : QObject(parent)
    , m_upload(upload)
    , m_record(record)
    , m_db(db)
    , m_recordDir(std::move(recordDir))
    , m_routes(std::move(routes))
{
}

bool AudioUploadRun::sleepUnlessExit(int ms)
{
    for (int slept = 0; slept < ms; slept += 20) {
        if (m_upload.exit)
            return false;
        QThread::msleep(20);
    }
    return !m_upload.exit;
}

void AudioUploadRun::run()
{
    TSpdlog *log = TSpdlog::instance();
    while (!m_upload.exit) {
        QString token;
        UploadOwner owner;
        int queued = 0;
        if (!m_upload.uploading) {
            QMutexLocker lock(&m_upload.queueLock);
            if (!m_upload.queue.isEmpty()) {
                if (!m_token.isEmpty())
                    m_upload.queue.removeAll(m_token);
                queued = m_upload.queue.size();
                if (!m_upload.queue.isEmpty())
                    token = m_upload.queue.takeFirst();
                m_token = token;
                owner = m_upload.owners.value(token);
            }
        }
        if (token.isEmpty()) {
            m_token.clear();
            sleepUnlessExit(idleMs);
            continue;
        }
        // A lesson still being recorded waits for its end.
        while (!m_upload.exit && token == m_record.currentRecordToken())
            QThread::msleep(20);
        if (m_upload.exit)
            return;

        const QString &user = owner.userId;
        const QString path = m_recordDir + QLatin1Char('/') + AudioDataDispatcher::fileName(token, user);
        if (!QFileInfo::exists(path)) {
            log->avError(QStringLiteral("音频录制: 上传音频不存在:") + path);
            emit sgError(token);
            continue;
        }
        if (!m_db->getTokenIsNotEmpty(token, user)) {
            log->avError(QStringLiteral("音频录制: 上传音频数据库不存在:") + path);
            log->avInfo(QStringLiteral("音频录制: 上传音频数据库自动补全:") + path);
            if (!m_db->add(token, user, owner.teacher ? QStringLiteral("teacher") : QStringLiteral("student"))) {
                emit sgError(token);
                continue;
            }
        }
        emit sgUploadCount(queued);
        m_upload.uploading = true;
        const QString comId = uploadnames::comId(token);
        const QString key = uploadnames::objectKey(m_db->getDate(token, user), token, user);
        switch (m_upload.route.load()) {
        case 0:
            m_routes.uploadFile(comId, uploadnames::bucket(), key, path, false);
            break;
        case 1:
            m_routes.uploadFile(comId, uploadnames::bucket(), key, path, true);
            break;
        default:
            m_routes.postFile(comId, uploadnames::bucket(), key, path);
            break;
        }
    }
}
