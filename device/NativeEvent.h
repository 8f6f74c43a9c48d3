#pragma once

#include <QAbstractNativeEventFilter>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace lumira::platform
{
class DeviceChangeWatcher;
}

// Tells QML ("cppEvent") that the device lists should be refreshed, once a
// burst of device changes has settled. The changes come as WM_DEVICECHANGE
// messages through the native event filter, or, where the system has no
// such broadcast, from a watcher of the sound service and the device manager.
// Never shown; lives on the GUI thread.
class NativeEvent : public QWidget, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // The burst window after the first node change.
    static constexpr int kSettleMs = 1500;

    // `watchSystem`: also start the watcher (the client does; tests of the
    // counting alone do not).
    explicit NativeEvent(bool watchSystem = true, QWidget *parent = nullptr);
    ~NativeEvent() override;

    // Hands every message on; device changes are only counted.
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

    // One WM_DEVICECHANGE, by its wParam. GUI thread.
    void deviceChanged(quintptr wParam);
    // Whether the sound service's devices are being watched (not on Windows,
    // where the messages come instead).
    bool watchesSound() const;

signals:
    void devUpdate();

private slots:
    void onM_timer();

private:
    QTimer m_timer;
    int m_count = 0;
    std::unique_ptr<lumira::platform::DeviceChangeWatcher> m_watcher;
};
