#include "net/oss/OssClient.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace oss
{
namespace
{

// Text of the first element `name` in an XML answer.
QString xmlValue(const QByteArray &xml, const QString &name)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == name)
            return reader.readElementText();
    }
    return QString();
}

// Writes one range of a download into its place in the file.
class RangeSink : public QIODevice
{
public:
    RangeSink(QFile &file, qint64 start, std::function<void(qint64 total)> written)
        : m_file(file)
        , m_start(start)
        , m_onWritten(std::move(written))
    {
        open(QIODevice::WriteOnly);
    }
    qint64 written() const { return m_written; }
    bool seek(qint64 pos) override
    {
        m_written = pos; // a retry starts the range again
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (!m_file.seek(m_start + m_written))
            return -1;
        const qint64 n = m_file.write(data, length);
        if (n > 0) {
            m_written += n;
            m_onWritten(m_written);
        }
        return n;
    }

private:
    QFile &m_file;
    qint64 m_start;
    qint64 m_written = 0;
    std::function<void(qint64)> m_onWritten;
};

QString errorCode(const Outcome &outcome)
{
    const QString code = xmlValue(outcome.body, QStringLiteral("Code"));
    return code.isEmpty() ? QStringLiteral("HTTP %1").arg(outcome.status) : code;
}

QByteArray escapeXml(const QString &text) { return text.toHtmlEscaped().toUtf8(); }

// Runs `worker` on `count` threads of its own and waits for all of them.
void runOnThreads(int count, const std::function<void()> &worker)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create(worker));
        threads.back()->start();
    }
    for (auto &thread : threads)
        thread->wait();
}

// What the part threads of one transfer share: the next part to take, the
// first failure, and the bytes moved so far for the progress callback.
class PartThreads
{
public:
    PartThreads(qint64 size, const TransferProgress &progress)
        : m_size(size)
        , m_progress(progress)
    {
    }

    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };

    void fail(const Outcome &outcome)
    {
        QMutexLocker lock(&m_failureLock);
        m_failure = outcome;
        failed = true;
    }
    Outcome failure() const { return m_failure; } // once the threads are done

    // A callback for one part's running count. A retried part counts again
    // from zero: only what is new over its best attempt is reported.
    std::function<void(qint64)> partCounter()
    {
        return [this, best = qint64(0)](qint64 done) mutable {
            if (done <= best)
                return;
            const qint64 increment = done - best;
            best = done;
            QMutexLocker lock(&m_progressLock); // one callback at a time, in order of the totals
            const qint64 total = m_transferred += increment;
            if (m_progress)
                m_progress(increment, std::min(total, m_size), m_size);
        };
    }

private:
    const qint64 m_size;
    const TransferProgress &m_progress;
    std::atomic<qint64> m_transferred { 0 };
    QMutex m_progressLock;
    Outcome m_failure;
    QMutex m_failureLock;
};

} // namespace

TransferRequest::TransferRequest(
    QString bucket_, QString key_, QString filePath_, QString checkpointDir_, qint64 partSize_, int threadNum_)
    : bucket(std::move(bucket_))
    , key(std::move(key_))
    , filePath(std::move(filePath_))
    , checkpointDir(std::move(checkpointDir_))
    , partSize(std::max<qint64>(100 * 1024, partSize_))
    , threadNum(std::max(1, threadNum_))
{
}

OssClient::OssClient(QString endpoint, QByteArray keyId, QByteArray secret, ClientConfiguration config)
    : m_endpoint(std::move(endpoint))
    , m_keyId(std::move(keyId))
    , m_secret(std::move(secret))
    , m_config(config)
{
    while (m_endpoint.endsWith(QLatin1Char('/')))
        m_endpoint.chop(1);
    if (!m_endpoint.contains(QStringLiteral("://")))
        m_endpoint.prepend(QStringLiteral("http://"));
    // Bucket names become host names, which addresses and "localhost" cannot
    // take: those get the bucket in the path, as the store accepts too.
    const QString host = QUrl(m_endpoint).host();
    m_pathStyle = !QHostAddress(host).isNull() || host == QLatin1String("localhost");
}

