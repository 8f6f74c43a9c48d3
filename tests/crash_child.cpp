// Crashes on purpose, with a second thread alive, for the test of the test
// runner's backtraces.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace
{
std::mutex g_lock;
std::condition_variable g_started;
bool g_waiting = false;

[[noreturn]] void lumiraSecondThreadWaits()
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_waiting = true;
    }
    g_started.notify_all();
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// A real invalid write, as a crash would be; not inlined, not a tail call.
__attribute__((noinline)) int lumiraCrashHere(volatile int *where)
{
    *where = 1;
    return *where + 1;
}
} // namespace

int main()
{
    std::thread second(lumiraSecondThreadWaits);
    {
        std::unique_lock<std::mutex> lock(g_lock);
        g_started.wait(lock, [] { return g_waiting; });
    }
    volatile int *nowhere = nullptr;
    const int never = lumiraCrashHere(nowhere);
    second.join();
    return never;
}
