#include "net/LMRAos.h"

#include "BuildConfig.h"
#include "app/TSpdlog.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextCodec>
#include <QUrl>

#include <algorithm>
#include <atomic>

namespace
{

// One value for all transfers of the process: a percentage reached by any
// transfer is reported once.
std::atomic<qlonglong> g_lastPercent { -1 };
QMutex g_comIdLock; // m_com_id is read by the transfer threads

TSpdlog *log() { return TSpdlog::instance(); }

QString hostOf(const QString &endpoint)
{
    QString host = endpoint;
    host.remove(QStringLiteral("http://"));
    return host;
}

} // namespace

LMRAosSettings LMRAosSettings::fromBuild()
{
    using namespace lumira::build;
    LMRAosSettings settings;
    settings.endpoint = QString::fromLatin1(kOssEndpoint);
    settings.accelerationEndpoint = QString::fromLatin1(kOssAccelEndpoint);
    settings.keyId = kOssKeyId;
    settings.keySecret = kOssKeySecret;
    settings.uploadUrl = QString::fromLatin1(kUploadUrl);
    return settings;
}

void LMRAos::InitializeSdk()
{
    // Our client needs no global set-up; the types crossing threads do.
    qRegisterMetaType<std::string>("std::string");
    qRegisterMetaType<std::shared_ptr<std::iostream>>("std::shared_ptr<std::iostream>");
}

void LMRAos::resetProgress() { g_lastPercent = -1; }

LMRAos::LMRAos(const LMRAosSettings &settings, QObject *parent)
    : QObject(parent)
    , m_accessKeyId(settings.keyId.toStdString())
    , m_accessKeySecret(settings.keySecret.toStdString())
    , m_endpoint(settings.endpoint.toStdString())
    , m_accelerationEndpoint(settings.accelerationEndpoint.toStdString())
    , m_settings(settings)
    , m_client(settings.endpoint, settings.keyId, settings.keySecret, settings.client)
    , m_accelerationClient(settings.accelerationEndpoint, settings.keyId, settings.keySecret, settings.client)
{
    InitializeSdk();
}

QString LMRAos::objectUrl(const std::string &bucket, const std::string &key) const
{
    // Always the regional host, also for uploads through the acceleration endpoint.
    return QStringLiteral("http://") + QString::fromStdString(bucket) + QLatin1Char('.')
        + hostOf(QString::fromStdString(m_endpoint)) + QLatin1Char('/') + QString::fromStdString(key);
}

oss::TransferProgress LMRAos::progressCallback()
{
    return [this](qint64, qint64 transferred, qint64 total) {
        if (total <= 0)
            return;
        const qlonglong percent = transferred * 100 / total;
        if (g_lastPercent.exchange(percent) == percent)
            return;
        QString comId;
        {
            QMutexLocker lock(&g_comIdLock);
            comId = m_com_id;
            if (percent == 100)
                m_com_id.clear();
        }
        emit sgProgress(comId, percent);
    };
}

void LMRAos::end(const QString &com_id, const QString &effect)
{
    emit sgEffect(com_id, effect);
    emit finished();
    emit del(this);
}

void LMRAos::uploadFile(const QString &com_id, const std::string &bucket, const std::string &key, const QString &file,
    bool enableCDN, qint64 partSize, int threads)
{
    {
        QMutexLocker lock(&g_comIdLock);
        m_com_id = com_id;
    }
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket); // exists already in all but the first run
    if (QFileInfo(file).size() == 0) {
        log()->otherError(QStringLiteral("OSS:文件大小为0:") + file);
        end(com_id, QString());
        return;
    }
    oss::UploadObjectRequest request(qbucket, QString::fromStdString(key), file, QString(), partSize, threads);
    request.progress = progressCallback();
    const oss::Outcome outcome = (enableCDN ? m_accelerationClient : m_client).ResumableUploadObject(request);
    if (!outcome.ok)
        log()->otherError(QStringLiteral("OSS: upload %1 failed: %2").arg(file, outcome.error));
    end(com_id, outcome.ok ? objectUrl(bucket, key) : QString());
}

void LMRAos::Upload_FILE_Multithread(
    QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN)
{
    uploadFile(com_id, bucket, ObjectName, file, enableCDN, oss::kDefaultPartSize, 4);
}

void LMRAos::Upload_FILE_Simpleness(
    QString com_id, std::string bucket, std::string ObjectName, QString file, bool enableCDN)
{
    uploadFile(com_id, bucket, ObjectName, file, enableCDN, oss::kDefaultPartSize, 1);
}

void LMRAos::Upload_BUFFER_Simpleness(
    QString com_id, std::string bucket, std::string ObjectName, std::shared_ptr<std::iostream> buffer)
{
    {
        QMutexLocker lock(&g_comIdLock);
        m_com_id = com_id;
    }
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket);
    QByteArray data;
    if (buffer) {
        buffer->seekg(0, std::ios::end);
        const std::streamoff size = buffer->tellg();
        buffer->seekg(0, std::ios::beg);
        if (size > 0) {
            data.resize(int(size));
            buffer->read(data.data(), size);
        }
    }
    const oss::Outcome outcome
        = m_client.PutObject(qbucket, QString::fromStdString(ObjectName), data, progressCallback());
    if (!outcome.ok)
        log()->otherError(QStringLiteral("OSS: buffer upload failed: %1").arg(outcome.error));
    end(com_id, outcome.ok ? objectUrl(bucket, ObjectName) : QString());
}