QString OssClient::url(const Call &call) const
{
    QUrl base(m_endpoint);
    QString path;
    if (!call.bucket.isEmpty() && !m_pathStyle)
        base.setHost(call.bucket + QLatin1Char('.') + base.host());
    else if (!call.bucket.isEmpty())
        path = QLatin1Char('/') + call.bucket;
    path += QLatin1Char('/') + call.key;
    QString text = base.toString(QUrl::RemovePath) + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
    for (int i = 0; i < call.query.size(); ++i) {
        text += i == 0 ? QLatin1Char('?') : QLatin1Char('&');
        text += QString::fromLatin1(QUrl::toPercentEncoding(call.query[i].first));
        if (!call.query[i].second.isEmpty())
            text += QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(call.query[i].second));
    }
    return text;
}

Outcome OssClient::sendOnce(const Call &call) const
{
    Outcome outcome;
    QNetworkAccessManager manager;
    QNetworkRequest request { QUrl(url(call), QUrl::StrictMode) };
    request.setTransferTimeout(m_config.transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QByteArray date = httpDate();
    const QByteArray md5 = call.md5 ? QCryptographicHash::hash(call.body, QCryptographicHash::Md5).toBase64() : "";
    request.setRawHeader("Date", date);
    if (!call.contentType.isEmpty())
        request.setRawHeader("Content-Type", call.contentType);
    if (!md5.isEmpty())
        request.setRawHeader("Content-MD5", md5);
    for (const auto &header : call.headers)
        request.setRawHeader(header.first, header.second);
    const QByteArray resource = canonicalizedResource(call.bucket, call.key, call.query);
    request.setRawHeader("Authorization",
        authorization(m_keyId, m_secret, stringToSign(call.verb, md5, call.contentType, date, call.headers, resource)));

    QNetworkReply *reply = nullptr;
    if (call.verb == "GET")
        reply = manager.get(request);
    else if (call.verb == "HEAD")
        reply = manager.head(request);
    else if (call.verb == "DELETE")
        reply = manager.deleteResource(request);
    else
        reply = manager.sendCustomRequest(request, call.verb, call.body);
    std::unique_ptr<QNetworkReply> owner(reply);
    if (call.uploaded)
        QObject::connect(reply, &QNetworkReply::uploadProgress, [&call](qint64 sent, qint64) { call.uploaded(sent); });
    bool sinkFailed = false;
    if (call.sink)
        QObject::connect(reply, &QNetworkReply::readyRead, [&]() {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status / 100 == 2 && call.sink->write(reply->readAll()) < 0)
                sinkFailed = true;
        });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto &pair : reply->rawHeaderPairs())
        outcome.headers.insert(pair.first.toLower(), pair.second);
    if (call.sink && outcome.status / 100 == 2)
        sinkFailed = sinkFailed || call.sink->write(reply->readAll()) < 0;
    else
        outcome.body = reply->readAll();
    // A transport error fails the call even after a good status line: the
    // connection may have dropped mid-answer.
    if (reply->error() != QNetworkReply::NoError && (outcome.status == 0 || outcome.status / 100 == 2)) {
        outcome.error = reply->errorString();
        return outcome;
    }
    outcome.ok = outcome.status / 100 == 2 && !sinkFailed;
    if (!outcome.ok)
        outcome.error = sinkFailed ? QStringLiteral("local file write failed") : errorCode(outcome);
    return outcome;
}

Outcome OssClient::send(const Call &call) const
{
    Outcome outcome;
    for (int attempt = 1; attempt <= m_config.maxAttempts; ++attempt) {
        if (call.sink) {
            call.sink->seek(0);
            if (auto *file = qobject_cast<QFile *>(call.sink))
                file->resize(0);
        }
        outcome = sendOnce(call);
        // Answers in the 4xx range are final: the request itself is wrong.
        if (outcome.ok || (outcome.status >= 400 && outcome.status < 500))
            break;
        if (attempt < m_config.maxAttempts)
            QThread::msleep(200 * attempt);
    }
    return outcome;
}

Outcome OssClient::CreateBucket(const QString &bucket)
{
    Call call;
    call.verb = "PUT";
    call.bucket = bucket;
    call.contentType = "application/xml";
    call.body = "<CreateBucketConfiguration><StorageClass>Standard</StorageClass></CreateBucketConfiguration>";
    return send(call);
}

