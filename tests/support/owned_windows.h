// Finding and working the windows a dialog owns (message boxes, the open-file dialog) from
// another thread or another process. Every message is sent with a timeout, so a busy owner
// cannot hang a test.
#pragma once
#include <windows.h>

#include <string>

// The first visible standard dialog (#32770) that `owner` owns, or nullptr after timeoutMs.
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs);

// True when `owner` owns no visible standard dialog during the whole of waitMs.
bool NoOwnedDialogFor(HWND owner, DWORD waitMs);

// A window's text through WM_GETTEXT; empty when the window does not answer in time.
std::string WindowText(HWND window);

// The parts of a message box a test checks.
struct MessageBoxSeen {
    std::string caption;
    std::string text;
    bool onlyOkButton;   // OK is shown and no other push button is
    HICON icon;          // the picture beside the text (comparable in the owner's process only)
};
MessageBoxSeen ReadMessageBox(HWND box);

// Presses a dialog's push button as a click would.
void PressButton(HWND dialog, int buttonId);

// Types `path` into the open-file dialog's file name box and presses Open.
void ChooseInFileDialog(HWND chooser, const std::string& path);

// The open-file dialog's current file type text, e.g. "Dll文件 (*.dll)".
std::string FileDialogTypeText(HWND chooser);
