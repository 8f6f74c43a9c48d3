#pragma once
// What the lock screen tests look at from outside the locking process: the
// sound server's playback streams (through pactl), and the keyboard as a
// second X client sees it (a window of its own that takes the focus, keys
// typed with XTest, and whether key grabs are still held by someone else).
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace lockcheck
{

// ---- sound ----------------------------------------------------------------

struct Stream {
    QString id;
    qint64 pid = 0;
    bool muted = false;
};

inline QList<Stream> streams()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), { QStringLiteral("list"), QStringLiteral("sink-inputs") });
    pactl.waitForFinished(10000);
    QList<Stream> out;
    const QStringList lines = QString::fromUtf8(pactl.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("Sink Input #")))
            out.append({ line.mid(12), 0, false });
        else if (!out.isEmpty() && line.startsWith(QLatin1String("Mute:")))
            out.last().muted = line.endsWith(QLatin1String("yes"));
        else if (!out.isEmpty() && line.startsWith(QLatin1String("application.process.id = ")))
            out.last().pid = line.section(QLatin1Char('"'), 1, 1).toLongLong();
    }
    return out;
}

// -1: no stream of that process; else 1 muted, 0 not.
inline int mutedOf(qint64 pid)
{
    for (const Stream &s : streams())
        if (s.pid == pid)
            return s.muted ? 1 : 0;
    return -1;
}

inline QString streamIdOf(qint64 pid)
{
    for (const Stream &s : streams())
        if (s.pid == pid)
            return s.id;
    return {};
}

// A program playing silence for as long as it runs.
inline QProcess *startSilence(const QString &program = QStringLiteral("pacat"))
{
    auto *player = new QProcess;
    player->setStandardInputFile(QStringLiteral("/dev/zero"));
    player->start(program, { QStringLiteral("--playback"), QStringLiteral("--raw") });
    player->waitForStarted();
    return player;
}

inline void stopSilence(QProcess *player)
{
    player->kill();
    player->waitForFinished(5000);
    delete player;
}

// ---- keyboard -------------------------------------------------------------

struct Combo {
    const char *name;
    std::vector<KeySym> keys; // held in order, the last one pressed last
};

// The combinations that switch away from a window.
inline std::vector<Combo> switchingCombos()
{
    return { { "Alt+Tab", { XK_Alt_L, XK_Tab } }, { "Alt+Esc", { XK_Alt_L, XK_Escape } },
        { "Alt+F4", { XK_Alt_L, XK_F4 } }, { "Ctrl+Esc", { XK_Control_L, XK_Escape } },
        { "Ctrl+Shift+Esc", { XK_Control_L, XK_Shift_L, XK_Escape } }, { "Super_L", { XK_Super_L } },
        { "Super_R", { XK_Super_R } } };
}

// Ordinary typing, which must keep reaching the window.
inline std::vector<Combo> ordinaryCombos()
{
    return { { "a", { XK_a } }, { "Tab", { XK_Tab } }, { "Esc", { XK_Escape } }, { "Shift+a", { XK_Shift_L, XK_a } },
        { "Ctrl+c", { XK_Control_L, XK_c } } };
}

// The modifier bit a key is mapped to (NumLock's differs between keymaps).
inline unsigned maskOf(Display *display, KeySym sym)
{
    const KeyCode code = XKeysymToKeycode(display, sym);
    XModifierKeymap *map = XGetModifierMapping(display);
    unsigned mask = 0;
    for (int mod = 0; mod < 8 && !mask; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (code && map->modifiermap[mod * map->max_keypermod + k] == code)
                mask = 1u << mod;
    XFreeModifiermap(map);
    return mask;
}

class TestWindow
{
public:
    TestWindow()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        m_window = XCreateSimpleWindow(
            m_display, DefaultRootWindow(m_display), 0, 0, 200, 200, 0, 0, WhitePixel(m_display, 0));
        XSelectInput(m_display, m_window, KeyPressMask | StructureNotifyMask);
        XMapRaised(m_display, m_window);
        XEvent event;
        do
            XNextEvent(m_display, &event);
        while (event.type != MapNotify);
        focus();
    }
    ~TestWindow()
    {
        if (m_display) {
            setLocks(0);
            XCloseDisplay(m_display);
        }
    }
    bool ok() const { return m_display != nullptr; }

    void focus()
    {
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }

    unsigned numLockMask() { return maskOf(m_display, XK_Num_Lock); }

    // Turns NumLock and CapsLock on or off as `mask` says.
    void setLocks(unsigned mask)
    {
        const unsigned affect = numLockMask() | LockMask;
        XkbLockModifiers(m_display, XkbUseCoreKbd, affect, mask & affect);
        XSync(m_display, False);
    }

    bool hasKey(KeySym sym) { return XKeysymToKeycode(m_display, sym) != 0; }

    // Types the combination, then a plain "z" as a marker, and answers whether
    // the combination's last key reached the window before the marker did.
    // false with `*lost` set when not even the marker arrived.
    bool typeReaches(const Combo &combo, bool *lost = nullptr)
    {
        focus();
        for (KeySym sym : combo.keys)
            XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, sym), True, CurrentTime);
        for (auto it = combo.keys.rbegin(); it != combo.keys.rend(); ++it)
            XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, *it), False, CurrentTime);
        const KeyCode marker = XKeysymToKeycode(m_display, XK_z);
        XTestFakeKeyEvent(m_display, marker, True, CurrentTime);
        XTestFakeKeyEvent(m_display, marker, False, CurrentTime);
        XSync(m_display, False);

        const KeySym wanted = combo.keys.back();
        bool reached = false;
        for (int waited = 0; waited < 5000; waited += 5) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type != KeyPress)
                    continue;
                const KeySym sym = XLookupKeysym(&event.xkey, 0);
                if (sym == XK_z) {
                    if (lost)
                        *lost = false;
                    return reached;
                }
                if (sym == wanted)
                    reached = true;
            }
            QThread::msleep(5);
        }
        if (lost)
            *lost = true;
        return false;
    }

private:
    Display *m_display = nullptr;
    Window m_window = 0;
};

// How many of the switching combinations (with every NumLock/CapsLock state)
// another X client could not grab now: those someone else holds.
inline int combosHeldElsewhere()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return -1;
    }
    Display *keymap = XOpenDisplay(nullptr);
    const unsigned num = maskOf(keymap, XK_Num_Lock);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    int held = 0;
    for (const Combo &combo : switchingCombos()) {
        unsigned modifiers = 0;
        for (size_t i = 0; i + 1 < combo.keys.size(); ++i)
            modifiers |= maskOf(keymap, combo.keys[i]);
        const xcb_keycode_t key = XKeysymToKeycode(keymap, combo.keys.back());
        for (unsigned lock : { 0u, num, unsigned(LockMask), num | unsigned(LockMask) }) {
            const uint16_t mods = uint16_t(modifiers | lock);
            xcb_void_cookie_t cookie
                = xcb_grab_key_checked(c, 0, root, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
                std::free(error);
                ++held;
            } else {
                xcb_ungrab_key(c, key, root, mods);
            }
        }
    }
    XCloseDisplay(keymap);
    xcb_disconnect(c);
    return held;
}

} // namespace lockcheck
