#pragma once

#include "record/RecordState.h"
#include "record/UploadState.h"

#include <QObject>
#include <functional>

class LMRRecordSQLite;

// Starts the uploads of a route for one upload function at a time.
struct UploadRoutes {
    // (com_id, bucket, key, path, enableCDN): the object store
    std::function<void(QString, QString, QString, QString, bool)> uploadFile;
    // (com_id, bucket, key, path): the service's form upload
    std::function<void(QString, QString, QString, QString)> postFile;
};

// Upload runner thread: takes the next token whenever no upload is in flight
// and starts it on the current route.
class AudioUploadRun : public QObject
{
    Q_OBJECT
public:
    AudioUploadRun(UploadState &upload, RecordState &record, LMRRecordSQLite *db, QString recordDir,
        UploadRoutes routes, QObject *parent = nullptr);

    // Idle wait between looks at the queue; tests shorten it.
    int idleMs = 1000;

public slots:
    void run();

signals:
    void sgError(QString token);
    void sgUploadCount(int count);

private:
    bool sleepUnlessExit(int ms);
    void startUpload(const QString &token);

    UploadState &m_upload;
    RecordState &m_record;
    LMRRecordSQLite *m_db;
    QString m_recordDir;
    UploadRoutes m_routes;
    QString m_token;
};
