// Windows: a low-level keyboard hook on the GUI thread's message loop. The
// hook sees every key event of the desktop and swallows the switching keys.
#include "platform/KeyboardLock.h"

#include <windows.h>

namespace lumira::platform
{
namespace
{

HHOOK g_hook = nullptr; // one hook per process

bool held(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
        const bool alt = (key->flags & LLKHF_ALTDOWN) != 0;
        const bool swallow = (key->vkCode == VK_ESCAPE && held(VK_CONTROL))
            || ((key->vkCode == VK_TAB || key->vkCode == VK_ESCAPE) && alt) || key->vkCode == VK_LWIN
            || key->vkCode == VK_RWIN || (key->vkCode == VK_F4 && alt);
        if (swallow)
            return 1;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

struct KeyboardLock::Impl {
};

KeyboardLock::KeyboardLock()
    : d(std::make_unique<Impl>())
{
}

KeyboardLock::~KeyboardLock() { release(); }

bool KeyboardLock::engage()
{
    if (!g_hook)
        g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, GetModuleHandleW(nullptr), 0);
    return g_hook != nullptr;
}

void KeyboardLock::release()
{
    if (g_hook)
        UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
}

bool KeyboardLock::engaged() const { return g_hook != nullptr; }

} // namespace lumira::platform
