// The bitmap IDC_WEB_LINK as a hyperlink: hand cursor, and a click opens the web site.
#pragma once
#include "program_types.h"

#include <windows.h>

constexpr char kWebSiteAddress[] = "http://morvane.example/";

// Subclasses the link control with LinkWndProc; keeps the previous procedure.
void SetUpWebLink(DialogHandle dialog);
LRESULT CALLBACK LinkWndProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam);
void OpenWebSite(DialogHandle dialog);
