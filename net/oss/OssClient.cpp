#include "net/oss/OssClient.h"

#include "net/oss/OssWire.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>

namespace oss
{
namespace
{

QString errorCode(const Outcome &outcome)
{
    const QString code = xmlValue(outcome.body, QStringLiteral("Code"));
    return code.isEmpty() ? QStringLiteral("HTTP %1").arg(outcome.status) : code;
}

QByteArray escapeXml(const QString &text) { return text.toHtmlEscaped().toUtf8(); }

constexpr qint64 kMaxAnswerBytes = 16 * 1024 * 1024;

} // namespace

// Worth another attempt: no answer, a broken or unverifiable answer, a
// server error, or a body the store saw changed on the way.
bool OssClient::retryable(const Outcome &outcome)
{
    if (outcome.ok)
        return false;
    if (outcome.status >= 400 && outcome.status < 500)
        return outcome.error == QLatin1String("BadDigest");
    return true;
}

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
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::readyRead, [&]() {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (call.sink && status / 100 == 2) {
            if (call.sink->write(reply->readAll()) < 0) {
                sinkFailed = true;
                reply->abort();
            }
        } else if (reply->bytesAvailable() > kMaxAnswerBytes) {
            // No answer of this protocol comes near this; a store that
            // keeps sending is not read into memory.
            tooLarge = true;
            reply->abort();
        }
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto &pair : reply->rawHeaderPairs())
        outcome.headers.insert(pair.first.toLower(), pair.second);
    if (sinkFailed || tooLarge) {
        outcome.error = sinkFailed ? QStringLiteral("local file write failed or more data than asked for")
                                   : QStringLiteral("answer too large");
        return outcome;
    }
    if (call.sink && outcome.status / 100 == 2) {
        if (call.sink->write(reply->readAll()) < 0) {
            outcome.error = QStringLiteral("local file write failed or more data than asked for");
            return outcome;
        }
    } else {
        outcome.body = reply->read(kMaxAnswerBytes);
    }
    // A transport error fails the call even after a good status line: the
    // connection may have dropped mid-answer.
    if (reply->error() != QNetworkReply::NoError && (outcome.status == 0 || outcome.status / 100 == 2)) {
        outcome.error = reply->errorString();
        return outcome;
    }
    outcome.ok = outcome.status / 100 == 2;
    if (!outcome.ok) {
        outcome.error = errorCode(outcome);
        return outcome;
    }
    if (call.checkEtag
        && !etagMatches(outcome.headers.value("etag"), QCryptographicHash::hash(call.body, QCryptographicHash::Md5))) {
        // What the store keeps is not what we sent.
        outcome.ok = false;
        outcome.error = QStringLiteral("ETag %1 is not the MD5 of the data sent")
                            .arg(QString::fromLatin1(outcome.headers.value("etag").left(80)));
    }
    return outcome;
}

