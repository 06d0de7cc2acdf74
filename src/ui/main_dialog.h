// The main dialog's procedure: set-up on WM_INITDIALOG and dispatch of the user's commands.
#pragma once
#include <windows.h>

// Returns TRUE for the messages it handles (WM_INITDIALOG, WM_CLOSE, WM_COMMAND, WM_SIZE) and
// FALSE for every other one.
INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
