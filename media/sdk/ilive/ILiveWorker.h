#pragma once
// The stand-in's callback thread: answers to logins and room calls come from
// here, after the delay a server would take, never from inside the call.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace ilive
{

class Worker
{
public:
    ~Worker() { stop(); }

    void start()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_thread.joinable())
            return;
        m_stopping = false;
        const unsigned generation = ++m_generation;
        m_thread = std::thread([this, generation] { run(generation); });
    }

    // Drops what is still to be done. Once it returns no task is running,
    // unless it was called from inside one (that one is still finishing).
    void stop()
    {
        std::thread thread;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            m_tasks.clear();
            thread = std::move(m_thread);
        }
        m_wake.notify_all();
        if (!thread.joinable())
            return;
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach(); // the task in progress returns into a loop that ends
        else
            thread.join();
    }

    // Dropped when the thread is not running.
    void post(int delayMs, std::function<void()> task)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping || !m_thread.joinable())
                return;
            m_tasks.emplace(Clock::now() + std::chrono::milliseconds(delayMs < 0 ? 0 : delayMs), std::move(task));
        }
        m_wake.notify_all();
    }

private:
    using Clock = std::chrono::steady_clock;

    // A thread left detached by a stop() from inside its task ends as soon
    // as that task returns, even if start() made a new one meanwhile.
    void run(unsigned generation)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopping && generation == m_generation) {
            if (m_tasks.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const auto due = m_tasks.begin()->first;
            if (Clock::now() < due) {
                m_wake.wait_until(lock, due);
                continue;
            }
            std::function<void()> task = std::move(m_tasks.begin()->second);
            m_tasks.erase(m_tasks.begin());
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<Clock::time_point, std::function<void()>> m_tasks; // by when they are due
    std::thread m_thread;
    bool m_stopping = false;
    unsigned m_generation = 0;
};

} // namespace ilive
