#include "platform/TerminationSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace lumira::platform
{
namespace
{

int g_pipe[2] = { -1, -1 };

void onSignal(int sig)
{
    const char c = static_cast<char>(sig);
    // Only async-signal-safe calls here; the notifier does the real work.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[0], &c, 1);
}

} // namespace

void installTerminationHandler(QObject *context, std::function<void()> onRequest)
{
    if (g_pipe[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onRequest = std::move(onRequest)]() {
        char c = 0;
        [[maybe_unused]] ssize_t n = ::read(g_pipe[1], &c, 1);
        onRequest();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(sig, &sa, nullptr);
}

} // namespace lumira::platform
