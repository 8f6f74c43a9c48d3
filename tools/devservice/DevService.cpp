#include "DevService.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace devservice
{
namespace
{

bool readFile(const std::string &path, std::string &out)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    out = text.str();
    return true;
}

std::string contentType(const std::string &path)
{
    static const std::pair<const char *, const char *> types[] = { { ".html", "text/html; charset=utf-8" },
        { ".js", "application/javascript; charset=utf-8" }, { ".css", "text/css; charset=utf-8" },
        { ".svg", "image/svg+xml" }, { ".png", "image/png" }, { ".json", "application/json; charset=utf-8" },
        { ".txt", "text/plain; charset=utf-8" }, { ".mp3", "audio/mpeg" } };
    for (const auto &type : types) {
        const std::string ext = type.first;
        if (path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
            return type.second;
    }
    return "application/octet-stream";
}

std::string page(int status, const std::string &text)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + std::to_string(status)
        + "</title></head><body><h1>" + std::to_string(status) + "</h1><p>" + text + "</p></body></html>";
}

void serveFile(const std::string &path, httplib::Response &res)
{
    std::string body;
    if (!readFile(path, body)) {
        res.status = 404;
        res.set_content(page(404, "Not found"), "text/html; charset=utf-8");
        return;
    }
    res.set_content(body, contentType(path).c_str());
}

} // namespace

void registerPageRoutes(httplib::Server &server, const Options &options)
{
    const std::string www = options.www;
    server.Get(
        "/ping", [](const httplib::Request &, httplib::Response &res) { res.set_content("pong", "text/plain"); });

    // The page's build id: the client drops its page cache when it changes.
    auto guid = [www](const httplib::Request &, httplib::Response &res) { serveFile(www + "/libs/guid.txt", res); };
    server.Get("/libs/guid.txt", guid);
    server.Get("/qt1/libs/guid.txt", guid);

    auto lesson = [www](const httplib::Request &, httplib::Response &res) {
        serveFile(www + "/qt1/index.html", res);
        res.set_header("Cache-Control", "no-cache");
    };
    server.Get("/qt1", lesson);
    server.Get("/qt1/", lesson);

    const std::string bridge = options.bridgeJs;
    server.Get("/qchannel-js/lmrqml.js",
        [bridge](const httplib::Request &, httplib::Response &res) { serveFile(bridge, res); });

    server.Get(R"(/status/(\d{3}))", [](const httplib::Request &req, httplib::Response &res) {
        const int status = std::stoi(req.matches[1]);
        res.status = (status >= 200 && status <= 599) ? status : 400;
        res.set_content(page(res.status, "Status requested by the caller"), "text/html; charset=utf-8");
    });

    server.Get("/slow", [](const httplib::Request &req, httplib::Response &res) {
        int ms = req.has_param("ms") ? std::atoi(req.get_param_value("ms").c_str()) : 1000;
        ms = std::max(0, std::min(ms, 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        res.set_content("slow " + std::to_string(ms), "text/plain");
    });

    if (!server.set_mount_point("/", www))
        std::fprintf(stderr, "lumira_devservice: www directory %s is missing\n", www.c_str());
    for (const char *ext : { "html", "js", "css", "json", "txt" })
        server.set_file_extension_and_mimetype_mapping(ext, contentType(std::string(".") + ext));

    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            res.set_content(page(res.status, "Not found"), "text/html; charset=utf-8");
    });
}

void registerLogging(httplib::Server &server)
{
    server.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        std::fprintf(stderr, "%s %s %d\n", req.method.c_str(), req.path.c_str(), res.status);
    });
}

} // namespace devservice
