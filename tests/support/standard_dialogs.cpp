#include "standard_dialogs.h"

#include "gui_driver.h"

#include <dlgs.h>

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;

bool IsShownButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

void TypeFileName(HWND chooser, const std::string& name) {
    // The explorer-style dialog has a combo box for the name; older layouts an edit box.
    HWND nameBox = GetDlgItem(chooser, cmb13);
    if (!nameBox)
        nameBox = GetDlgItem(chooser, edt1);
    SendWithTimeout(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

} // namespace

MessageBoxSeen ReadMessageBox(HWND box) {
    // A thread that has not looked at its queue for 5 s counts as hung, and a message sent to
    // it is given up at once, until the box's modal loop waits on the queue: wait for that.
    for (DWORD waited = 0;
         !SendWithTimeout(box, WM_NULL, 0, 0) && IsWindow(box) && waited < kDefaultTimeoutMs;
         waited += 20)
        Sleep(20);
    MessageBoxSeen seen = {};
    ReadWindowText(box, seen.caption);
    ReadControlText(box, kMessageBoxTextId, seen.text);
    seen.onlyOkButton = IsShownButton(box, IDOK);
    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        seen.onlyOkButton = seen.onlyOkButton && !IsShownButton(box, id);
    LRESULT icon = 0;
    SendWithTimeout(GetDlgItem(box, kMessageBoxIconId), STM_GETICON, 0, 0, kDefaultTimeoutMs,
                    &icon);
    seen.icon = reinterpret_cast<HICON>(icon);
    return seen;
}

void PressButton(HWND dialog, int buttonId) {
    PostCommand(dialog, buttonId, BN_CLICKED);
}

void ChooseInFileDialog(HWND chooser, const std::string& path) {
    TypeFileName(chooser, path);
    PressButton(chooser, IDOK);
}

void BrowseToInFileDialog(HWND chooser, const std::string& folder, const std::string& name) {
    TypeFileName(chooser, folder);
    // Sent, not posted: Open on a folder only opens it, and the dialog stays.
    SendCommand(chooser, IDOK, BN_CLICKED);
    ChooseInFileDialog(chooser, name);
}

std::string FileDialogTypeText(HWND chooser) {
    std::string text;
    ReadControlText(chooser, cmb1, text);
    return text;
}

HWND ClickForDialog(const RunningProgram& program, int buttonId, DWORD timeoutMs) {
    PostCommand(program.dialog, buttonId, BN_CLICKED);
    return WaitForDialogOfProcess(program.processId, program.dialog, timeoutMs);
}

bool WaitForCommandEnd(const RunningProgram& program, HWND opened, DWORD timeoutMs) {
    for (DWORD waited = 0; IsWindow(opened) && waited < timeoutMs; waited += 20)
        Sleep(20);
    return SendWithTimeout(program.dialog, WM_NULL, 0, 0, timeoutMs);
}
