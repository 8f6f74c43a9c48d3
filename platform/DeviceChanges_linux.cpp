// Linux sources of device changes, on one poll loop in a thread of their own:
// - PulseAudio: a sink or source appearing or going is a node change;
// - udev: "add" of a video4linux or sound device is an arrival, "remove" a
//   removal, "change" a node change.
#include "platform/DeviceChanges.h"

#include <libudev.h>
#include <pulse/pulseaudio.h>

#include <atomic>
#include <thread>

namespace lumira::platform
{

bool deviceChangeOfNativeEvent(const QByteArray &, void *, quintptr *) { return false; }

struct DeviceChangeWatcher::Impl {
    Notify notify;
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    udev *udevHandle = nullptr;
    udev_monitor *monitor = nullptr;
    pa_io_event *monitorEvent = nullptr;
    std::atomic<bool> stop { false };
    std::atomic<bool> sound { false };
    std::thread thread;

    static void onSubscription(pa_context *, pa_subscription_event_type_t type, uint32_t, void *data)
    {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility != PA_SUBSCRIPTION_EVENT_SINK && facility != PA_SUBSCRIPTION_EVENT_SOURCE)
            return;
        if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE)
            static_cast<Impl *>(data)->notify(DeviceChange::NodesChanged);
    }

    static void onSubscribed(pa_context *, int success, void *data) { static_cast<Impl *>(data)->sound = success != 0; }

    static void onContextState(pa_context *c, void *data)
    {
        auto *self = static_cast<Impl *>(data);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_READY) {
            pa_context_set_subscribe_callback(c, onSubscription, self);
            pa_operation *op = pa_context_subscribe(
                c, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE), onSubscribed, self);
            if (op)
                pa_operation_unref(op);
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            self->sound = false;
        }
    }

    static void onMonitor(pa_mainloop_api *, pa_io_event *, int, pa_io_event_flags_t, void *data)
    {
        auto *self = static_cast<Impl *>(data);
        udev_device *device = udev_monitor_receive_device(self->monitor);
        if (!device)
            return;
        const char *action = udev_device_get_action(device);
        const QByteArray what = action ? QByteArray(action) : QByteArray();
        if (what == "add")
            self->notify(DeviceChange::Arrival);
        else if (what == "remove")
            self->notify(DeviceChange::RemoveComplete);
        else if (what == "change")
            self->notify(DeviceChange::NodesChanged);
        udev_device_unref(device);
    }

    void openMonitor()
    {
        udevHandle = udev_new();
        if (!udevHandle)
            return;
        monitor = udev_monitor_new_from_netlink(udevHandle, "udev");
        if (!monitor)
            return;
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "video4linux", nullptr);
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "sound", nullptr);
        if (udev_monitor_enable_receiving(monitor) < 0) {
            udev_monitor_unref(monitor);
            monitor = nullptr;
            return;
        }
        pa_mainloop_api *api = pa_mainloop_get_api(loop);
        monitorEvent = api->io_new(api, udev_monitor_get_fd(monitor), PA_IO_EVENT_INPUT, onMonitor, this);
    }

    void close()
    {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (monitorEvent) {
            pa_mainloop_api *api = pa_mainloop_get_api(loop);
            api->io_free(monitorEvent);
        }
        if (monitor)
            udev_monitor_unref(monitor);
        if (udevHandle)
            udev_unref(udevHandle);
        if (loop)
            pa_mainloop_free(loop);
    }
};

DeviceChangeWatcher::DeviceChangeWatcher(Notify notify)
    : d(std::make_unique<Impl>())
{
    d->notify = std::move(notify);
    d->loop = pa_mainloop_new();
    if (!d->loop)
        return;
    d->openMonitor();
    d->context = pa_context_new(pa_mainloop_get_api(d->loop), "lumira-devices");
    if (d->context) {
        pa_context_set_state_callback(d->context, Impl::onContextState, d.get());
        if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            pa_context_unref(d->context);
            d->context = nullptr;
        }
    }
    // Everything above belongs to the loop's thread from here on.
    Impl *impl = d.get();
    d->thread = std::thread([impl]() {
        while (!impl->stop.load())
            if (pa_mainloop_iterate(impl->loop, 1, nullptr) < 0)
                break;
    });
}

DeviceChangeWatcher::~DeviceChangeWatcher()
{
    if (d->thread.joinable()) {
        d->stop = true;
        pa_mainloop_wakeup(d->loop); // the one call that may come from another thread
        d->thread.join();
    }
    d->close();
}

bool DeviceChangeWatcher::watchesSound() const { return d->sound.load(); }
bool DeviceChangeWatcher::watchesDevices() const { return d->monitorEvent != nullptr; }

} // namespace lumira::platform
