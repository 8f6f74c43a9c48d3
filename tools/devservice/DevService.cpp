#include "DevService.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
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

// ---- the hang switch ---------------------------------------------------------

struct Hang {
    int remaining = -1; // -1: every request
    int ms = 600000;
};

std::mutex g_hangLock; // guards everything below but g_exiting
std::condition_variable g_hangWake;
std::map<std::string, Hang> g_hangs; // by route name
int g_hangGeneration = 0; // bumped by a clear: releases what is held
int g_heldNow = 0;
int g_heldTotal = 0;
std::atomic<bool> g_exiting { false };

std::string hangRouteOf(const std::string &path)
{
    if (path == "/doc/upload/sound")
        return "report";
    if (path == "/upload/oss/add")
        return "form";
    return std::string();
}

// Holds the request while the switch says so. Handled: it was released early
// and has had its 503; Unhandled: it goes on to its route (perhaps late).
httplib::Server::HandlerResponse holdIfHanging(const httplib::Request &req, httplib::Response &res)
{
    const std::string route = req.method == "POST" ? hangRouteOf(req.path) : std::string();
    if (route.empty())
        return httplib::Server::HandlerResponse::Unhandled;
    std::unique_lock<std::mutex> lock(g_hangLock);
    auto it = g_hangs.find(route);
    if (it == g_hangs.end() || it->second.remaining == 0)
        return httplib::Server::HandlerResponse::Unhandled;
    if (it->second.remaining > 0)
        --it->second.remaining;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(it->second.ms);
    const int generation = g_hangGeneration;
    ++g_heldNow;
    ++g_heldTotal;
    bool released = false;
    while (std::chrono::steady_clock::now() < deadline) {
        released = generation != g_hangGeneration || g_exiting;
        if (released)
            break;
        // Short waits: the exit flag is set from a signal handler, which
        // cannot notify.
        g_hangWake.wait_for(lock, std::chrono::milliseconds(50));
    }
    --g_heldNow;
    if (!released)
        return httplib::Server::HandlerResponse::Unhandled;
    res.status = 503;
    res.set_content("released", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
}

} // namespace

void registerHangSwitch(httplib::Server &server)
{
    server.set_pre_routing_handler(holdIfHanging);
    server.Post("/dev/hang", [](const httplib::Request &req, httplib::Response &res) {
        const std::string route = req.get_param_value("route");
        if (route != "report" && route != "form") {
            res.status = 400;
            res.set_content("route=report|form", "text/plain");
            return;
        }
        Hang hang;
        if (req.has_param("count"))
            hang.remaining = std::max(0, std::atoi(req.get_param_value("count").c_str()));
        if (req.has_param("ms"))
            hang.ms = std::max(0, std::atoi(req.get_param_value("ms").c_str()));
        std::lock_guard<std::mutex> lock(g_hangLock);
        g_hangs[route] = hang;
        res.set_content("ok", "text/plain");
    });
    server.Post("/dev/hang/clear", [](const httplib::Request &, httplib::Response &res) {
        {
            std::lock_guard<std::mutex> lock(g_hangLock);
            g_hangs.clear();
            ++g_hangGeneration;
        }
        g_hangWake.notify_all();
        res.set_content("ok", "text/plain");
    });
    server.Get("/dev/hang", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_hangLock);
        res.set_content("held=" + std::to_string(g_heldNow) + " total=" + std::to_string(g_heldTotal), "text/plain");
    });
}

void releaseHeldForExit() { g_exiting = true; }

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
