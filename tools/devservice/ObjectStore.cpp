#include "ObjectStore.h"

#include "net/oss/OssSignature.h"

#include <httplib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUuid>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace devservice
{
namespace
{

// ---- faults, per route ----------------------------------------------------

struct Fault {
    std::string kind; // "500", "reset", "stall", "retcode"
    int remaining = 0; // -1: every request
    bool partsOnly = false;
    int stallMs = 60000;
};

std::mutex g_faultLock;
std::map<std::string, Fault> g_faults;
std::mutex g_reportLock;
std::vector<std::string> g_reports;

// The fault to apply to this request of `route`, if any (and counts it).
bool takeFault(const std::string &route, bool isPart, Fault &out)
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    auto it = g_faults.find(route);
    if (it == g_faults.end() || it->second.remaining == 0 || (it->second.partsOnly && !isPart))
        return false;
    out = it->second;
    if (it->second.remaining > 0)
        --it->second.remaining;
    return true;
}

// Applies a fault; true when the request has been answered by it.
bool applyFault(const Fault &fault, httplib::Response &res)
{
    if (fault.kind == "500") {
        res.status = 500;
        res.set_content("<Error><Code>InternalError</Code></Error>", "application/xml");
        return true;
    }
    if (fault.kind == "reset") {
        // Promise a body and close the connection after a few bytes.
        res.set_content_provider(1000, "application/xml", [](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset == 0)
                sink.write("<Error>", 7);
            return false;
        });
        return true;
    }
    if (fault.kind == "stall") {
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.stallMs));
        return false; // then answer normally, as a slow server would
    }
    return false;
}

// ---- object store -----------------------------------------------------------

QByteArray q(const std::string &s) { return QByteArray::fromStdString(s); }

std::string xmlError(const std::string &code, const std::string &message)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Error><Code>" + code + "</Code><Message>" + message
        + "</Message></Error>";
}

void fail(httplib::Response &res, int status, const std::string &code, const std::string &message)
{
    res.status = status;
    res.set_content(xmlError(code, message), "application/xml");
}

std::string etagOf(const std::string &data)
{
    return "\"" + QCryptographicHash::hash(q(data), QCryptographicHash::Md5).toHex().toUpper().toStdString() + "\"";
}

bool safeName(const std::string &name)
{
    return !name.empty() && name.find("..") == std::string::npos && name.front() != '/';
}

class Store
{
public:
    explicit Store(StoreOptions options)
        : m_options(std::move(options))
    {
        QDir().mkpath(QString::fromStdString(m_options.dir));
    }

    // Checks the V1 signature of a request on /bucket[/key].
    bool authorized(
        const httplib::Request &req, const std::string &bucket, const std::string &key, httplib::Response &res) const
    {
        const std::string auth = req.get_header_value("Authorization");
        const std::string prefix = "OSS " + m_options.keyId + ":";
        oss::HeaderList headers;
        for (const auto &h : req.headers)
            headers << qMakePair(q(h.first), q(h.second));
        oss::QueryList query;
        for (const auto &p : req.params)
            query << qMakePair(QString::fromStdString(p.first), QString::fromStdString(p.second));
        const QByteArray text = oss::stringToSign(q(req.method), q(req.get_header_value("Content-MD5")),
            q(req.get_header_value("Content-Type")), q(req.get_header_value("Date")), headers,
            oss::canonicalizedResource(QString::fromStdString(bucket), QString::fromStdString(key), query));
        const std::string expected = prefix + oss::signature(q(m_options.keySecret), text).toStdString();
        if (auth.compare(0, prefix.size(), prefix) != 0) {
            fail(res, 403, "InvalidAccessKeyId", "The OSS Access Key Id you provided does not exist in our records.");
            return false;
        }
        if (auth != expected) {
            fail(res, 403, "SignatureDoesNotMatch", "The request signature we calculated does not match.");
            return false;
        }
        const std::string md5 = req.get_header_value("Content-MD5");
        if (!md5.empty()
            && QCryptographicHash::hash(q(req.body), QCryptographicHash::Md5).toBase64().toStdString() != md5) {
            fail(res, 400, "InvalidDigest", "The Content-MD5 you specified did not match what was received.");
            return false;
        }
        return true;
    }

