// Drives the real Morvane.exe from a second Windows program, as a user's own program would:
// a private program folder holding Morvane.exe and whatever files a test puts beside it, the
// process started from there, its windows found by process ID and class, and messages sent
// with a timeout (while a tool runs the dialog pumps nothing, so a plain SendMessage would
// hang the test).
//
// Typical use:
//     std::string folder = MakeProgramFolder(WindowsPathOf(MORVANE_EXE), {{"Lib.exe", path, ""}});
//     RunningProgram program;
//     ASSERT_TRUE(StartProgram(folder + "\\Morvane.exe", program));
//     PostCommand(program.dialog, IDC_MAKE_LIB, BN_CLICKED);
//     HWND chooser = WaitForDialogOfProcess(program.processId, program.dialog, 10000);
//     ...
//     DWORD exitCode;
//     CloseAndWait(program, 10000, exitCode);
//     RemoveProgramFolder(folder);
//
// MORVANE_EXE, the build-tree path of Morvane.exe, is defined for every target that links the
// driver library (morvane_gui_driver); WindowsPathOf turns it into the path Wine knows.
//
// Texts are 8-bit text in the test program's ANSI code page (936 under the test rig), so they
// compare directly with the program's own literals.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

constexpr DWORD kDefaultTimeoutMs = 20000;

// A file to put into the program folder beside Morvane.exe.
struct ExtraFile {
    std::string name;       // the file's name in the folder, such as "qen_impdef.exe"
    std::string sourcePath; // copied from this path when it is not empty;
    std::string contents;   // otherwise written with exactly these bytes
};

// Returns the path under which Wine shows a build-tree path such as "/work/x/Morvane.exe"
// ("Z:\work\x\Morvane.exe"). A path that is already a Windows path comes back unchanged.
std::string WindowsPathOf(const std::string& path);

// Makes a new, empty folder under the temporary folder and copies exePath into it under its own
// file name, then adds the extra files. Returns the folder's path without a trailing backslash,
// or an empty string when anything failed (what was made is removed again).
std::string MakeProgramFolder(const std::string& exePath, const std::vector<ExtraFile>& extras);

// Deletes the folder with everything in it. Returns false when something could not be deleted.
bool RemoveProgramFolder(const std::string& folder);

// A started program. Fields are empty until StartProgram succeeds.
struct RunningProgram {
    HANDLE process = nullptr;
    DWORD processId = 0;
    HWND dialog = nullptr; // the main dialog
};

// Starts exePath (with the caller's current folder) and waits until its main dialog is
// visible. Returns false, with the process ended, when the dialog did not show in time.
bool StartProgram(const std::string& exePath, RunningProgram& program,
                  DWORD timeoutMs = kDefaultTimeoutMs);

// The same with arguments after the program's quoted name, as Explorer starts a program with
// the files dropped on its icon: each path in double quotes, one blank between them.
bool StartProgramWithFiles(const std::string& exePath, const std::vector<std::string>& files,
                           RunningProgram& program, DWORD timeoutMs = kDefaultTimeoutMs);

// The visible top-level dialog (class "#32770") of the process other than `except`, or nullptr.
// With except = the main dialog this finds a message box or the file chooser.
HWND FindDialogOfProcess(DWORD processId, HWND except = nullptr);

// FindDialogOfProcess, polled until a dialog appears or the time is up (then nullptr).
HWND WaitForDialogOfProcess(DWORD processId, HWND except, DWORD timeoutMs);

// Reads a window's text with WM_GETTEXTLENGTH and WM_GETTEXT. False when the window did not
// answer in time.
bool ReadWindowText(HWND window, std::string& text, DWORD timeoutMs = kDefaultTimeoutMs);

// The same for the dialog item with the given ID.
bool ReadControlText(HWND dialog, int controlId, std::string& text,
                     DWORD timeoutMs = kDefaultTimeoutMs);

// A window's class name, such as "Button", "Edit", "Static" or "#32770".
std::string ClassNameOf(HWND window);

// One child window of a dialog.
struct ControlInfo {
    HWND window;
    int id;
    std::string className;
    std::string text;
};

// The dialog's direct child windows in Z order, which for a dialog is the template's order.
// False when a text could not be read in time.
bool ListControls(HWND dialog, std::vector<ControlInfo>& controls,
                  DWORD timeoutMs = kDefaultTimeoutMs);

// Sends a message and waits for it to be handled. False on a timeout or a dead window;
// otherwise result (when given) holds what the window procedure returned.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     DWORD timeoutMs = kDefaultTimeoutMs, LRESULT* result = nullptr);

// WM_COMMAND as the control with the given ID would send it: the notification in the high word,
// the control's handle in lParam (nullptr when the dialog has no such control, as for IDOK).
bool SendCommand(HWND dialog, int controlId, int notification, DWORD timeoutMs = kDefaultTimeoutMs);
// The same, queued: returns at once, which a command that runs a tool or opens a modal
// window needs.
bool PostCommand(HWND dialog, int controlId, int notification);

// The window that has the keyboard focus in the thread that owns `window`, or nullptr.
HWND FocusedWindowIn(HWND window);

// Whether the process has not ended yet.
bool IsRunning(const RunningProgram& program);

// Waits for the process to end and returns its exit code. False on a timeout.
bool WaitForExit(const RunningProgram& program, DWORD timeoutMs, DWORD& exitCode);

// Posts WM_CLOSE to the main dialog (the caption's close box does the same) and waits for the
// process to end. False on a timeout.
bool CloseAndWait(const RunningProgram& program, DWORD timeoutMs, DWORD& exitCode);

// Ends the process if it still runs and releases the handle. Safe to call more than once.
void StopProgram(RunningProgram& program);
