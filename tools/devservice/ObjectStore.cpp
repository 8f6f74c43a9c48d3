#include "ObjectStore.h"

#include "StoreChecks.h"
#include "StoreFaults.h"

#include <httplib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

#include <functional>
#include <mutex>
#include <vector>

namespace devservice
{
namespace
{

constexpr qint64 kMinPartSize = 100 * 1024; // all parts but the last
constexpr int kMaxDeleteKeys = 1000;

std::string esc(const std::string &text) { return QString::fromStdString(text).toHtmlEscaped().toStdString(); }

void fail(httplib::Response &res, int status, const std::string &code, const std::string &message)
{
    res.status = status;
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Error><Code>" + code + "</Code><Message>" + esc(message)
            + "</Message></Error>",
        "application/xml");
}

void fail(httplib::Response &res, const Refusal &refusal) { fail(res, refusal.status, refusal.code, refusal.message); }

QByteArray bytes(const std::string &text) { return QByteArray::fromRawData(text.data(), int(text.size())); }

std::string quotedMd5(const QByteArray &digest) { return "\"" + digest.toHex().toUpper().toStdString() + "\""; }

// "ABC" and "\"abc\"" name the same part.
QByteArray plainEtag(QByteArray etag) { return etag.replace('"', "").trimmed().toUpper(); }

// What the store keeps beside each object: its size when written (so that a
// stale record is never sent), CRC-64, ETag and, for whole-object uploads,
// the MD5 that GET sends as Content-MD5.
struct ObjectMeta {
    qint64 size = -1;
    quint64 crc = 0;
    std::string etag;
    std::string md5; // base64; empty for multipart objects
};

class Store
{
public:
    explicit Store(StoreOptions options)
        : m_options(std::move(options))
    {
        QDir().mkpath(QString::fromStdString(m_options.dir));
        m_root = QFileInfo(QString::fromStdString(m_options.dir)).canonicalFilePath();
    }

    const StoreOptions &options() const { return m_options; }

    // Every path is checked to stay under its folder after resolution; the
    // name rules already refuse what could climb out, this is the last word.
    QString bucketDir(const std::string &bucket) const
    {
        return validBucketName(bucket) ? inside(m_root, QString::fromStdString(bucket)) : QString();
    }
    QString objectPath(const std::string &bucket, const std::string &key) const
    {
        const QString dir = bucketDir(bucket);
        return dir.isEmpty() || !validObjectKey(key) ? QString() : inside(dir, QString::fromStdString(key));
    }
    QString metaPath(const std::string &bucket, const std::string &key) const
    {
        return objectPath(bucket, key).isEmpty()
            ? QString()
            : inside(m_root + QStringLiteral("/.meta"), QString::fromStdString(bucket + "/" + key));
    }
    QString uploadDir(const std::string &id) const
    {
        return validUploadId(id) ? inside(m_root + QStringLiteral("/.uploads"), QString::fromStdString(id)) : QString();
    }

    static bool save(const QString &path, const QByteArray &data)
    {
        QDir().mkpath(QFileInfo(path).path());
        QSaveFile file(path); // whole or not at all
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
    }

    bool writeMeta(const std::string &bucket, const std::string &key, const ObjectMeta &meta) const
    {
        return save(metaPath(bucket, key),
            QByteArray::number(meta.size) + ' ' + QByteArray::number(meta.crc) + ' '
                + QByteArray::fromStdString(meta.etag) + ' ' + QByteArray::fromStdString(meta.md5));
    }

    ObjectMeta meta(const std::string &bucket, const std::string &key) const
    {
        ObjectMeta meta;
        QFile file(metaPath(bucket, key));
        if (!file.open(QIODevice::ReadOnly))
            return meta;
        const QList<QByteArray> fields = file.readAll().split(' ');
        if (fields.size() == 4 && fields[0].toLongLong() == QFileInfo(objectPath(bucket, key)).size()) {
            meta.size = fields[0].toLongLong();
            meta.crc = fields[1].toULongLong();
            meta.etag = fields[2].toStdString();
            meta.md5 = fields[3].trimmed().toStdString();
        }
        return meta;
    }