Outcome OssClient::PutObject(
    const QString &bucket, const QString &key, const QByteArray &data, const TransferProgress &progress)
{
    Call call;
    call.verb = "PUT";
    call.bucket = bucket;
    call.key = key;
    call.contentType = "application/octet-stream";
    call.body = data;
    call.md5 = true;
    qint64 reported = 0;
    if (progress)
        call.uploaded = [&](qint64 sent) {
            if (sent > reported) {
                progress(sent - reported, sent, data.size());
                reported = sent;
            }
        };
    return send(call);
}

Outcome OssClient::ResumableUploadObject(const UploadObjectRequest &request)
{
    QFile file(request.filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        Outcome outcome;
        outcome.error = QStringLiteral("cannot open %1").arg(request.filePath);
        return outcome;
    }
    const qint64 size = file.size();
    if (size > request.partSize)
        return multipartUpload(request, size);
    return PutObject(request.bucket, request.key, file.readAll(), request.progress);
}

Outcome OssClient::multipartUpload(const UploadObjectRequest &request, qint64 size)
{
    Call initiate;
    initiate.verb = "POST";
    initiate.bucket = request.bucket;
    initiate.key = request.key;
    initiate.query = { { QStringLiteral("uploads"), QString() } };
    initiate.contentType = "application/octet-stream";
    Outcome started = send(initiate);
    const QString uploadId = xmlValue(started.body, QStringLiteral("UploadId"));
    if (!started.ok || uploadId.isEmpty()) {
        if (started.ok)
            started = Outcome { false, started.status, QStringLiteral("no UploadId in the answer"), started.body, {} };
        return started;
    }

    const int parts = int((size + request.partSize - 1) / request.partSize);
    std::vector<QByteArray> etags(static_cast<size_t>(parts));
    PartThreads shared(size, request.progress);

    auto worker = [&]() {
        QFile file(request.filePath);
        if (!file.open(QIODevice::ReadOnly)) {
            shared.failed = true;
            return;
        }
        for (int index = shared.next++; index < parts && !shared.failed; index = shared.next++) {
            const qint64 offset = qint64(index) * request.partSize;
            file.seek(offset);
            Call part;
            part.verb = "PUT";
            part.bucket = request.bucket;
            part.key = request.key;
            part.query = { { QStringLiteral("partNumber"), QString::number(index + 1) },
                { QStringLiteral("uploadId"), uploadId } };
            part.contentType = "application/octet-stream";
            part.body = file.read(std::min(request.partSize, size - offset));
            // Parts go without Content-MD5: the store's ETag of each part is
            // checked at completion, which costs no second pass over the data.
            part.uploaded = shared.partCounter();
            const Outcome done = send(part);
            if (!done.ok || !done.headers.contains("etag")) {
                shared.fail(done);
                return;
            }
            etags[size_t(index)] = done.headers.value("etag");
        }
    };
    runOnThreads(std::min(request.threadNum, parts), worker);

    if (shared.failed) {
        Call abort;
        abort.verb = "DELETE";
        abort.bucket = request.bucket;
        abort.key = request.key;
        abort.query = { { QStringLiteral("uploadId"), uploadId } };
        send(abort);
        Outcome failure = shared.failure();
        if (failure.error.isEmpty())
            failure.error = QStringLiteral("part upload failed");
        failure.ok = false;
        return failure;
    }

    Call complete;
    complete.verb = "POST";
    complete.bucket = request.bucket;
    complete.key = request.key;
    complete.query = { { QStringLiteral("uploadId"), uploadId } };
    complete.contentType = "application/xml";
    QByteArray xml = "<CompleteMultipartUpload>";
    for (int i = 0; i < parts; ++i)
        xml += "<Part><PartNumber>" + QByteArray::number(i + 1) + "</PartNumber><ETag>" + etags[size_t(i)]
            + "</ETag></Part>";
    xml += "</CompleteMultipartUpload>";
    complete.body = xml;
    complete.md5 = true;
    return send(complete);
}

Outcome OssClient::HeadObject(const QString &bucket, const QString &key)
{
    Call call;
    call.verb = "HEAD";
    call.bucket = bucket;
    call.key = key;
    return send(call);
}

qint64 OssClient::contentLength(const Outcome &outcome) { return outcome.headers.value("content-length").toLongLong(); }

bool OssClient::DoesObjectExist(const QString &bucket, const QString &key) { return HeadObject(bucket, key).ok; }

