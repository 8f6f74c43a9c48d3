// The service API the client reports to, beside the object store it uploads to.
#include "ObjectStore.h"

#include "StoreFaults.h"

#include <httplib.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QUrl>

#include <mutex>
#include <string>
#include <vector>

namespace devservice
{

namespace
{
std::mutex g_reportLock;
std::vector<std::string> g_reports; // guarded by g_reportLock
} // namespace

void registerServiceApi(httplib::Server &server, const StoreOptions &options)
{
    registerFaultRoutes(server);

    // What the demo page shows of the client's uploads (same origin as the
    // page): the objects under a prefix, "<key> <size>" per line, and one object.
    server.Get("/dev/objects", [options](const httplib::Request &req, httplib::Response &res) {
        const QString dir = storeBucketDir(options, req.get_param_value("bucket"));
        const QString prefix = QString::fromStdString(req.get_param_value("prefix"));
        std::string text;
        QDirIterator walk(dir, QDir::Files, QDirIterator::Subdirectories);
        while (!dir.isEmpty() && walk.hasNext()) {
            const QString key = QDir(dir).relativeFilePath(walk.next());
            if (key.startsWith(prefix))
                text += key.toStdString() + " " + std::to_string(walk.fileInfo().size()) + "\n";
        }
        res.set_content(text, "text/plain; charset=utf-8");
    });
    server.Get("/dev/object", [options](const httplib::Request &req, httplib::Response &res) {
        QFile file(storeObjectPath(options, req.get_param_value("bucket"), req.get_param_value("key")));
        if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
            res.status = 404;
            return;
        }
        const QByteArray data = file.readAll();
        res.set_content(
            data.toStdString(), file.fileName().endsWith(".jpeg") ? "image/jpeg" : "application/octet-stream");
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
        if (takeFault("report", "report", fault)) {
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

    server.Post("/upload/oss/add", [options](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        if (takeFault("form", "form", fault)) {
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
        if (data.empty() || !putBucketObject(options, bucket, key, data)) {
            res.set_content("{\"retcode\":-1,\"msg\":\"cannot store the file\"}", "application/json");
            return;
        }
        res.set_content("{\"retcode\":1,\"data\":\"http://" + bucket + "." + options.publicHost + "/"
                + QUrl::toPercentEncoding(QString::fromStdString(key), "/").toStdString() + "\"}",
            "application/json");
    });
}

} // namespace devservice
