// The program's few globals, each set once and never freed.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;       // the process image, for the dialog, the icon and the note
extern HICON g_icon;               // IDI_MAIN, the dialog's big and small icon
extern WNDPROC g_previousLinkProc; // the link control's procedure before subclassing
