// The main dialog: the globals it is made from, running it modally, and its procedure, which
// sets it up on WM_INITDIALOG and dispatches the user's commands.
#pragma once
#include "program_types.h"

#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

// Each set once by LoadProgramGlobals and never freed.
extern HINSTANCE g_instance; // the process image, for the dialog, the icon and the note
extern HICON g_icon;         // IDI_MAIN, the dialog's big and small icon

// Sets g_instance to the process image and g_icon to its icon IDI_MAIN.
void LoadProgramGlobals();

// Runs the modal main dialog from g_instance's template; once it shows, it makes the given
// files as if they had been dropped on it. Returns the process exit code: 0 once the dialog
// has closed, 1 when it could not be created (the user has then been told).
int RunMainDialog(const std::vector<AnsiText>& givenFiles = {});

// Returns the bytes of the RCDATA resource resourceId of g_instance, or nothing when it cannot
// be found, loaded or locked. The bytes belong to the module image.
std::optional<std::string_view> LoadUsageNote(int resourceId);

// Returns TRUE for the messages it handles (WM_INITDIALOG, WM_CLOSE, WM_COMMAND, WM_DROPFILES,
// its own message for the files given at start, WM_SIZE) and FALSE for every other one. The
// init parameter of WM_INITDIALOG is 0 or a std::vector<AnsiText> of files to make once the
// dialog shows, which must outlive the dialog.
INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
