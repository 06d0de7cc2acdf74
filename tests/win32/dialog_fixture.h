// The main dialog created modeless in this process, from the resources linked into the test
// program, with the globals set as start-up sets them.
#pragma once
#include "resource_ids.h"
#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

class OpenDialog : public testing::Test {
  protected:
    void SetUp() override {
        InitCommonControls();
        LoadProgramGlobals();
        dialog_ =
            CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(dialog_);
        LoadProgramGlobals();
    }

    std::string LogText() const {
        HWND log = GetDlgItem(dialog_, IDC_LOG);
        std::string text(static_cast<size_t>(GetWindowTextLengthA(log)) + 1, '\0');
        text.resize(
            static_cast<size_t>(GetWindowTextA(log, &text[0], static_cast<int>(text.size()))));
        return text;
    }

    HWND dialog_ = nullptr;
};
