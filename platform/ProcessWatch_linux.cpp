#include "platform/ProcessWatch.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumira::platform
{

bool waitForProcessExit(qint64 pid)
{
#ifdef SYS_pidfd_open
    // A pidfd names this process, not whichever takes its number later.
    const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (fd >= 0) {
        pollfd p { fd, POLLIN, 0 };
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) { }
        ::close(fd);
        return true;
    }
    if (errno == ESRCH)
        return true;
#endif
    // Kernels before 5.3: look every 100 ms.
    for (;;) {
        if (::kill(pid_t(pid), 0) != 0)
            return errno == ESRCH;
        ::usleep(100 * 1000);
    }
}

} // namespace lumira::platform
