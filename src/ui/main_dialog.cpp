#include "ui/main_dialog.h"

#include "commands/make_commands.h"
#include "ui/app_globals.h"
#include "ui/output_log.h"
#include "ui/web_link.h"

namespace {

void OnInitDialog(DialogHandle dialog) {
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon));
    SetUpWebLink(dialog);
    SetUpLog(dialog);
}

// Only the control ID counts: IDOK, IDCANCEL and the edit boxes' notifications do nothing.
void OnCommand(DialogHandle dialog, WORD controlId) {
    if (controlId == IDC_MAKE_DEF) {
        MakeDefFile(dialog);
    } else if (controlId == IDC_MAKE_LIB) {
        MakeLibFile(dialog);
    } else if (controlId == IDC_WEB_LINK) {
        OpenWebSite(dialog);
    }
}

} // namespace

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog);
        return TRUE; // the focus goes to the first tab stop, IDC_MAKE_DEF
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    if (message == WM_SIZE) {
        return TRUE;
    }
    return FALSE;
}
