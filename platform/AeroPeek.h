#pragma once

namespace lumira::platform
{

// The taskbar's window preview ("EnableAeroPeek" of the desktop window
// manager); turned off while the desktop is locked. False where the system
// has no such preview: nothing is changed there.
bool setAeroPeek(bool enabled);

} // namespace lumira::platform
