// Reading and answering the system's standard dialogs that the program opens: message boxes
// and the open-file dialog. Works from another thread or another process; every message is
// sent with a timeout.
#pragma once
#include <windows.h>

#include <string>

struct RunningProgram;

// The parts of a message box a test checks.
struct MessageBoxSeen {
    std::string caption;
    std::string text;
    bool onlyOkButton; // OK is shown and no other push button is
    HICON icon;        // the picture beside the text (comparable in the owner's process only)
};
MessageBoxSeen ReadMessageBox(HWND box);

// Presses a dialog's push button as a click would, without waiting.
void PressButton(HWND dialog, int buttonId);

// Types `path` into the open-file dialog's file name box and presses Open.
void ChooseInFileDialog(HWND chooser, const std::string& path);

// Chooses a file as a user who browses does: opens its folder in the dialog first (which makes
// that folder the current one), then picks the file by its name there.
void BrowseToInFileDialog(HWND chooser, const std::string& folder, const std::string& name);

// The open-file dialog's current file type text, e.g. "Dll文件 (*.dll)".
std::string FileDialogTypeText(HWND chooser);

// Clicks a button of the program's main dialog (posted, since a command may run a tool or open
// a modal window) and waits for the window it opens: the chooser or a message box. nullptr
// when none opened in time.
HWND ClickForDialog(const RunningProgram& program, int buttonId, DWORD timeoutMs);

// Waits until `opened` has closed and the main dialog handles messages again, that is until
// the command has ended. False on a timeout.
bool WaitForCommandEnd(const RunningProgram& program, HWND opened, DWORD timeoutMs);