    // A whole object in one write; its ETag is the quoted MD5 of the data.
    bool putObject(const std::string &bucket, const std::string &key, const std::string &data, ObjectMeta &meta) const
    {
        const QByteArray digest = QCryptographicHash::hash(bytes(data), QCryptographicHash::Md5);
        Crc64 crc;
        crc.update(data.data(), data.size());
        meta = ObjectMeta { qint64(data.size()), crc.value(), quotedMd5(digest), digest.toBase64().toStdString() };
        const QString path = objectPath(bucket, key);
        return !path.isEmpty() && save(path, bytes(data)) && writeMeta(bucket, key, meta);
    }

    void removeObject(const std::string &bucket, const std::string &key) const
    {
        const QString path = objectPath(bucket, key);
        if (!path.isEmpty()) {
            QFile::remove(path);
            QFile::remove(metaPath(bucket, key));
        }
    }

private:
    static QString inside(const QString &base, const QString &relative)
    {
        const QString path = QDir::cleanPath(base + QLatin1Char('/') + relative);
        return path.startsWith(base + QLatin1Char('/')) ? path : QString();
    }

    StoreOptions m_options;
    QString m_root;
};

std::string routeOf(const httplib::Request &req)
{
    // The acceleration endpoint is the same store under another host name.
    return req.get_header_value("Host").rfind("localhost", 0) == 0 ? "accelerate" : "oss";
}

// One request on its way through the store: names, the body it works with
// (a fault may have changed it) and the fault that hit it.
struct Call {
    std::string bucket, key;
    const std::string *body = nullptr;
    std::string changed;
    Fault fault;
    bool faulted = false;
    bool is(const char *kind) const { return faulted && fault.kind == kind; }
};
using Handler = std::function<void(const httplib::Request &, httplib::Response &, Call &)>;

// Faults first (they stand for the network), then what the service checks
// on every request: signature and date, bucket and key names, Content-MD5.
httplib::Server::Handler checked(const std::shared_ptr<Store> &store, Handler handler)
{
    return [store, handler](const httplib::Request &req, httplib::Response &res) {
        Call call;
        call.bucket = req.matches[1];
        const bool hasKey = req.matches.size() > 2;
        if (hasKey)
            call.key = req.matches[2];
        call.body = &req.body;
        countRequest(requestClass(req));
        call.faulted = takeFault(routeOf(req), requestClass(req), call.fault);
        if (call.faulted && applyFault(call.fault, res))
            return;
        const Refusal signature
            = checkSignature(req, call.bucket, call.key, store->options().keyId, store->options().keySecret);
        if (signature.refused())
            return fail(res, signature);
        if (!validBucketName(call.bucket))
            return fail(res, 400, "InvalidBucketName", "The specified bucket is not valid.");
        if (hasKey && store->objectPath(call.bucket, call.key).isEmpty())
            return fail(res, 400, "InvalidObjectName", "The specified object is not valid.");
        if (call.is("corrupt") && req.method != "GET" && !req.body.empty()) {
            // Changed on the way, Content-MD5 lost with it: only the ETag
            // the client gets back can tell.
            call.changed = req.body;
            call.changed[call.changed.size() / 2] ^= 0x5a;
            call.body = &call.changed;
        } else {
            const Refusal digest = checkContentMd5(req, req.body);
            if (digest.refused())
                return fail(res, digest);
        }
        handler(req, res, call);
        if (call.is("drop"))
            cutReply(res);
    };
}

// The upload directory of an id that belongs to this bucket and key.
QString ownedUpload(const Store &store, const httplib::Request &req, const Call &call)
{
    const QString dir = store.uploadDir(req.get_param_value("uploadId"));
    QFile target(dir + QStringLiteral("/target"));
    if (dir.isEmpty() || !target.open(QIODevice::ReadOnly)
        || target.readAll() != QByteArray::fromStdString(call.bucket + "\n" + call.key))
        return QString();
    return dir;
}

QString partPath(const QString &dir, int number)
{
    return dir + QStringLiteral("/part-%1").arg(number, 5, 10, QLatin1Char('0'));
}

void putObject(const Store &store, const httplib::Request &req, httplib::Response &res, const Call &call)
{
    if (!QFileInfo(store.bucketDir(call.bucket)).isDir())
        return fail(res, 404, "NoSuchBucket", "The specified bucket does not exist.");
    std::string etag;
    quint64 crc = 0;
    if (req.has_param("uploadId")) {
        const QString dir = ownedUpload(store, req, call);
        if (dir.isEmpty())
            return fail(res, 404, "NoSuchUpload", "The specified upload does not exist.");
        const std::string number = req.get_param_value("partNumber");
        const int part = number.size() <= 5 && number.find_first_not_of("0123456789") == std::string::npos
            ? std::atoi(number.c_str())
            : 0;
        if (part < 1 || part > 10000)
            return fail(res, 400, "InvalidArgument", "partNumber must be 1 to 10000.");
        etag = quotedMd5(QCryptographicHash::hash(bytes(*call.body), QCryptographicHash::Md5));
        Crc64 sum;
        sum.update(call.body->data(), call.body->size());
        crc = sum.value();
        if (!Store::save(partPath(dir, part), bytes(*call.body))
            || !Store::save(partPath(dir, part) + QStringLiteral(".etag"), QByteArray::fromStdString(etag)))
            return fail(res, 500, "InternalError", "write");
    } else {
        ObjectMeta meta;
        if (!store.putObject(call.bucket, call.key, *call.body, meta))
            return fail(res, 409, "InternalError", "The object cannot be written under this key.");
        etag = meta.etag;
        crc = meta.crc;
    }
    res.set_header("ETag", call.is("etag") ? "\"00000000000000000000000000000000\"" : etag);
    res.set_header("x-oss-hash-crc64ecma", std::to_string(crc));
}

void initiate(const Store &store, const httplib::Request &, httplib::Response &res, const Call &call)
{
    if (!QFileInfo(store.bucketDir(call.bucket)).isDir())
        return fail(res, 404, "NoSuchBucket", "The specified bucket does not exist.");
    const std::string id = QUuid::createUuid().toString(QUuid::Id128).toUpper().toStdString();
    const QString dir = store.uploadDir(id);
    if (!Store::save(dir + QStringLiteral("/target"), QByteArray::fromStdString(call.bucket + "\n" + call.key)))
        return fail(res, 500, "InternalError", "write");
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><InitiateMultipartUploadResult><Bucket>" + call.bucket
            + "</Bucket><Key>" + esc(call.key) + "</Key><UploadId>" + id
            + "</UploadId></InitiateMultipartUploadResult>",
        "application/xml");
}

