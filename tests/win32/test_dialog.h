// A small modeless dialog with the main dialog's control IDs, for in-process tests.
#pragma once
#define IDD_TEST_DIALOG 2000

#ifndef RC_INVOKED
#include <windows.h>

#include <string>

// Creates the dialog (hidden unless `visible`) and destroys it when it goes out of scope.
struct TestDialog {
    explicit TestDialog(bool visible = false);
    ~TestDialog();
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;
    HWND handle;
};

// The whole text of IDC_LOG.
std::string LogText(HWND dialog);

// The log text that the appends of these lines produce: CR LF before each of them.
std::string AppendedLines(std::initializer_list<std::string> lines);
#endif