    QString bucketDir(const std::string &bucket) const
    {
        return QString::fromStdString(m_options.dir) + QLatin1Char('/') + QString::fromStdString(bucket);
    }
    QString objectPath(const std::string &bucket, const std::string &key) const
    {
        return bucketDir(bucket) + QLatin1Char('/') + QString::fromStdString(key);
    }
    QString uploadDir(const std::string &id) const
    {
        return QString::fromStdString(m_options.dir) + QStringLiteral("/.uploads/") + QString::fromStdString(id);
    }

    bool write(const QString &path, const std::string &data) const
    {
        QDir().mkpath(QFileInfo(path).path());
        QSaveFile file(path); // whole or not at all
        return file.open(QIODevice::WriteOnly) && file.write(data.data(), qint64(data.size())) == qint64(data.size())
            && file.commit();
    }

    const StoreOptions &options() const { return m_options; }

private:
    StoreOptions m_options;
};

std::string routeOf(const httplib::Request &req)
{
    // The acceleration endpoint is the same store under another host name.
    return req.get_header_value("Host").rfind("localhost", 0) == 0 ? "accelerate" : "oss";
}

} // namespace

void registerObjectStore(httplib::Server &server, const StoreOptions &options)
{
    auto store = std::make_shared<Store>(options);

    // Faults first: they stand for the network, before any checking.
    auto faulty = [](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        return takeFault(routeOf(req), req.has_param("partNumber"), fault) && applyFault(fault, res);
    };

    server.Put(R"(/([^/]+)/?)", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1];
        if (faulty(req, res) || !store->authorized(req, bucket, "", res))
            return;
        QDir().mkpath(store->bucketDir(bucket));
        res.set_header("Location", "/" + bucket);
    });

    server.Put(R"(/([^/]+)/(.+))", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1], key = req.matches[2];
        if (faulty(req, res) || !store->authorized(req, bucket, key, res))
            return;
        if (!safeName(key))
            return fail(res, 400, "InvalidObjectName", "bad key");
        if (!QFileInfo(store->bucketDir(bucket)).isDir())
            return fail(res, 404, "NoSuchBucket", "The specified bucket does not exist.");
        if (req.has_param("uploadId")) {
            const std::string id = req.get_param_value("uploadId");
            const QString dir = store->uploadDir(id);
            if (!QFileInfo(dir).isDir())
                return fail(res, 404, "NoSuchUpload", "The specified upload does not exist.");
            const int part = std::atoi(req.get_param_value("partNumber").c_str());
            if (part < 1 || part > 10000)
                return fail(res, 400, "InvalidArgument", "partNumber");
            const QString partPath = dir + QStringLiteral("/part-%1").arg(part, 5, 10, QLatin1Char('0'));
            const std::string etag = etagOf(req.body);
            if (!store->write(partPath, req.body) || !store->write(partPath + QStringLiteral(".etag"), etag))
                return fail(res, 500, "InternalError", "write");
            res.set_header("ETag", etag);
            return;
        }
        if (!store->write(store->objectPath(bucket, key), req.body))
            return fail(res, 500, "InternalError", "write");
        res.set_header("ETag", etagOf(req.body));
    });

    server.Post(R"(/([^/]+)/(.+))", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1], key = req.matches[2];
        if (faulty(req, res) || !store->authorized(req, bucket, key, res))
            return;
        if (req.has_param("uploads")) {
            const std::string id = QUuid::createUuid().toString(QUuid::Id128).toUpper().toStdString();
            QDir().mkpath(store->uploadDir(id));
            res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><InitiateMultipartUploadResult><Bucket>" + bucket
                    + "</Bucket><Key>" + key + "</Key><UploadId>" + id + "</UploadId></InitiateMultipartUploadResult>",
                "application/xml");
            return;
        }
        if (req.has_param("uploadId")) {
            const QString dir = store->uploadDir(req.get_param_value("uploadId"));
            if (!QFileInfo(dir).isDir())
                return fail(res, 404, "NoSuchUpload", "The specified upload does not exist.");
            static const QRegularExpression partRe(
                QStringLiteral("<Part>\\s*<PartNumber>(\\d+)</PartNumber>\\s*<ETag>([^<]*)</ETag>\\s*</Part>"));
            // The parts are checked by the ETags kept at upload and joined on
            // disk, without reading them into memory.
            const QString target = store->objectPath(bucket, key);
            QDir().mkpath(QFileInfo(target).path());
            QFile whole(target + QStringLiteral(".joining"));
            if (!whole.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return fail(res, 500, "InternalError", "write");
            QByteArray etags;
            int expected = 1;
            auto it = partRe.globalMatch(QString::fromStdString(req.body));
            while (it.hasNext()) {
                const auto m = it.next();
                const int number = m.captured(1).toInt();
                const QString partPath = dir + QStringLiteral("/part-%1").arg(number, 5, 10, QLatin1Char('0'));
                QFile etag(partPath + QStringLiteral(".etag"));
                QFile part(partPath);
                if (number != expected++ || !etag.open(QIODevice::ReadOnly) || !part.open(QIODevice::ReadOnly)) {
                    whole.remove();
                    return fail(res, 400, "InvalidPart", "missing or out-of-order part");
                }
                if (etag.readAll() != m.captured(2).toLatin1()) {
                    whole.remove();
                    return fail(res, 400, "InvalidPart", "ETag mismatch");
                }
                etags += m.captured(2).toLatin1();
                while (!part.atEnd())
                    whole.write(part.read(1 << 20));
            }
            if (expected == 1) {
                whole.remove();
                return fail(res, 400, "MalformedXML", "no parts");
            }
            QFile::remove(target);
            if (!whole.flush() || !whole.rename(target))
                return fail(res, 500, "InternalError", "write");
            const std::string etag = "\""
                + QCryptographicHash::hash(etags, QCryptographicHash::Md5).toHex().toUpper().toStdString() + "-"
                + std::to_string(expected - 1) + "\"";
            QDir(dir).removeRecursively();
            res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><CompleteMultipartUploadResult><Key>" + key
                    + "</Key><ETag>" + etag + "</ETag></CompleteMultipartUploadResult>",
                "application/xml");
            return;
        }
        fail(res, 400, "InvalidArgument", "unsupported POST");
    });

    server.Post(R"(/([^/]+)/?)", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1];
        if (faulty(req, res) || !store->authorized(req, bucket, "", res))
            return;
        if (!req.has_param("delete"))
            return fail(res, 400, "InvalidArgument", "unsupported POST");
        static const QRegularExpression keyRe(QStringLiteral("<Key>([^<]*)</Key>"));
        auto it = keyRe.globalMatch(QString::fromStdString(req.body));
        while (it.hasNext()) {
            const std::string key = it.next().captured(1).toStdString();
            if (safeName(key))
                QFile::remove(store->objectPath(bucket, key));
        }
        res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><DeleteResult></DeleteResult>", "application/xml");
    });

    server.Delete(R"(/([^/]+)/(.+))", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1], key = req.matches[2];
        if (faulty(req, res) || !store->authorized(req, bucket, key, res))
            return;
        if (req.has_param("uploadId"))
            QDir(store->uploadDir(req.get_param_value("uploadId"))).removeRecursively();
        else if (safeName(key))
            QFile::remove(store->objectPath(bucket, key));
        res.status = 204;
    });

    server.Get(R"(/([^/]+)/(.+))", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1], key = req.matches[2];
        if (faulty(req, res) || !store->authorized(req, bucket, key, res))
            return;
        const QString path = store->objectPath(bucket, key);
        const QFileInfo info(path);
        if (!safeName(key) || !info.isFile())
            return fail(res, 404, "NoSuchKey", "The specified key does not exist.");
        res.set_header("ETag", "\"" + std::to_string(info.size()) + "\"");
        auto file = std::make_shared<QFile>(path);
        file->open(QIODevice::ReadOnly);
        // Streamed from disk; the server cuts out requested ranges.
        res.set_content_provider(size_t(info.size()), "application/octet-stream",
            [file](size_t offset, size_t length, httplib::DataSink &sink) {
                if (!file->seek(qint64(offset)))
                    return false;
                const QByteArray chunk = file->read(qint64(std::min<size_t>(length, 1 << 20)));
                return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
            });
    });

    server.Get(R"(/([^/]+)/?)", [store, faulty](const httplib::Request &req, httplib::Response &res) {
        const std::string bucket = req.matches[1];
        if (faulty(req, res) || !store->authorized(req, bucket, "", res))
            return;
        const QString root = store->bucketDir(bucket);
        if (!QFileInfo(root).isDir())
            return fail(res, 404, "NoSuchBucket", "The specified bucket does not exist.");
        const QString prefix = QString::fromStdString(req.get_param_value("prefix"));
        const QString marker = QString::fromStdString(req.get_param_value("marker"));
        const int maxKeys = req.has_param("max-keys") ? std::atoi(req.get_param_value("max-keys").c_str()) : 1000;
        QStringList keys;
        QDirIterator walk(root, QDir::Files, QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            const QString key = QDir(root).relativeFilePath(walk.next());
            if (key.startsWith(prefix) && key > marker)
                keys << key;
        }
        keys.sort();
        const bool truncated = keys.size() > maxKeys;
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ListBucketResult><Name>" + bucket
            + "</Name><Prefix>" + prefix.toStdString() + "</Prefix><MaxKeys>" + std::to_string(maxKeys)
            + "</MaxKeys><IsTruncated>" + (truncated ? "true" : "false") + "</IsTruncated>";
        for (int i = 0; i < std::min(maxKeys, int(keys.size())); ++i)
            xml += "<Contents><Key>" + keys[i].toHtmlEscaped().toStdString() + "</Key><Size>"
                + std::to_string(QFileInfo(root + QLatin1Char('/') + keys[i]).size()) + "</Size></Contents>";
        if (truncated)
            xml += "<NextMarker>" + keys[maxKeys - 1].toHtmlEscaped().toStdString() + "</NextMarker>";
        xml += "</ListBucketResult>";
        res.set_content(xml, "application/xml");
    });
}

