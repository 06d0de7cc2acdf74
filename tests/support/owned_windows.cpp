#include "owned_windows.h"

#include <dlgs.h>

#include <vector>

namespace {

constexpr UINT kAnswerTimeoutMs = 5000;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM searchAddress) {
    auto* search = reinterpret_cast<OwnedSearch*>(searchAddress);
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    if (std::string(className) == "#32770" && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindOwnedDialog(HWND owner) {
    OwnedSearch search = {owner, nullptr};
    EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs,
                             &result))
        return 0;
    return static_cast<LRESULT>(result);
}

bool IsShownButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

} // namespace

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = FindOwnedDialog(owner))
            return found;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

bool NoOwnedDialogFor(HWND owner, DWORD waitMs) {
    return WaitForOwnedDialog(owner, waitMs) == nullptr;
}

std::string WindowText(HWND window) {
    LRESULT length = SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    LRESULT copied = SendWithTimeout(window, WM_GETTEXT, text.size(),
                                     reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.data(), static_cast<size_t>(copied));
}

MessageBoxSeen ReadMessageBox(HWND box) {
    MessageBoxSeen seen;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, kMessageBoxTextId));
    seen.onlyOkButton = IsShownButton(box, IDOK);
    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        seen.onlyOkButton = seen.onlyOkButton && !IsShownButton(box, id);
    seen.icon = reinterpret_cast<HICON>(
        SendWithTimeout(GetDlgItem(box, kMessageBoxIconId), STM_GETICON, 0, 0));
    return seen;
}

void PressButton(HWND dialog, int buttonId) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

void ChooseInFileDialog(HWND chooser, const std::string& path) {
    // The explorer-style dialog has a combo box for the name; older layouts an edit box.
    HWND nameBox = GetDlgItem(chooser, cmb13);
    if (!nameBox)
        nameBox = GetDlgItem(chooser, edt1);
    SendWithTimeout(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PressButton(chooser, IDOK);
}

std::string FileDialogTypeText(HWND chooser) { return WindowText(GetDlgItem(chooser, cmb1)); }
