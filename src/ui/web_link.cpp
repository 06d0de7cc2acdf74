#include "ui/web_link.h"

#include "ui/app_globals.h"

// Not written yet: the link is a plain picture.
void SetUpWebLink(DialogHandle) {}
LRESULT CALLBACK LinkWndProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(g_previousLinkProc, link, message, wParam, lParam);
}
void OpenWebSite(DialogHandle) {}
