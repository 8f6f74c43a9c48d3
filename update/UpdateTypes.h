#pragma once

namespace lumira
{

// The update subsystem's QML type: the singleton "H5DownloadHelper" 1.0.
void registerUpdateTypes();

} // namespace lumira
