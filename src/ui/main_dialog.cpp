#include "ui/main_dialog.h"

#include "commands/make_commands.h"
#include "resource_ids.h"
#include "ui/output_log.h"
#include "ui/web_link.h"

HINSTANCE g_instance = nullptr;
HICON g_icon = nullptr;

namespace {

constexpr char kNoDialogText[] = "无法创建主对话框!";
constexpr char kStartupErrorCaption[] = "启动程序出错";

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

void LoadProgramGlobals() {
    g_instance = GetModuleHandleA(nullptr);
    g_icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_MAIN));
}

int RunMainDialog(const std::vector<AnsiText>& givenFiles) {
    INT_PTR ended = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc,
                                    reinterpret_cast<LPARAM>(&givenFiles));
    // -1: the template could not be loaded or the dialog not created, so nothing was shown.
    if (ended != -1)
        return 0;
    MessageBoxA(nullptr, kNoDialogText, kStartupErrorCaption, MB_ICONERROR);
    return 1;
}

std::optional<std::string_view> LoadUsageNote(int resourceId) {
    HRSRC resource = FindResourceA(g_instance, MAKEINTRESOURCEA(resourceId), RT_RCDATA);
    if (resource == nullptr) {
        return std::nullopt;
    }
    DWORD size = SizeofResource(g_instance, resource);
    HGLOBAL loaded = LoadResource(g_instance, resource);
    if (loaded == nullptr) {
        return std::nullopt;
    }
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) {
        return std::nullopt;
    }
    return std::string_view(static_cast<const char*>(bytes), size);
}

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
