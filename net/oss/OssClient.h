#pragma once
// Our own client for the object store's REST protocol (V1 signatures), with
// the calls the uploads and downloads of this program use. Every call blocks
// its thread; the multipart calls run their parts on threads of their own.
#include "net/oss/OssSignature.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace oss
{

// increment, transferred so far, total; called from the transfer's threads.
using TransferProgress = std::function<void(qint64, qint64, qint64)>;

struct ClientConfiguration {
    int transferTimeoutMs = 30000; // a request with no traffic for this long fails
    int maxAttempts = 3; // per request or part, for network errors and 5xx answers
};

struct Outcome {
    bool ok = false;
    int status = 0; // HTTP status, 0 without an answer
    QString error; // the store's error code or the network error
    QByteArray body;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
};

struct ObjectSummary {
    QString key;
    qint64 size = 0;
};

struct ListObjectsOutcome : Outcome {
    QList<ObjectSummary> objects;
};

constexpr qint64 kDefaultPartSize = 8 * 1024 * 1024;
constexpr int kMaxDeleteKeys = 1000; // per multiple-delete request

// A whole-file transfer: the object, the local file, and how to cut it.
struct TransferRequest {
    TransferRequest(QString bucket, QString key, QString filePath, QString checkpointDir = QString(),
        qint64 partSize = kDefaultPartSize, int threadNum = 1);
    QString bucket, key, filePath, checkpointDir;
    qint64 partSize;
    int threadNum;
    TransferProgress progress;
};

struct UploadObjectRequest : TransferRequest {
    using TransferRequest::TransferRequest;
};

struct DownloadObjectRequest : TransferRequest {
    using TransferRequest::TransferRequest;
};

class OssClient
{
public:
    OssClient(
        QString endpoint, QByteArray keyId, QByteArray secret, ClientConfiguration config = ClientConfiguration());

    Outcome CreateBucket(const QString &bucket);
    Outcome PutObject(const QString &bucket, const QString &key, const QByteArray &data,
        const TransferProgress &progress = TransferProgress());
    // Whole-file upload: one PUT up to the part size, multipart above it.
    // Every body goes with Content-MD5 and the ETag that comes back must be
    // its MD5.
    Outcome ResumableUploadObject(const UploadObjectRequest &request);
    // Into a temporary file beside the target, checked against the size and
    // the checksums the store sends, then put in the target's place; a failed
    // download leaves the old file as it was.
    Outcome ResumableDownloadObject(const DownloadObjectRequest &request);
    bool DoesObjectExist(const QString &bucket, const QString &key);
    // Fails without a valid Content-Length.
    Outcome HeadObject(const QString &bucket, const QString &key);
    ListObjectsOutcome ListObjects(const QString &bucket, const QString &prefix);
    // At most kMaxDeleteKeys keys; ok only when the store confirms every one.
    Outcome DeleteObjects(const QString &bucket, const QStringList &keys);

    // The length a HEAD answered, -1 without a valid one.
    static qint64 contentLength(const Outcome &outcome);
    static bool retryable(const Outcome &outcome);

private:
    struct Call {
        QByteArray verb;
        QString bucket;
        QString key;
        QueryList query;
        HeaderList headers; // x-oss-* and Range
        QByteArray contentType;
        QByteArray body;
        bool md5 = false; // send Content-MD5 of the body
        bool checkEtag = false; // the answer's ETag must be the body's MD5
        QIODevice *sink = nullptr; // downloads write here as data arrives
        std::function<void(qint64 sent)> uploaded; // bytes of this body sent so far
    };
    Outcome sendOnce(const Call &call) const;
    Outcome send(const Call &call) const; // with the configured attempts
    QString url(const Call &call) const;
    Outcome multipartUpload(const UploadObjectRequest &request, qint64 size);
    Outcome completeUpload(
        const UploadObjectRequest &request, const QString &uploadId, const QByteArray &xml, qint64 size);
    void abortUpload(const UploadObjectRequest &request, const QString &uploadId);

    QString m_endpoint;
    QByteArray m_keyId;
    QByteArray m_secret;
    ClientConfiguration m_config;
    bool m_pathStyle;
};

} // namespace oss
