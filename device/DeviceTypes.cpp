#include "device/DeviceTypes.h"

#include "device/BCDevice.h"
#include "device/MicVolumeView.h"

#include <QQmlEngine>

namespace lumira
{

void registerDeviceTypes()
{
    qmlRegisterSingletonType<BCDevice>("BCDevice", 1, 0, "BCDevice", [](QQmlEngine *, QJSEngine *) -> QObject * {
        BCDevice *device = BCDevice::instance();
        QQmlEngine::setObjectOwnership(device, QQmlEngine::CppOwnership);
        return device;
    });
    qmlRegisterType<MicVolumeView>("MicVolumeView", 1, 0, "MicVolumeView");
}

} // namespace lumira
