#include "Sntp.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace devservice
{
namespace
{

constexpr uint64_t kNtpToUnix = 2208988800ull;

std::mutex g_lock; // guards the two below
long long g_offset = 0;
std::string g_answer = "normal";
std::atomic<long long> g_served { 0 };
std::atomic<bool> g_stop { false };
int g_socket = -1;
std::thread g_thread;

void putTimestamp(unsigned char *at, std::chrono::system_clock::time_point when)
{
    const auto sinceEpoch = when.time_since_epoch();
    const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count();
    const uint64_t seconds = uint64_t(micros / 1000000) + kNtpToUnix;
    const uint64_t fraction = (uint64_t(micros % 1000000) << 32) / 1000000;
    for (int i = 0; i < 4; ++i) {
        at[i] = (unsigned char)(seconds >> (24 - 8 * i));
        at[4 + i] = (unsigned char)(fraction >> (24 - 8 * i));
    }
}

void serve()
{
    unsigned char request[512];
    while (!g_stop) {
        sockaddr_in from {};
        socklen_t fromLength = sizeof from;
        const ssize_t n
            = recvfrom(g_socket, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 48 || (request[0] & 0x7) != 3)
            continue; // a timeout, or no client request
        long long offset = 0;
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(g_lock);
            offset = g_offset;
            answer = g_answer;
        }
        if (answer == "none")
            continue;
        unsigned char reply[48] = {};
        const auto now = std::chrono::system_clock::now() + std::chrono::seconds(offset);
        reply[0] = (unsigned char)((request[0] & 0x38) | 4); // leap 0, the client's version, mode 4
        reply[1] = 2; // stratum
        reply[2] = request[2];
        reply[3] = (unsigned char)-20;
        std::memcpy(reply + 12, "LMRA", 4);
        putTimestamp(reply + 16, now); // reference
        std::memcpy(reply + 24, request + 40, 8); // originate: the client's transmit time
        putTimestamp(reply + 32, now); // receive
        putTimestamp(reply + 40, now); // transmit
        size_t length = sizeof reply;
        if (answer == "short")
            length = 20;
        else if (answer == "garbage")
            std::memset(reply, 0xFF, sizeof reply);
        sendto(g_socket, reply, length, 0, reinterpret_cast<sockaddr *>(&from), fromLength);
        ++g_served;
    }
}

} // namespace

bool startSntp(const std::string &host, int port)
{
    g_socket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    if (g_socket < 0 || inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1
        || bind(g_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::fprintf(
            stderr, "lumira_devservice: cannot answer SNTP on %s:%d (%s)\n", host.c_str(), port, std::strerror(errno));
        if (g_socket >= 0)
            close(g_socket);
        g_socket = -1;
        return false;
    }
    // Short waits, so that a stop is seen soon.
    timeval wait { 0, 200000 };
    setsockopt(g_socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    g_thread = std::thread(serve);
    return true;
}

void stopSntp()
{
    if (g_socket < 0)
        return;
    g_stop = true;
    g_thread.join();
    close(g_socket);
    g_socket = -1;
}

void registerSntpSwitch(httplib::Server &server)
{
    server.Post("/dev/sntp", [](const httplib::Request &req, httplib::Response &res) {
        const std::string answer = req.has_param("answer") ? req.get_param_value("answer") : "normal";
        if (answer != "normal" && answer != "short" && answer != "garbage" && answer != "none") {
            res.status = 400;
            res.set_content("answer=normal|short|garbage|none", "text/plain");
            return;
        }
        std::lock_guard<std::mutex> lock(g_lock);
        g_offset = req.has_param("offset") ? std::atoll(req.get_param_value("offset").c_str()) : 0;
        g_answer = answer;
        res.set_content("ok", "text/plain");
    });
    server.Post("/dev/sntp/clear", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_lock);
        g_offset = 0;
        g_answer = "normal";
        res.set_content("ok", "text/plain");
    });
    server.Get("/dev/sntp", [](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_lock);
        res.set_content(
            "offset=" + std::to_string(g_offset) + " answer=" + g_answer + " served=" + std::to_string(g_served.load()),
            "text/plain");
    });
}

} // namespace devservice