void registerServiceApi(httplib::Server &server, const StoreOptions &options)
{
    auto store = std::make_shared<Store>(options);

    // POST /dev/fault?route=oss|accelerate|form|report&kind=500|reset|stall|retcode[&count=N][&only=part][&ms=M]
    server.Post("/dev/fault", [](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        fault.kind = req.get_param_value("kind");
        fault.remaining = req.has_param("count") ? std::atoi(req.get_param_value("count").c_str()) : -1;
        fault.partsOnly = req.get_param_value("only") == "part";
        if (req.has_param("ms"))
            fault.stallMs = std::atoi(req.get_param_value("ms").c_str());
        const std::string route = req.get_param_value("route");
        if (route.empty() || fault.kind.empty()) {
            res.status = 400;
            return;
        }
        std::lock_guard<std::mutex> lock(g_faultLock);
        g_faults[route] = fault;
        res.set_content("ok", "text/plain");
    });
    server.Post("/dev/fault/clear", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_faultLock);
        g_faults.clear();
        res.set_content("ok", "text/plain");
    });
    // The recording reports received so far, one form body per line.
    server.Get("/dev/reports", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_reportLock);
        std::string text;
        for (const std::string &report : g_reports)
            text += report + "\n";
        res.set_content(text, "text/plain");
    });

    server.Post("/doc/upload/sound", [](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        if (takeFault("report", false, fault)) {
            if (fault.kind == "retcode")
                return res.set_content("{\"retcode\":0,\"msg\":\"refused\"}", "application/json");
            if (applyFault(fault, res))
                return;
        }
        if (!req.has_param("lesson_token") || !req.has_param("sound_url")) {
            res.set_content("{\"retcode\":-1,\"msg\":\"lesson_token and sound_url are required\"}", "application/json");
            return;
        }
        {
            std::lock_guard<std::mutex> lock(g_reportLock);
            g_reports.push_back(req.body);
        }
        res.set_content("{\"retcode\":1,\"msg\":\"ok\"}", "application/json");
    });

    server.Post("/upload/oss/add", [store](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        if (takeFault("form", false, fault)) {
            if (fault.kind == "retcode")
                return res.set_content("{\"retcode\":0,\"msg\":\"refused\"}", "application/json");
            if (applyFault(fault, res))
                return;
        }
        if (!req.has_file("bucket_name") || !req.has_file("file_name") || !req.has_file("file")) {
            res.set_content(
                "{\"retcode\":-1,\"msg\":\"bucket_name, file_name and file are required\"}", "application/json");
            return;
        }
        const std::string bucket = req.get_file_value("bucket_name").content;
        const std::string key = req.get_file_value("file_name").content;
        const std::string data = req.get_file_value("file").content;
        if (!safeName(bucket) || !safeName(key) || data.empty()
            || !store->write(store->objectPath(bucket, key), data)) {
            res.set_content("{\"retcode\":-1,\"msg\":\"cannot store the file\"}", "application/json");
            return;
        }
        res.set_content(
            "{\"retcode\":1,\"data\":\"http://" + bucket + "." + store->options().publicHost + "/" + key + "\"}",
            "application/json");
    });
}

} // namespace devservice
