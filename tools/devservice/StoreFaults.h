#pragma once
// Faults the tests switch on with POST /dev/fault, one per route:
//   route = oss | accelerate | form | report
//   kind  = 500      answer 500 InternalError
//           reset    promise a body, send a few bytes, close the connection
//           stall    wait ms (default 60000) before answering normally
//           garbage  answer 200 with a body that is not XML, no ETag and no
//                    Content-Length (chunked)
//           corrupt  flip a byte of the body: on an upload as if a proxy had
//                    changed it and dropped Content-MD5, on a download on
//                    its way to the client
//           etag     store the upload but answer a wrong ETag
//           drop     do the work, then cut the reply (a lost answer)
//           keyerror a multi-delete fails for its first key and keeps it
//           retcode  (form, report) answer retcode 0
//   count = how many requests it hits (default: all)
//   only  = put | part | initiate | complete | abort | delete | get | head |
//           list | remove | bucket: only that kind of request
//   ms    = the stall
// GET /dev/counts lists the store requests received per kind ("part 5"),
// POST /dev/fault/clear clears faults and counts.
#include <string>

namespace httplib
{
struct Request;
struct Response;
class Server;
} // namespace httplib

namespace devservice
{

struct Fault {
    std::string kind;
    std::string only;
    int remaining = 0; // -1: every request
    int stallMs = 60000;
};

// Which of the `only` classes a store request is.
std::string requestClass(const httplib::Request &req);

// Counts a store request of this kind for /dev/counts.
void countRequest(const std::string &requestClass);

// The fault to apply to this request of `route`, if any (and counts it).
bool takeFault(const std::string &route, const std::string &requestClass, Fault &out);

// Applies the faults that stand for the network before the store sees the
// request; true when they answered it.
bool applyFault(const Fault &fault, httplib::Response &res);

// Replaces an answer by one that breaks off after a few bytes.
void cutReply(httplib::Response &res);

void registerFaultRoutes(httplib::Server &server);

} // namespace devservice