void complete(const Store &store, const httplib::Request &req, httplib::Response &res, const Call &call)
{
    const QString dir = ownedUpload(store, req, call);
    if (dir.isEmpty())
        return fail(res, 404, "NoSuchUpload", "The specified upload does not exist.");
    struct Part {
        int number = -1;
        QByteArray etag;
    };
    std::vector<Part> parts;
    QXmlStreamReader reader(bytes(*call.body));
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("Part")) {
            parts.emplace_back();
        } else if (reader.name() == QLatin1String("PartNumber") && !parts.empty()) {
            bool number = false;
            parts.back().number = reader.readElementText().toInt(&number);
            if (!number)
                parts.back().number = -1;
        } else if (reader.name() == QLatin1String("ETag") && !parts.empty()) {
            parts.back().etag = reader.readElementText().toLatin1();
        }
    }
    if (reader.hasError() || parts.empty())
        return fail(res, 400, "MalformedXML", "The XML you provided was not well-formed.");
    int previous = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part &part = parts[i];
        if (part.number < 1 || part.number > 10000)
            return fail(res, 400, "InvalidPart", "A part number is missing or out of range.");
        if (part.number <= previous)
            return fail(res, 400, "InvalidPartOrder", "The list of parts was not in ascending order.");
        previous = part.number;
        QFile kept(partPath(dir, part.number) + QStringLiteral(".etag"));
        if (part.etag.isEmpty() || !kept.open(QIODevice::ReadOnly) || plainEtag(kept.readAll()) != plainEtag(part.etag))
            return fail(res, 400, "InvalidPart",
                "One or more of the specified parts could not be found or the "
                "specified ETag did not match.");
        if (i + 1 < parts.size() && QFileInfo(partPath(dir, part.number)).size() < kMinPartSize)
            return fail(res, 400, "EntityTooSmall", "A part other than the last is smaller than 100 KB.");
    }
    // The parts are joined on disk, never all in memory, and the object
    // appears whole or not at all.
    const QString target = store.objectPath(call.bucket, call.key);
    QDir().mkpath(QFileInfo(target).path());
    QSaveFile whole(target);
    if (!whole.open(QIODevice::WriteOnly))
        return fail(res, 409, "InternalError", "The object cannot be written under this key.");
    Crc64 crc;
    QByteArray digests;
    qint64 size = 0;
    for (const Part &part : parts) {
        QFile in(partPath(dir, part.number));
        if (!in.open(QIODevice::ReadOnly))
            return fail(res, 400, "InvalidPart", "A part has gone.");
        digests += QByteArray::fromHex(plainEtag(part.etag));
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            crc.update(chunk.constData(), size_t(chunk.size()));
            size += chunk.size();
            if (whole.write(chunk) != chunk.size())
                return fail(res, 500, "InternalError", "write");
        }
    }
    const std::string etag = "\""
        + QCryptographicHash::hash(digests, QCryptographicHash::Md5).toHex().toUpper().toStdString() + "-"
        + std::to_string(parts.size()) + "\"";
    if (!whole.commit() || !store.writeMeta(call.bucket, call.key, ObjectMeta { size, crc.value(), etag, "" }))
        return fail(res, 500, "InternalError", "write");
    QDir(dir).removeRecursively();
    res.set_header("x-oss-hash-crc64ecma", std::to_string(crc.value()));
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><CompleteMultipartUploadResult><Bucket>" + call.bucket
            + "</Bucket><Key>" + esc(call.key) + "</Key><ETag>" + etag + "</ETag></CompleteMultipartUploadResult>",
        "application/xml");
}

