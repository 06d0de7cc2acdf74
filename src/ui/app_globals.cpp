#include "ui/app_globals.h"

HINSTANCE g_instance = nullptr;
HICON g_icon = nullptr;
WNDPROC g_previousLinkProc = nullptr;
