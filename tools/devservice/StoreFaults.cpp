#include "StoreFaults.h"

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace devservice
{
namespace
{

std::mutex g_faultLock;
std::map<std::string, Fault> g_faults; // by route; guarded by g_faultLock
std::map<std::string, int> g_counts; // by request class; guarded by g_faultLock

} // namespace

std::string requestClass(const httplib::Request &req)
{
    const bool hasKey = req.matches.size() > 2 && !std::string(req.matches[2]).empty();
    if (req.method == "PUT")
        return req.has_param("partNumber") ? "part" : hasKey ? "put" : "bucket";
    if (req.method == "POST")
        return req.has_param("uploads") ? "initiate"
            : req.has_param("uploadId") ? "complete"
            : req.has_param("delete")   ? "delete"
                                        : "post";
    if (req.method == "DELETE")
        return req.has_param("uploadId") ? "abort" : "remove";
    if (req.method == "HEAD")
        return "head";
    return hasKey ? "get" : "list";
}

void countRequest(const std::string &cls)
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    ++g_counts[cls];
}

bool takeFault(const std::string &route, const std::string &cls, Fault &out)
{
    std::lock_guard<std::mutex> lock(g_faultLock);
    auto it = g_faults.find(route);
    if (it == g_faults.end() || it->second.remaining == 0 || (!it->second.only.empty() && it->second.only != cls))
        return false;
    out = it->second;
    if (it->second.remaining > 0)
        --it->second.remaining;
    return true;
}

void cutReply(httplib::Response &res)
{
    res.body.clear();
    res.set_content_provider(1000, "application/xml", [](size_t offset, size_t, httplib::DataSink &sink) {
        if (offset == 0)
            sink.write("<Error>", 7);
        return false;
    });
}

bool applyFault(const Fault &fault, httplib::Response &res)
{
    if (fault.kind == "500") {
        res.status = 500;
        res.set_content("<Error><Code>InternalError</Code></Error>", "application/xml");
        return true;
    }
    if (fault.kind == "reset") {
        cutReply(res);
        return true;
    }
    if (fault.kind == "garbage") {
        res.status = 200;
        res.set_chunked_content_provider("application/xml", [](size_t offset, httplib::DataSink &sink) {
            if (offset == 0)
                sink.write("<Initiate<<Upload>\x01", 19);
            sink.done();
            return true;
        });
        return true;
    }
    if (fault.kind == "stall")
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.stallMs));
    return false; // the others act inside the store
}

void registerFaultRoutes(httplib::Server &server)
{
    server.Post("/dev/fault", [](const httplib::Request &req, httplib::Response &res) {
        Fault fault;
        fault.kind = req.get_param_value("kind");
        fault.only = req.get_param_value("only");
        fault.remaining = req.has_param("count") ? std::atoi(req.get_param_value("count").c_str()) : -1;
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
        g_counts.clear();
        res.set_content("ok", "text/plain");
    });
    server.Get("/dev/counts", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_faultLock);
        std::string text;
        for (const auto &count : g_counts)
            text += count.first + " " + std::to_string(count.second) + "\n";
        res.set_content(text, "text/plain");
    });
}

} // namespace devservice
