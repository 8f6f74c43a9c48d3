// X11: passive grabs of the key combinations on the root window, on a
// connection of our own. The server hands a grabbed combination to that
// connection instead of the focused window; the events are read and dropped.
// The grabs belong to the connection, so they end with this process however
// it ends; nothing of them can outlive it.
#include "platform/KeyboardLock.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace lumira::platform
{
namespace
{

constexpr xcb_keysym_t kTab = 0xff09;
constexpr xcb_keysym_t kEscape = 0xff1b;
constexpr xcb_keysym_t kF4 = 0xffc1;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr xcb_keysym_t kSuperR = 0xffec;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kNumLock = 0xff7f;

struct Grab {
    xcb_keycode_t key;
    uint16_t modifiers;
};

struct KeyMap {
    xcb_keycode_t first = 0;
    int perCode = 0;
    std::vector<xcb_keysym_t> syms;

    std::vector<xcb_keycode_t> codesOf(xcb_keysym_t sym) const
    {
        std::vector<xcb_keycode_t> out;
        for (size_t i = 0; perCode > 0 && i < syms.size(); ++i) {
            if (syms[i] == sym) {
                const auto code = xcb_keycode_t(first + int(i) / perCode);
                if (out.empty() || out.back() != code)
                    out.push_back(code);
            }
        }
        return out;
    }
};

KeyMap readKeyMap(xcb_connection_t *c)
{
    KeyMap map;
    const xcb_setup_t *setup = xcb_get_setup(c);
    map.first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *reply
        = xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (!reply)
        return map;
    map.perCode = reply->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply);
    map.syms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
    return map;
}

// The modifier bit a key is mapped to (Alt and NumLock differ between
// keyboard layouts); `fallback` when the key is not a modifier.
uint16_t modifierOf(xcb_connection_t *c, const std::vector<xcb_keycode_t> &codes, uint16_t fallback)
{
    xcb_get_modifier_mapping_reply_t *reply = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!reply)
        return fallback;
    const xcb_keycode_t *keys = xcb_get_modifier_mapping_keycodes(reply);
    uint16_t mask = 0;
    for (int mod = 0; mod < 8 && !mask; ++mod) {
        for (int k = 0; k < reply->keycodes_per_modifier; ++k) {
            const xcb_keycode_t code = keys[mod * reply->keycodes_per_modifier + k];
            for (xcb_keycode_t wanted : codes)
                if (code != 0 && code == wanted)
                    mask = uint16_t(1u << mod);
        }
    }
    std::free(reply);
    return mask ? mask : fallback;
}

} // namespace

struct KeyboardLock::Impl {
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = 0;
    std::vector<Grab> grabs;
    std::unique_ptr<QSocketNotifier> reader;

    bool connect()
    {
        if (connection)
            return true;
        int screenNumber = 0;
        xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return false;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem) {
            xcb_disconnect(c);
            return false;
        }
        connection = c;
        root = it.data->root;
        // Grabbed presses arrive here; nobody wants them.
        reader = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(reader.get(), &QSocketNotifier::activated, [this]() {
            while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
                std::free(event);
        });
        return true;
    }

    void disconnect()
    {
        reader.reset();
        if (connection)
            xcb_disconnect(connection);
        connection = nullptr;
    }
};

KeyboardLock::KeyboardLock()
    : d(std::make_unique<Impl>())
{
}

KeyboardLock::~KeyboardLock()
{
    release();
    d->disconnect();
}

bool KeyboardLock::engage()
{
    if (!d->grabs.empty())
        return true;
    if (!d->connect())
        return false;
    xcb_connection_t *c = d->connection;
    const KeyMap map = readKeyMap(c);
    const uint16_t alt = modifierOf(c, map.codesOf(kAltL), XCB_MOD_MASK_1);
    const uint16_t numLock = modifierOf(c, map.codesOf(kNumLock), XCB_MOD_MASK_2);
    const uint16_t ctrl = XCB_MOD_MASK_CONTROL;
    const uint16_t shift = XCB_MOD_MASK_SHIFT;
    const struct {
        xcb_keysym_t sym;
        uint16_t modifiers;
    } combos[] = { { kTab, alt }, { kEscape, alt }, { kF4, alt }, { kEscape, ctrl },
        { kEscape, uint16_t(ctrl | shift) }, { kSuperL, 0 }, { kSuperR, 0 } };
    // A grab matches the exact modifier state, and NumLock or CapsLock being
    // on is part of that state.
    const uint16_t locks[] = { 0, numLock, XCB_MOD_MASK_LOCK, uint16_t(numLock | XCB_MOD_MASK_LOCK) };

    for (const auto &combo : combos) {
        for (xcb_keycode_t key : map.codesOf(combo.sym)) {
            for (uint16_t lock : locks) {
                const uint16_t modifiers = uint16_t(combo.modifiers | lock);
                xcb_void_cookie_t cookie
                    = xcb_grab_key_checked(c, 0, d->root, modifiers, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
                    std::free(error); // held by another program: that one keeps it
                    continue;
                }
                d->grabs.push_back({ key, modifiers });
            }
        }
    }
    xcb_flush(c);
    return !d->grabs.empty();
}

void KeyboardLock::release()
{
    if (!d->connection)
        return;
    for (const Grab &grab : d->grabs)
        xcb_ungrab_key(d->connection, grab.key, d->root, grab.modifiers);
    d->grabs.clear();
    // A round trip: the keys are free again when this returns.
    xcb_get_input_focus_reply_t *sync
        = xcb_get_input_focus_reply(d->connection, xcb_get_input_focus(d->connection), nullptr);
    std::free(sync);
}

bool KeyboardLock::engaged() const { return !d->grabs.empty(); }

} // namespace lumira::platform
