#pragma once

#include <string>

namespace httplib
{
class Server;
}

namespace devservice
{

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string www; // static files: the demo lesson page and its libs
    std::string bridgeJs; // the page bridge library, served as /qchannel-js/lmrqml.js
};

// Lesson page, its build id, the bridge library and a few test helpers.
void registerPageRoutes(httplib::Server &server, const Options &options);

// One stderr line per request.
void registerLogging(httplib::Server &server);

// The "hang" fault for tests: requests to a service route are taken and held
// without an answer, as a server that accepts and then stalls would.
//   POST /dev/hang?route=report|form[&count=N][&ms=M]
//     hold the next N requests (default: all) of the route ("report" is
//     /doc/upload/sound, "form" /upload/oss/add) for M ms (default 10 min),
//     then answer them normally, late;
//   POST /dev/hang/clear   release every held request with a 503, stop holding;
//   GET  /dev/hang         "held=<now> total=<since start>".
// The switch is process-wide: set on one port, it holds the route on all.
// Takes the server's pre-routing handler.
void registerHangSwitch(httplib::Server &server);

// Lets every held request go; safe in a signal handler. Without it a held
// request would keep the server's worker pool, and so the process, alive.
void releaseHeldForExit();

} // namespace devservice
