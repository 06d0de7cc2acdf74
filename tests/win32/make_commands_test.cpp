#include "commands/make_commands.h"

#include "commands/command_lines.h"
#include "resource_ids.h"

#include "gui_driver.h"
#include "standard_dialogs.h"
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <future>

namespace {

struct MissingToolCase {
    void (*command)(DialogHandle);
    const char* toolName;
    const char* text;
};

// The tools are not beside the test program, so each command stops at its warning box. Read
// in-process, the box's icon can be compared with the system's warning icon.
TEST(MakeCommands, AMissingToolGivesTheWarningBoxAndNothingElse) {
    const MissingToolCase cases[] = {
        {MakeDefFile, "\\qen_impdef.exe", "qen_impdef工具在同目录下没找到!"},
        {MakeLibFile, "\\Lib.exe", "Lib工具在同目录下没找到!"},
    };
    for (const MissingToolCase& c : cases) {
        ASSERT_FALSE(FileExists(GetProgramDir() + c.toolName));
        TestDialog dialog;
        std::future<std::pair<MessageBoxSeen, HWND>> seen =
            std::async(std::launch::async, [&dialog] {
                DWORD self = GetCurrentProcessId();
                HWND box = WaitForDialogOfProcess(self, dialog.handle, 10000);
                MessageBoxSeen read = box ? ReadMessageBox(box) : MessageBoxSeen{};
                if (box)
                    PressButton(box, IDOK);
                // Whatever opens after the box (a chooser would) is answered and reported.
                for (DWORD waited = 0; box && IsWindow(box) && waited < 10000; waited += 20)
                    Sleep(20);
                HWND next = WaitForDialogOfProcess(self, dialog.handle, 1000);
                if (next)
                    PressButton(next, IDCANCEL);
                return std::make_pair(read, next);
            });
        c.command(dialog.handle);
        std::pair<MessageBoxSeen, HWND> result = seen.get();
        EXPECT_EQ(result.first.caption, "Exefile not found") << c.toolName;
        EXPECT_EQ(result.first.text, c.text);
        EXPECT_TRUE(result.first.onlyOkButton);
        EXPECT_EQ(result.first.icon, LoadIconA(nullptr, IDI_EXCLAMATION));
        EXPECT_EQ(result.second, nullptr) << "a chooser opened after the warning";
        EXPECT_EQ(LogText(dialog.handle), "");
        EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog.handle, IDC_DLL_PATH)), 0);
        EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog.handle, IDC_DEF_PATH)), 0);
    }
}

} // namespace
