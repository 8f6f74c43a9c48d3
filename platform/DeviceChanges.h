#pragma once
#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace lumira::platform
{

// The device-change broadcasts the client counts, by their Windows wParam
// values of WM_DEVICECHANGE.
enum class DeviceChange : quintptr {
    DevNodeType = 1, // a value the headers do not name
    NodesChanged = 7, // DBT_DEVNODES_CHANGED
    Arrival = 0x8000, // DBT_DEVICEARRIVAL
    RemoveComplete = 0x8004, // DBT_DEVICEREMOVECOMPLETE
};

// The wParam of a WM_DEVICECHANGE message, when the native event is one.
bool deviceChangeOfNativeEvent(const QByteArray &eventType, void *message, quintptr *wParam);

// Watches audio and video devices where the system does not broadcast
// WM_DEVICECHANGE: `notify` is called, on a thread of the watcher's own, for
// every change. On Windows the messages are the source, and it watches nothing.
class DeviceChangeWatcher
{
public:
    using Notify = std::function<void(DeviceChange)>;
    explicit DeviceChangeWatcher(Notify notify);
    ~DeviceChangeWatcher(); // returns once `notify` runs no more
    DeviceChangeWatcher(const DeviceChangeWatcher &) = delete;
    DeviceChangeWatcher &operator=(const DeviceChangeWatcher &) = delete;

    // Whether the sound service and the device manager are watched.
    bool watchesSound() const;
    bool watchesDevices() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lumira::platform
