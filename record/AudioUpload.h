#pragma once

#include "record/UploadState.h"

#include <QObject>
#include <functional>

class LMRRecordSQLite;

// Upload thread: the queue of recordings waiting for upload, and the
// clean-up of old local files.
class AudioUpload : public QObject
{
    Q_OBJECT
public:
    // `userId` gives the class information's user; `storedUserId` the one in the settings.
    AudioUpload(UploadState &state, LMRRecordSQLite *db, QString recordDir, std::function<QString()> userId,
        std::function<QString()> storedUserId, QObject *parent = nullptr);

public slots:
    void handUpload(QString token, bool callH5);
    void autoUpload();
    void mp3Delete();

private:
    UploadState &m_state;
    LMRRecordSQLite *m_db;
    QString m_recordDir;
    std::function<QString()> m_userId;
    std::function<QString()> m_storedUserId;
};