void deleteMultiple(const Store &store, const httplib::Request &req, httplib::Response &res, const Call &call)
{
    if (!req.has_header("Content-MD5"))
        return fail(res, 400, "InvalidDigest", "Content-MD5 is required for a multiple delete.");
    std::vector<std::string> keys;
    QString quiet = QStringLiteral("false");
    QXmlStreamReader reader(bytes(*call.body));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("Quiet"))
            quiet = reader.readElementText();
        else if (reader.isStartElement() && reader.name() == QLatin1String("Key"))
            keys.push_back(reader.readElementText().toStdString());
    }
    if (reader.hasError() || keys.empty() || keys.size() > size_t(kMaxDeleteKeys)
        || (quiet != QLatin1String("true") && quiet != QLatin1String("false")))
        return fail(res, 400, "MalformedXML", "The XML you provided was not well-formed or has more than 1000 keys.");
    std::string deleted, errors;
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string &key = keys[i];
        std::string code;
        if (store.objectPath(call.bucket, key).isEmpty())
            code = "InvalidObjectName";
        else if (i == 0 && call.is("keyerror"))
            code = "AccessDenied";
        if (!code.empty()) {
            errors += "<Error><Key>" + esc(key) + "</Key><Code>" + code + "</Code></Error>";
            continue;
        }
        store.removeObject(call.bucket, key); // an absent key counts as deleted
        deleted += "<Deleted><Key>" + esc(key) + "</Key></Deleted>";
    }
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><DeleteResult>"
            + (quiet == QLatin1String("true") ? std::string() : deleted) + errors + "</DeleteResult>",
        "application/xml");
}

void getObject(const Store &store, const httplib::Request &req, httplib::Response &res, const Call &call)
{
    const QString path = store.objectPath(call.bucket, call.key);
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(res, 404, "NoSuchKey", "The specified key does not exist.");
    const ObjectMeta meta = store.meta(call.bucket, call.key);
    if (meta.size >= 0) {
        res.set_header("ETag", meta.etag);
        res.set_header("x-oss-hash-crc64ecma", std::to_string(meta.crc));
        if (!meta.md5.empty() && !req.has_header("Range"))
            res.set_header("Content-MD5", meta.md5);
    }
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return fail(res, 500, "InternalError", "read");
    auto flip = std::make_shared<bool>(call.is("corrupt"));
    // Streamed from disk; the server cuts out requested ranges.
    res.set_content_provider(size_t(info.size()), "application/octet-stream",
        [file, flip](size_t offset, size_t length, httplib::DataSink &sink) {
            if (!file->seek(qint64(offset)))
                return false;
            QByteArray chunk = file->read(qint64(std::min<size_t>(length, 1 << 20)));
            if (chunk.isEmpty())
                return false;
            if (*flip) {
                chunk[0] = char(chunk[0] ^ 0x5a);
                *flip = false;
            }
            return sink.write(chunk.constData(), size_t(chunk.size()));
        });
}

