#pragma once
// Stands in for a compositing manager where the client asks whether one runs:
// owns the X selection _NET_WM_CM_S<screen> while the object lives. Nothing
// is blended by it; tests of the translucent path grab windows themselves.
#include <cstdlib>
#include <memory>
#include <string>

#include <xcb/xcb.h>

namespace testenv
{

// Claims the selection a compositing manager owns, from a window of our own,
// for as long as it lives.
class CompositorSelection
{
public:
    CompositorSelection()
        : m_connection(xcb_connect(nullptr, &m_screen), xcb_disconnect)
    {
        if (xcb_connection_has_error(m_connection.get()))
            return;
        xcb_connection_t *c = m_connection.get();
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        m_window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            screen->root_visual, 0, nullptr);
        const std::string name = "_NET_WM_CM_S" + std::to_string(m_screen);
        std::unique_ptr<xcb_intern_atom_reply_t, void (*)(void *)> atom(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr), std::free);
        if (!atom)
            return;
        m_atom = atom->atom;
        xcb_set_selection_owner(c, m_window, m_atom, XCB_CURRENT_TIME);
        sync();
    }
    ~CompositorSelection()
    {
        if (m_atom != XCB_ATOM_NONE) {
            xcb_set_selection_owner(m_connection.get(), XCB_WINDOW_NONE, m_atom, XCB_CURRENT_TIME);
            xcb_destroy_window(m_connection.get(), m_window);
            sync();
        }
    }
    bool ok() const { return m_atom != XCB_ATOM_NONE; }

private:
    // A round trip: everything sent before it has been done by the server.
    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_connection.get(), xcb_get_input_focus(m_connection.get()), nullptr));
    }

    int m_screen = 0;
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_atom_t m_atom = XCB_ATOM_NONE;
};

} // namespace testenv
