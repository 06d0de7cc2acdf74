#include "ui/main_dialog.h"

#include "commands/dropped_files.h"
#include "commands/make_commands.h"
#include "ui/app_globals.h"
#include "ui/output_log.h"
#include "ui/web_link.h"

#include <vector>

namespace {

// Posted at set-up when the program was started with files; its lParam is the list of them.
constexpr UINT kMakeGivenFilesMessage = WM_APP + 1;

// givenFiles: the files named on the command line (a std::vector<AnsiText> that outlives the
// dialog), or 0.
void OnInitDialog(DialogHandle dialog, LPARAM givenFiles) {
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon));
    SetUpWebLink(dialog);
    SetUpLog(dialog);
    DragAcceptFiles(dialog, TRUE);
    // Handled from the dialog's message loop, so after the dialog has been shown.
    auto* files = reinterpret_cast<const std::vector<AnsiText>*>(givenFiles);
    if (files && !files->empty())
        PostMessageA(dialog, kMakeGivenFilesMessage, 0, givenFiles);
}

void OnGivenFiles(DialogHandle dialog, LPARAM givenFiles) {
    UpdateWindow(dialog); // painted before the first run, which takes no messages
    MakeGivenFiles(dialog, *reinterpret_cast<const std::vector<AnsiText>*>(givenFiles));
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

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, lParam);
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
    if (message == WM_DROPFILES) {
        MakeDroppedFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    }
    if (message == kMakeGivenFilesMessage) {
        OnGivenFiles(dialog, lParam);
        return TRUE;
    }
    if (message == WM_SIZE) {
        return TRUE;
    }
    return FALSE;
}
