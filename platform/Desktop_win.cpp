#include "platform/Desktop.h"

#include <windows.h>

namespace lumira::platform
{

void setProcessDpiAware() { SetProcessDPIAware(); }

void bringRunningInstanceForward(const QString & /*channelName*/)
{
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
    if (HWND main = FindWindowW(nullptr, L"Lumira")) {
        SwitchToThisWindow(main, TRUE);
        SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, keep);
        SetWindowPos(main, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    }
    for (const wchar_t *title : { L"lumira_video", L"lumira_eye" }) {
        if (HWND w = FindWindowW(nullptr, title))
            SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, keep);
    }
}

} // namespace lumira::platform