void listObjects(const Store &store, const httplib::Request &req, httplib::Response &res, const Call &call)
{
    const QString root = store.bucketDir(call.bucket);
    if (!QFileInfo(root).isDir())
        return fail(res, 404, "NoSuchBucket", "The specified bucket does not exist.");
    int maxKeys = 100;
    if (req.has_param("max-keys")) {
        const std::string text = req.get_param_value("max-keys");
        const bool digits
            = !text.empty() && text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos;
        maxKeys = digits ? std::atoi(text.c_str()) : 0;
        if (maxKeys < 1 || maxKeys > 1000)
            return fail(res, 400, "InvalidArgument", "max-keys must be between 1 and 1000.");
    }
    const QString prefix = QString::fromStdString(req.get_param_value("prefix"));
    const QString marker = QString::fromStdString(req.get_param_value("marker"));
    QStringList keys;
    QDirIterator walk(root, QDir::Files, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString key = QDir(root).relativeFilePath(walk.next());
        if (key.startsWith(prefix) && key > marker)
            keys << key;
    }
    keys.sort();
    const bool truncated = keys.size() > maxKeys;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ListBucketResult><Name>" + call.bucket
        + "</Name><Prefix>" + esc(prefix.toStdString()) + "</Prefix><MaxKeys>" + std::to_string(maxKeys)
        + "</MaxKeys><IsTruncated>" + (truncated ? "true" : "false") + "</IsTruncated>";
    for (int i = 0; i < std::min(maxKeys, int(keys.size())); ++i)
        xml += "<Contents><Key>" + keys[i].toHtmlEscaped().toStdString() + "</Key><Size>"
            + std::to_string(QFileInfo(root + QLatin1Char('/') + keys[i]).size()) + "</Size></Contents>";
    if (truncated)
        xml += "<NextMarker>" + keys[maxKeys - 1].toHtmlEscaped().toStdString() + "</NextMarker>";
    xml += "</ListBucketResult>";
    res.set_content(xml, "application/xml");
}

} // namespace

void registerObjectStore(httplib::Server &server, const StoreOptions &options)
{
    auto store = std::make_shared<Store>(options);
    // The client's buckets: recordings and screenshots, and the log archives.
    for (const char *bucket : { "lumira-files", "lumira-pc-files" })
        QDir().mkpath(store->bucketDir(bucket));
    const char *bucketPath = R"(/([^/]+)/?)";
    const char *objectPath = R"(/([^/]+)/(.+))";

    server.Put(bucketPath, checked(store, [store](const httplib::Request &, httplib::Response &res, Call &call) {
        QDir().mkpath(store->bucketDir(call.bucket));
        res.set_header("Location", "/" + call.bucket);
    }));
    server.Put(objectPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        putObject(*store, req, res, call);
    }));
    server.Post(objectPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        if (req.has_param("uploads"))
            return initiate(*store, req, res, call);
        if (req.has_param("uploadId"))
            return complete(*store, req, res, call);
        fail(res, 400, "InvalidArgument", "unsupported POST");
    }));
    server.Post(bucketPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        if (!req.has_param("delete"))
            return fail(res, 400, "InvalidArgument", "unsupported POST");
        deleteMultiple(*store, req, res, call);
    }));
    server.Delete(objectPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        if (req.has_param("uploadId")) {
            const QString dir = ownedUpload(*store, req, call);
            if (dir.isEmpty())
                return fail(res, 404, "NoSuchUpload", "The specified upload does not exist.");
            QDir(dir).removeRecursively();
        } else {
            store->removeObject(call.bucket, call.key);
        }
        res.status = 204;
    }));
    server.Get(objectPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        getObject(*store, req, res, call);
    }));
    server.Get(bucketPath, checked(store, [store](const httplib::Request &req, httplib::Response &res, Call &call) {
        listObjects(*store, req, res, call);
    }));
}

bool putStoreObject(
    const StoreOptions &options, const std::string &bucket, const std::string &key, const std::string &data)
{
    const Store store(options);
    QDir().mkpath(store.bucketDir(bucket));
    return putBucketObject(options, bucket, key, data);
}

bool putBucketObject(
    const StoreOptions &options, const std::string &bucket, const std::string &key, const std::string &data)
{
    ObjectMeta meta;
    return Store(options).putObject(bucket, key, data, meta);
}

QString storeBucketDir(const StoreOptions &options, const std::string &bucket)
{
    return Store(options).bucketDir(bucket);
}

QString storeObjectPath(const StoreOptions &options, const std::string &bucket, const std::string &key)
{
    return Store(options).objectPath(bucket, key);
}

void removeStoreObject(const StoreOptions &options, const std::string &bucket, const std::string &key)
{
    Store(options).removeObject(bucket, key);
}

} // namespace devservice
