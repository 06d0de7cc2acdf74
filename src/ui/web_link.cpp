#include "ui/web_link.h"

#include "resource_ids.h"

#include <shellapi.h>

// The link control's procedure before subclassing, set once.
WNDPROC g_previousLinkProc = nullptr;

namespace {

// Hand cursor on every move; the capture follows the mouse in and lets go once it leaves.
void FollowMouse(HWND link, LPARAM position) {
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    if (GetCapture() == link) {
        RECT client;
        GetClientRect(link, &client);
        // Unsigned on purpose: left of or above the control reads as a very large number.
        unsigned x = LOWORD(position);
        unsigned y = HIWORD(position);
        if (x > static_cast<unsigned>(client.right) || y > static_cast<unsigned>(client.bottom))
            ReleaseCapture();
    } else {
        SetCapture(link);
    }
}

} // namespace

void SetUpWebLink(DialogHandle dialog) {
    HWND link = GetDlgItem(dialog, IDC_WEB_LINK);
    g_previousLinkProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkWndProc)));
}

LRESULT CALLBACK LinkWndProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE)
        FollowMouse(link, lParam);
    else if (message == WM_LBUTTONUP)
        ReleaseCapture();
    return CallWindowProcA(g_previousLinkProc, link, message, wParam, lParam);
}

void OpenWebSite(DialogHandle dialog) {
    ShellExecuteA(dialog, "Open", "iexplore.exe", kWebSiteAddress, nullptr, SW_SHOWNORMAL);
}
