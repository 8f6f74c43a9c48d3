// lumira_devservice [--port N] [--tls-port N] [--oss-port N] [--sntp-port N] [--oss-dir DIR] [--host ADDR] [--www DIR]
// [--pid-file FILE] [--tls-cert PEM --tls-key PEM] [--update-key PEM]
#include "DevService.h"
#include "ObjectStore.h"
#include "Sntp.h"
#include "UpdateApi.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{

httplib::Server *g_server = nullptr;
httplib::Server *g_store = nullptr;
httplib::Server *g_tls = nullptr;

void onSignal(int)
{
    devservice::releaseHeldForExit();
    if (g_server)
        g_server->stop();
    if (g_store)
        g_store->stop();
    if (g_tls)
        g_tls->stop();
}

void prepareListener(httplib::Server &server)
{
    // A reply goes out as headers, then body: with Nagle on, the body waits
    // for the client's delayed ACK of the headers, 40 ms a request.
    server.set_tcp_nodelay(true);
    // Without SO_REUSEPORT (httplib's default) a second instance would share
    // the port silently instead of failing.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

int usage()
{
    std::fprintf(stderr,
        "usage: lumira_devservice [--port N] [--tls-port N] [--oss-port N] [--sntp-port N] [--oss-dir DIR] [--host ADDR] "
        "[--www DIR] [--pid-file FILE] [--tls-cert PEM --tls-key PEM] [--update-key PEM]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    devservice::Options options;
    options.port = LUMIRA_DEV_PORT;
    options.www = LUMIRA_DEV_WWW;
    options.bridgeJs = LUMIRA_BRIDGE_JS;
    std::string pidFile;
    int ossPort = LUMIRA_DEV_OSS_PORT;
    int tlsPort = LUMIRA_DEV_TLS_PORT;
    int sntpPort = LUMIRA_DEV_SNTP_PORT;
    std::string ossDir;
    // Another certificate for the TLS port: tests use one the client has
    // never been told to trust.
    std::string tlsCert = LUMIRA_DEV_CERT;
    std::string tlsKey = LUMIRA_DEV_KEY;
    std::string updateKey = LUMIRA_DEV_UPDATE_KEY;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--port")
            options.port = std::atoi(value.c_str());
        else if (arg == "--host")
            options.host = value;
        else if (arg == "--www")
            options.www = value;
        else if (arg == "--oss-port")
            ossPort = std::atoi(value.c_str());
        else if (arg == "--sntp-port")
            sntpPort = std::atoi(value.c_str());
        else if (arg == "--tls-port")
            tlsPort = std::atoi(value.c_str());
        else if (arg == "--oss-dir")
            ossDir = value;
        else if (arg == "--pid-file")
            pidFile = value;
        else if (arg == "--tls-cert")
            tlsCert = value;
        else if (arg == "--tls-key")
            tlsKey = value;
        else if (arg == "--update-key")
            updateKey = value;
        else
            return usage();
    }
    if (options.port <= 0 || options.port > 65535 || ossPort <= 0 || ossPort > 65535)
        return usage();
    devservice::StoreOptions store;
    store.dir = ossDir.empty() ? "/tmp/lumira-devservice-oss-" + std::to_string(ossPort) : ossDir;
    store.keyId = LUMIRA_OSS_KEY_ID;
    store.keySecret = LUMIRA_OSS_KEY_SECRET;
    store.publicHost = options.host + ":" + std::to_string(ossPort);

    httplib::Server server;
    prepareListener(server);
    devservice::registerHangSwitch(server);
    devservice::registerServiceApi(server, store);
    devservice::registerSntpSwitch(server);
    const devservice::UpdateOptions update { options.host, options.port, LUMIRA_DEV_CLIENT_VERSION, updateKey };
    devservice::registerUpdateApi(server, store, update);
    devservice::registerPageRoutes(server, options);
    devservice::registerLogging(server);
    if (!server.bind_to_port(options.host.c_str(), options.port)) {
        std::fprintf(stderr, "lumira_devservice: cannot listen on %s:%d (%s)\n", options.host.c_str(), options.port,
            std::strerror(errno));
        return 1;
    }
    // The object store listens on a port of its own, as the real one has its own host.
    httplib::Server objects;
    prepareListener(objects);
    devservice::registerObjectStore(objects, store);
    devservice::registerLogging(objects);
    if (!objects.bind_to_port(options.host.c_str(), ossPort)) {
        std::fprintf(stderr, "lumira_devservice: cannot listen on %s:%d (%s)\n", options.host.c_str(), ossPort,
            std::strerror(errno));
        return 1;
    }
    // The service API over HTTPS too, as production has it.
    httplib::SSLServer tls(tlsCert.c_str(), tlsKey.c_str());
    prepareListener(tls);
    devservice::registerHangSwitch(tls);
    devservice::registerServiceApi(tls, store);
    devservice::registerUpdateApi(tls, store, update);
    devservice::registerPageRoutes(tls, options);
    devservice::registerLogging(tls);
    if (!tls.is_valid() || !tls.bind_to_port(options.host.c_str(), tlsPort)) {
        std::fprintf(stderr, "lumira_devservice: cannot listen with TLS on %s:%d\n", options.host.c_str(), tlsPort);
        return 1;
    }
    // Network time is an extra: without its port the rest still serves.
    const bool sntp = sntpPort > 0 && sntpPort <= 65535 && devservice::startSntp(options.host, sntpPort);
    if (!pidFile.empty())
        std::ofstream(pidFile) << getpid() << "\n";

    g_server = &server;
    g_tls = &tls;
    std::thread tlsThread([&tls]() { tls.listen_after_bind(); });
    g_store = &objects;
    std::thread storeThread([&objects]() { objects.listen_after_bind(); });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::printf("lumira_devservice listening on http://%s:%d\n", options.host.c_str(), options.port);
    std::fflush(stdout);
    std::printf(
        "lumira_devservice object store on http://%s:%d (%s)\n", options.host.c_str(), ossPort, store.dir.c_str());
    std::fflush(stdout);
    if (sntp) {
        std::printf("lumira_devservice SNTP on udp://%s:%d\n", options.host.c_str(), sntpPort);
        std::fflush(stdout);
    }
    server.listen_after_bind();
    devservice::stopSntp();
    objects.stop();
    storeThread.join();
    tls.stop();
    tlsThread.join();
    g_server = nullptr;
    g_store = nullptr;
    g_tls = nullptr;
    if (!pidFile.empty())
        std::remove(pidFile.c_str());
    return 0;
}
