#pragma once
// The TRTC stand-in's small parts: its device lists and the thread on which
// it reports what the simulated room does not report itself.
#include "ITRTCCloud.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trtcstandin
{

struct Device {
    std::string name, pid;
};

inline const std::vector<Device> &cameras()
{
    // A virtual camera's name is what the client's device list knows it by;
    // the SDK selects it by its PID.
    static const std::vector<Device> list { { "Simulated camera", "sim-camera" }, { "YY开播", "sim-yy-camera" } };
    return list;
}

class Collection final : public ITRTCDeviceCollection
{
public:
    explicit Collection(std::vector<Device> devices)
        : m_devices(std::move(devices))
    {
    }
    uint32_t getCount() override { return uint32_t(m_devices.size()); }
    const char *getDeviceName(uint32_t index) override
    {
        return index < m_devices.size() ? m_devices[index].name.c_str() : "";
    }
    const char *getDevicePID(uint32_t index) override
    {
        return index < m_devices.size() ? m_devices[index].pid.c_str() : "";
    }
    void release() override { delete this; }

private:
    std::vector<Device> m_devices;
};

class Info final : public ITRTCDeviceInfo
{
public:
    explicit Info(Device device)
        : m_device(std::move(device))
    {
    }
    const char *getDeviceName() override { return m_device.name.c_str(); }
    const char *getDevicePID() override { return m_device.pid.c_str(); }
    void release() override { delete this; }

private:
    Device m_device;
};

// The SDK's own callback thread: runs what is posted, in order.
class Poster
{
public:
    Poster()
        : m_thread([this] { run(); })
    {
    }
    // Runs what is still queued, then ends the thread.
    ~Poster()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void post(std::function<void()> call)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(call));
        }
        m_wake.notify_all();
    }

private:
    void run()
    {
        for (;;) {
            std::function<void()> call;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                call = std::move(m_queue.front());
                m_queue.pop_front();
            }
            call();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace trtcstandin
