#include "platform/AeroPeek.h"

namespace lumira::platform
{

// X11 desktops have no taskbar preview that shows other windows over ours.
bool setAeroPeek(bool) { return false; }

} // namespace lumira::platform
