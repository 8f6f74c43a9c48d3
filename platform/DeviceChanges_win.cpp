#include "platform/DeviceChanges.h"

#include <windows.h>

namespace lumira::platform
{

bool deviceChangeOfNativeEvent(const QByteArray &eventType, void *message, quintptr *wParam)
{
    if (eventType != "windows_generic_MSG" || !message)
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_DEVICECHANGE)
        return false;
    *wParam = quintptr(msg->wParam);
    return true;
}

// The broadcasts reach the application's native event filter.
struct DeviceChangeWatcher::Impl {
};

DeviceChangeWatcher::DeviceChangeWatcher(Notify)
    : d(std::make_unique<Impl>())
{
}

DeviceChangeWatcher::~DeviceChangeWatcher() = default;

bool DeviceChangeWatcher::watchesSound() const { return false; }
bool DeviceChangeWatcher::watchesDevices() const { return false; }

} // namespace lumira::platform
