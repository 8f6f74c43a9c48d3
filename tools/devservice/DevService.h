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

} // namespace devservice
