#include "device/NativeEvent.h"

#include "platform/DeviceChanges.h"

#include <QDebug>
#include <QPointer>

using lumira::platform::DeviceChange;

NativeEvent::NativeEvent(bool watchSystem, QWidget *parent)
    : QWidget(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &NativeEvent::onM_timer);
    if (!watchSystem)
        return;
    QPointer<NativeEvent> self(this);
    // Runs on the watcher's thread: the change is counted on the GUI thread.
    m_watcher = std::make_unique<lumira::platform::DeviceChangeWatcher>([self](DeviceChange change) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, change]() {
                if (self)
                    self->deviceChanged(quintptr(change));
            },
            Qt::QueuedConnection);
    });
}

// The watcher's thread ends first, so no change is queued to a dead object
// after this; those already queued are dropped with the object.
NativeEvent::~NativeEvent() { m_watcher.reset(); }

bool NativeEvent::watchesSound() const { return m_watcher && m_watcher->watchesSound(); }

bool NativeEvent::nativeEventFilter(const QByteArray &eventType, void *message, long *)
{
    quintptr wParam = 0;
    if (lumira::platform::deviceChangeOfNativeEvent(eventType, message, &wParam))
        deviceChanged(wParam);
    return false;
}

void NativeEvent::deviceChanged(quintptr wParam)
{
    switch (DeviceChange(wParam)) {
    case DeviceChange::RemoveComplete:
        qDebug() << "remove";
        break;
    case DeviceChange::Arrival:
        qDebug() << "arrival";
        m_count = -1;
        break;
    case DeviceChange::DevNodeType:
        qDebug() << "DBT_DEVTYP_DEVNODE";
        break;
    case DeviceChange::NodesChanged:
        if (!m_timer.isActive())
            m_timer.start(kSettleMs);
        ++m_count;
        break;
    }
}

void NativeEvent::onM_timer()
{
    const int count = m_count;
    m_count = 0;
    if (count >= 3)
        emit devUpdate();
}
