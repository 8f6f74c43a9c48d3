#pragma once

namespace lumira
{

// Publishes the device manager to QML as the singleton "BCDevice" and the
// microphone level item as the type "MicVolumeView".
void registerDeviceTypes();

} // namespace lumira
