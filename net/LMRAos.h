#pragma once

#include "net/oss/OssClient.h"

#include <QObject>
#include <QString>

#include <iostream>
#include <memory>
#include <string>

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::shared_ptr<std::iostream>)

struct LMRAosSettings {
    QString endpoint; // regional, plain HTTP
    QString accelerationEndpoint;
    QByteArray keyId;
    QByteArray keySecret;
    QString uploadUrl; // the service's form upload host, scheme included
    oss::ClientConfiguration client;
    static LMRAosSettings fromBuild();
};

// One transfer on a thread of its own: runs exactly one slot, reports through
// sgProgress and sgEffect and asks to be retired with del.
class LMRAos : public QObject
{
    Q_OBJECT
public:
    explicit LMRAos(const LMRAosSettings &settings, QObject *parent = nullptr);

    static void InitializeSdk();
    // The process-wide last percent (one value for all transfers).
    static void resetProgress();

    QString objectUrl(const std::string &bucket, const std::string &key) const;

public slots:
    void Upload_BUFFER_Simpleness(
        QString com_id, std::string bucket, std::string ObjectName, std::shared_ptr<std::iostream> buffer);
    void Upload_FILE_Simpleness(
        QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN = false);
    void RequestPostFileAtOSS(QString com_id, QString bucket, QString ObjectName, QString file);
    void Upload_FILE_Multithread(
        QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN = false);
    void Download_FILE_Simpleness(QString com_id, std::string bucket, std::string ObjectName, QString file);
    void Download_FILE_Multithread(QString com_id, std::string bucket, std::string ObjectName, QString file);
    void DoesObjectExist(QString com_id, std::string bucket, std::string ObjectName);
    void HeadObject(QString com_id, std::string bucket, std::string ObjectName);
    void DeleteObject(QString com_id, std::string bucket, std::string request);

signals:
    void sgProgress(QString progress_com_id, qlonglong progress);
    void sgEffect(QString com_id, QString effect);
    void finished();
    void del(LMRAos *aos);

private:
    oss::TransferProgress progressCallback();
    void uploadFile(const QString &com_id, const std::string &bucket, const std::string &key, const QString &file,
        bool enableCDN, qint64 partSize, int threads);
    void downloadFile(const QString &com_id, const std::string &bucket, const std::string &key, const QString &file,
        qint64 partSize, int threads);
    void end(const QString &com_id, const QString &effect);

    std::string m_accessKeyId;
    std::string m_accessKeySecret;
    std::string m_endpoint;
    std::string m_accelerationEndpoint;
    LMRAosSettings m_settings;
    oss::OssClient m_client;
    oss::OssClient m_accelerationClient;
    QString m_com_id;
};
