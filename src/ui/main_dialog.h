// The main dialog's procedure: set-up on WM_INITDIALOG and dispatch of the user's commands.
#pragma once
#include <windows.h>

// Returns TRUE for the messages it handles (WM_INITDIALOG, WM_CLOSE, WM_COMMAND, WM_DROPFILES,
// its own message for the files given at start, WM_SIZE) and FALSE for every other one. The
// init parameter of WM_INITDIALOG is 0 or a std::vector<AnsiText> of files to make once the
// dialog shows, which must outlive the dialog.
INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
