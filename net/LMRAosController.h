#pragma once

#include "net/LMRAos.h"
#include "net/LMRAosInterface.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QThread>

// Starts every object-storage transfer on a worker and thread of its own and
// hands progress and results, tagged with the caller's com_id, to all
// registered receivers. GUI thread only.
class LMRAosController : public QObject
{
    Q_OBJECT
public:
    static LMRAosController *instance();
    explicit LMRAosController(LMRAosSettings settings = LMRAosSettings::fromBuild(), QObject *parent = nullptr);
    ~LMRAosController() override;

    void registerReceiver(LMRAosInterface *receiver);
    void unregisterReceiver(LMRAosInterface *receiver);

    void uploadFile(
        QString com_id, QString multithread, QString bucket, QString objectName, QString file, bool enableCDN = false);
    void downloadFile(QString com_id, QString multithread, QString bucket, QString objectName, QString file);
    void uploadBuffer(QString com_id, QString bucket, QString objectName, std::shared_ptr<std::iostream> buffer);
    void postFile(QString com_id, QString bucket, QString objectName, QString file);

    int runningWorkers() const { return m_threads.size(); }

    // Every "file://" removed: QML hands local paths as URLs.
    static QString localPath(QString path);

public slots:
    void handleProgress(QString progress_com_id, qlonglong progress);
    void handleEffect(QString com_id, QString effect);
    void del();

signals:
    void startUploadMultithreadSignal(
        QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN);
    void startUploadSignal(QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN);
    void startDownloadMultithreadSignal(QString com_id, std::string bucket, std::string ObjectName, QString file);
    void startDownloadSignal(QString com_id, std::string bucket, std::string ObjectName, QString file);
    void startUploadBufferSignal(
        QString com_id, std::string bucket, std::string ObjectName, std::shared_ptr<std::iostream> buffer);
    void startUploadPostSignal(QString com_id, QString bucket, QString ObjectName, QString file);
    void startDoesObjectExistSignal(QString com_id, std::string bucket, std::string ObjectName);
    void startHeadObjectSignal(QString com_id, std::string bucket, std::string ObjectName);
    void startDeleteObject(QString com_id, std::string bucket, std::string request);

private:
    LMRAos *createWorker();

    LMRAosSettings m_settings;
    QList<LMRAosInterface *> m_receivers;
    LMRAos *m_current = nullptr;
    QHash<LMRAos *, QThread *> m_threads;
};