void LMRAos::downloadFile(const QString &com_id, const std::string &bucket, const std::string &key, const QString &file,
    qint64 partSize, int threads)
{
    {
        QMutexLocker lock(&g_comIdLock);
        m_com_id = com_id;
    }
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket);
    oss::DownloadObjectRequest request(qbucket, QString::fromStdString(key), file, QString(), partSize, threads);
    request.progress = progressCallback();
    const oss::Outcome outcome = m_client.ResumableDownloadObject(request);
    if (!outcome.ok)
        log()->otherError(QStringLiteral("OSS: download %1 failed: %2").arg(file, outcome.error));
    end(com_id, outcome.ok ? QStringLiteral("succeed") : QString());
}

void LMRAos::Download_FILE_Simpleness(QString com_id, std::string bucket, std::string ObjectName, QString file)
{
    downloadFile(com_id, bucket, ObjectName, file, oss::kDefaultPartSize, 1);
}

void LMRAos::Download_FILE_Multithread(QString com_id, std::string bucket, std::string ObjectName, QString file)
{
    downloadFile(com_id, bucket, ObjectName, file, oss::kDefaultPartSize, 4);
}

void LMRAos::DoesObjectExist(QString com_id, std::string bucket, std::string ObjectName)
{
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket);
    const bool exists = m_client.DoesObjectExist(qbucket, QString::fromStdString(ObjectName));
    end(com_id, exists ? QStringLiteral("succeed") : QString());
}

void LMRAos::HeadObject(QString com_id, std::string bucket, std::string ObjectName)
{
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket);
    const oss::Outcome outcome = m_client.HeadObject(qbucket, QString::fromStdString(ObjectName));
    end(com_id, outcome.ok ? QString::number(oss::OssClient::contentLength(outcome)) : QStringLiteral("0"));
}

void LMRAos::DeleteObject(QString, std::string bucket, std::string request)
{
    const QString qbucket = QString::fromStdString(bucket);
    m_client.CreateBucket(qbucket);
    // One listing, then at most 1000 keys a request. The first batch the
    // store does not fully confirm ends the clean-up: listing and deleting
    // again would only meet the same keys forever.
    const oss::ListObjectsOutcome listing = m_client.ListObjects(qbucket, QString::fromStdString(request));
    if (!listing.ok)
        log()->otherError(QStringLiteral("OSS: listing %1 for deletion failed: %2")
                              .arg(QString::fromStdString(request), listing.error));
    for (int from = 0; listing.ok && from < listing.objects.size(); from += oss::kMaxDeleteKeys) {
        QStringList keys;
        for (int i = from; i < std::min(listing.objects.size(), from + oss::kMaxDeleteKeys); ++i)
            keys << listing.objects[i].key;
        const oss::Outcome outcome = m_client.DeleteObjects(qbucket, keys);
        if (!outcome.ok) {
            log()->otherError(QStringLiteral("OSS: deleting under %1 stopped: %2")
                                  .arg(QString::fromStdString(request), outcome.error));
            break;
        }
    }
    emit finished();
    emit del(this);
}

void LMRAos::RequestPostFileAtOSS(QString com_id, QString bucket, QString ObjectName, QString file)
{
    const QFileInfo info(file);
    if (!info.exists() || info.size() == 0) {
        log()->otherError(QStringLiteral("RequestPostFileAtOSS：文件不存在或文件大小为0"));
        end(com_id, QString());
        return;
    }
    auto *content = new QFile(file);
    if (!content->open(QIODevice::ReadOnly)) {
        delete content;
        log()->otherError(QStringLiteral("RequestPostFileAtOSS：文件被占用或打不开"));
        end(com_id, QString());
        return;
    }
    QHttpMultiPart multi(QHttpMultiPart::FormDataType);
    QHttpPart bucketPart;
    bucketPart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"bucket_name\""));
    bucketPart.setBody(bucket.toLatin1());
    QHttpPart namePart;
    namePart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file_name\""));
    namePart.setBody(ObjectName.toLatin1());
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
        QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(info.fileName()));
    const QString suffix = info.suffix();
    if (suffix == QLatin1String("mp3"))
        filePart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("audio/mp3"));
    else if (suffix == QLatin1String("zip"))
        filePart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-zip-compressed"));
    filePart.setBodyDevice(content);
    content->setParent(&multi); // streamed from disk, owned by the multipart
    multi.append(bucketPart);
    multi.append(namePart);
    multi.append(filePart);

    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_settings.uploadUrl + QStringLiteral("/upload/oss/add")));
    QNetworkReply *reply = manager.post(request, &multi);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QString body = QTextCodec::codecForName("utf8")->toUnicode(reply->readAll());
    delete reply;
    const QJsonObject answer = QJsonDocument::fromJson(body.toUtf8()).object();
    QString effect;
    if (answer.value(QStringLiteral("retcode")).toVariant().toInt() == 1)
        effect = answer.value(QStringLiteral("data")).toVariant().toString();
    else
        log()->otherError(QStringLiteral("RequestPostFileAtOSS：服务器上传失败 ") + body);
    end(com_id, effect);
}
