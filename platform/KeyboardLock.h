#pragma once
#include <memory>

namespace lumira::platform
{

// Swallows, desktop-wide, the keys that switch away from the window: Alt+Tab,
// Alt+Esc, Alt+F4, Ctrl+Esc, Ctrl+Shift+Esc and the left and right
// Windows/Super keys. Every other key reaches its window as before. Used on
// the GUI thread; the keys come back with release() or with the object.
class KeyboardLock
{
public:
    KeyboardLock();
    ~KeyboardLock();
    KeyboardLock(const KeyboardLock &) = delete;
    KeyboardLock &operator=(const KeyboardLock &) = delete;

    // False when the system took none of the keys (no display, another
    // program holds them); what could be taken stays taken until release().
    bool engage();
    void release();
    bool engaged() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lumira::platform
