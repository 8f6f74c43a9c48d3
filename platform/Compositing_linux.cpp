#include "platform/Compositing.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace lumira::platform
{

bool compositingAvailable()
{
    int screen = 0;
    // A connection of our own: the toolkit's may be on another platform plugin
    // or not exist yet, and one round trip at the moment of asking is cheap.
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> connection(
        xcb_connect(nullptr, &screen), xcb_disconnect);
    if (!connection || xcb_connection_has_error(connection.get()))
        return false; // no X display: nothing of ours can be blended either
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const xcb_intern_atom_cookie_t atomCookie
        = xcb_intern_atom(connection.get(), 1, static_cast<uint16_t>(name.size()), name.c_str());
    std::unique_ptr<xcb_intern_atom_reply_t, void (*)(void *)> atom(
        xcb_intern_atom_reply(connection.get(), atomCookie, nullptr), std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false; // only_if_exists: nobody ever claimed the selection
    const xcb_get_selection_owner_cookie_t ownerCookie = xcb_get_selection_owner(connection.get(), atom->atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, void (*)(void *)> owner(
        xcb_get_selection_owner_reply(connection.get(), ownerCookie, nullptr), std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace lumira::platform
