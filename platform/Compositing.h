#pragma once

namespace lumira::platform
{

// Whether the desktop blends translucent windows over what lies below them.
// Without that, a window with a transparent background shows its own pixels
// unblended (black where it should be see-through), so callers draw opaque
// frames and tint inside their own windows instead.
// X11: a compositing manager owns the selection _NET_WM_CM_S<screen> of the
// display in DISPLAY; asked anew on every call, since one can start or stop
// while we run. Windows: always true (DWM composes since Windows 8).
bool compositingAvailable();

} // namespace lumira::platform
