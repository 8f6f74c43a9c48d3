#pragma once

namespace lumira
{

// Publishes the device manager to QML as the singleton "BCDevice".
void registerDeviceTypes();

} // namespace lumira