Outcome OssClient::ResumableDownloadObject(const DownloadObjectRequest &request)
{
    const Outcome head = HeadObject(request.bucket, request.key);
    if (!head.ok)
        return head;
    const qint64 size = contentLength(head);
    // Written beside the target and renamed at the end, so that a failed
    // download never leaves a half file under the real name.
    const QString partial = request.filePath + QStringLiteral(".download");
    QFile::remove(partial);
    {
        QFile out(partial);
        if (!out.open(QIODevice::WriteOnly) || !out.resize(size)) {
            Outcome outcome;
            outcome.error = QStringLiteral("cannot write %1").arg(partial);
            return outcome;
        }
    }
    const int parts = size == 0 ? 0 : int((size + request.partSize - 1) / request.partSize);
    PartThreads shared(size, request.progress);
    auto worker = [&]() {
        QFile out(partial);
        if (!out.open(QIODevice::ReadWrite)) {
            shared.failed = true;
            return;
        }
        for (int index = shared.next++; index < parts && !shared.failed; index = shared.next++) {
            const qint64 from = qint64(index) * request.partSize;
            const qint64 to = std::min(size, from + request.partSize) - 1;
            // Each range lands in its own place; a retry rewrites only it.
            RangeSink sink(out, from, shared.partCounter());
            Call get;
            get.verb = "GET";
            get.bucket = request.bucket;
            get.key = request.key;
            get.headers = { { "Range", "bytes=" + QByteArray::number(from) + "-" + QByteArray::number(to) } };
            get.sink = &sink;
            const Outcome done = send(get);
            if (!done.ok || sink.written() != to - from + 1) {
                Outcome failure = done;
                if (done.ok)
                    failure.error = QStringLiteral("short range");
                failure.ok = false;
                shared.fail(failure);
                return;
            }
        }
        out.flush();
    };
    runOnThreads(std::min(request.threadNum, std::max(parts, 1)), worker);
    if (shared.failed) {
        QFile::remove(partial);
        return shared.failure();
    }
    QFile::remove(request.filePath);
    if (!QFile::rename(partial, request.filePath)) {
        Outcome outcome;
        outcome.error = QStringLiteral("cannot rename to %1").arg(request.filePath);
        return outcome;
    }
    Outcome done = head;
    done.body.clear();
    return done;
}

ListObjectsOutcome OssClient::ListObjects(const QString &bucket, const QString &prefix)
{
    ListObjectsOutcome result;
    QString marker;
    for (;;) {
        Call call;
        call.verb = "GET";
        call.bucket = bucket;
        call.query = { { QStringLiteral("prefix"), prefix } };
        if (!marker.isEmpty())
            call.query << qMakePair(QStringLiteral("marker"), marker);
        const Outcome page = send(call);
        static_cast<Outcome &>(result) = page;
        if (!page.ok)
            return result;
        QXmlStreamReader reader(page.body);
        bool truncated = false;
        QString nextMarker;
        ObjectSummary current;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isEndElement() && reader.name() == QLatin1String("Contents")) {
                if (!current.key.isEmpty())
                    result.objects << current;
                current = ObjectSummary();
            }
            if (!reader.isStartElement())
                continue;
            if (reader.name() == QLatin1String("Key"))
                current.key = reader.readElementText();
            else if (reader.name() == QLatin1String("Size"))
                current.size = reader.readElementText().toLongLong();
            else if (reader.name() == QLatin1String("IsTruncated"))
                truncated = reader.readElementText() == QLatin1String("true");
            else if (reader.name() == QLatin1String("NextMarker"))
                nextMarker = reader.readElementText();
        }
        if (reader.hasError()) {
            result.ok = false;
            result.error = QStringLiteral("unreadable listing");
            return result;
        }
        result.body.clear();
        if (!truncated || nextMarker.isEmpty() || nextMarker == marker)
            return result;
        marker = nextMarker;
    }
}

Outcome OssClient::DeleteObjects(const QString &bucket, const QStringList &keys)
{
    Call call;
    call.verb = "POST";
    call.bucket = bucket;
    call.query = { { QStringLiteral("delete"), QString() } };
    call.contentType = "application/xml";
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Delete><Quiet>true</Quiet>";
    for (const QString &key : keys)
        xml += "<Object><Key>" + escapeXml(key) + "</Key></Object>";
    xml += "</Delete>";
    call.body = xml;
    call.md5 = true;
    return send(call);
}

} // namespace oss