Outcome OssClient::send(const Call &call) const
{
    Outcome outcome;
    for (int attempt = 1; attempt <= m_config.maxAttempts; ++attempt) {
        if (call.sink)
            call.sink->seek(0);
        outcome = sendOnce(call);
        if (!retryable(outcome))
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
    call.checkEtag = true;
    qint64 reported = 0;
    if (progress)
        call.uploaded = [&](qint64 sent) {
            if (sent > reported) {
                progress(sent - reported, sent, data.size());
                reported = sent;
            }
        };
    const Outcome outcome = send(call);
    if (!outcome.ok && outcome.status / 100 == 2) {
        // Stored, but not what we sent: a wrong object under the real name
        // is worse than none.
        Call remove;
        remove.verb = "DELETE";
        remove.bucket = bucket;
        remove.key = key;
        send(remove);
    }
    return outcome;
}

Outcome OssClient::HeadObject(const QString &bucket, const QString &key)
{
    Call call;
    call.verb = "HEAD";
    call.bucket = bucket;
    call.key = key;
    Outcome outcome = send(call);
    qint64 length = 0;
    if (outcome.ok && !parseLength(outcome.headers.value("content-length"), length)) {
        outcome.ok = false;
        outcome.error = QStringLiteral("HEAD answer without a valid Content-Length");
    }
    return outcome;
}

qint64 OssClient::contentLength(const Outcome &outcome)
{
    qint64 length = 0;
    return parseLength(outcome.headers.value("content-length"), length) ? length : -1;
}

bool OssClient::DoesObjectExist(const QString &bucket, const QString &key) { return HeadObject(bucket, key).ok; }

ListObjectsOutcome OssClient::ListObjects(const QString &bucket, const QString &prefix)
{
    ListObjectsOutcome result;
    auto broken = [&result](const QString &why) {
        result.ok = false;
        result.error = QStringLiteral("unreadable listing: ") + why;
        result.objects.clear();
        return result;
    };
    QString marker;
    for (;;) {
        Call call;
        call.verb = "GET";
        call.bucket = bucket;
        call.query = { { QStringLiteral("prefix"), prefix }, { QStringLiteral("max-keys"), QStringLiteral("1000") } };
        if (!marker.isEmpty())
            call.query << qMakePair(QStringLiteral("marker"), marker);
        const Outcome page = send(call);
        static_cast<Outcome &>(result) = page;
        if (!page.ok)
            return result;
        QXmlStreamReader reader(page.body);
        bool truncated = false, sawRoot = false;
        QString nextMarker;
        ObjectSummary current;
        bool inContents = false, hasSize = false;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isEndElement() && reader.name() == QLatin1String("Contents")) {
                if (current.key.isEmpty() || !hasSize)
                    return broken(QStringLiteral("an entry without key or size"));
                result.objects << current;
                inContents = false;
            }
            if (!reader.isStartElement())
                continue;
            if (reader.name() == QLatin1String("ListBucketResult")) {
                sawRoot = true;
            } else if (reader.name() == QLatin1String("Contents")) {
                current = ObjectSummary();
                inContents = true;
                hasSize = false;
            } else if (inContents && reader.name() == QLatin1String("Key")) {
                current.key = reader.readElementText();
            } else if (inContents && reader.name() == QLatin1String("Size")) {
                hasSize = parseLength(reader.readElementText().toLatin1(), current.size);
            } else if (reader.name() == QLatin1String("IsTruncated")) {
                truncated = reader.readElementText() == QLatin1String("true");
            } else if (reader.name() == QLatin1String("NextMarker")) {
                nextMarker = reader.readElementText();
            }
        }
        if (reader.hasError() || !sawRoot)
            return broken(reader.hasError() ? reader.errorString() : QStringLiteral("no ListBucketResult"));
        result.body.clear();
        if (!truncated)
            return result;
        // A marker that does not move on would page forever.
        if (nextMarker.isEmpty() || nextMarker <= marker)
            return broken(QStringLiteral("truncated without a next marker past the last"));
        marker = nextMarker;
    }
}

Outcome OssClient::DeleteObjects(const QString &bucket, const QStringList &keys)
{
    Outcome outcome;
    if (keys.isEmpty() || keys.size() > kMaxDeleteKeys) {
        outcome.error
            = QStringLiteral("a multiple delete takes 1 to %1 keys, not %2").arg(kMaxDeleteKeys).arg(keys.size());
        return outcome;
    }
    Call call;
    call.verb = "POST";
    call.bucket = bucket;
    call.query = { { QStringLiteral("delete"), QString() } };
    call.contentType = "application/xml";
    // Verbose: the answer names every key deleted, so that nothing counts as
    // gone unless the store says so.
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Delete><Quiet>false</Quiet>";
    for (const QString &key : keys)
        xml += "<Object><Key>" + escapeXml(key) + "</Key></Object>";
    xml += "</Delete>";
    call.body = xml;
    call.md5 = true;
    outcome = send(call);
    if (!outcome.ok)
        return outcome;

    QSet<QString> deleted, failedKeys;
    QStringList failures; // "key code"
    bool sawRoot = false;
    QXmlStreamReader reader(outcome.body);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("DeleteResult")) {
            sawRoot = true;
        } else if (reader.name() == QLatin1String("Deleted") || reader.name() == QLatin1String("Error")) {
            const bool isError = reader.name() == QLatin1String("Error");
            QString key, code;
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("Key"))
                    key = reader.readElementText();
                else if (reader.name() == QLatin1String("Code"))
                    code = reader.readElementText();
                else
                    reader.skipCurrentElement();
            }
            if (isError) {
                failedKeys.insert(key);
                failures << key + QLatin1Char(' ') + code;
            } else {
                deleted.insert(key);
            }
        }
    }
    if (reader.hasError() || !sawRoot) {
        outcome.ok = false;
        outcome.error = QStringLiteral("unreadable DeleteResult");
        return outcome;
    }
    for (const QString &key : keys)
        if (!deleted.contains(key) && !failedKeys.contains(key))
            failures << key + QStringLiteral(" not confirmed");
    if (!failures.isEmpty()) {
        outcome.ok = false;
        outcome.error = QStringLiteral("%1 of %2 keys not deleted, first: %3")
                            .arg(failures.size())
                            .arg(keys.size())
                            .arg(failures.first());
    }
    return outcome;
}

} // namespace oss
