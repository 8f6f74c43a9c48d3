#pragma once

#include "record/UploadState.h"

#include <QObject>

class LMRRecordSQLite;

// Upload thread: the queue of recordings waiting for upload, and the
// clean-up of old local files.
class AudioUpload : public QObject
{
    Q_OBJECT
public:
    // Runs the old-file clean-up at once, for the user stored in the settings.
    AudioUpload(
        UploadState &state, LMRRecordSQLite *db, QString recordDir, QString storedUserId, QObject *parent = nullptr);

public slots:
    void handUpload(QString token, bool callH5);
    void autoUpload();
    void mp3Delete();

private:
    UploadState &m_state;
    LMRRecordSQLite *m_db;
    QString m_recordDir;
    QString m_storedUserId;
};
