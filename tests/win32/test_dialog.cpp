#include "test_dialog.h"

#include "resource_ids.h"

#include <vector>

namespace {
INT_PTR CALLBACK TestDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
} // namespace

TestDialog::TestDialog(bool visible)
    : handle(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST_DIALOG),
                                nullptr, TestDialogProc, 0)) {
    if (visible)
        ShowWindow(handle, SW_SHOWNORMAL);
}

TestDialog::~TestDialog() {
    DestroyWindow(handle);
}

std::string LogText(HWND dialog) {
    HWND log = GetDlgItem(dialog, IDC_LOG);
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(log)) + 1, '\0');
    int length = GetWindowTextA(log, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), static_cast<size_t>(length));
}

std::string AppendedLines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "\r\n" + line;
    return text;
}
