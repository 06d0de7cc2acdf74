// Every message box of the program, caught at the call: its owner, text, caption and exact
// style, so that a flag added to or dropped from any of them shows.
#include "commands/make_commands.h"
#include "runner/run_tool.h"
#include "ui/main_dialog.h"

#include "gui_driver.h"
#include "import_hook.h"
#include "test_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {

struct BoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    int count;
};
BoxCall g_box;

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    g_box = {owner, text ? text : "(null)", caption ? caption : "(null)", style, g_box.count + 1};
    return IDOK;
}

struct BoxCase {
    const char* what;
    void (*show)(HWND dialog, const CommandLine& notAProgram);
    bool ownedByDialog; // otherwise no owner
    const char* text;   // nullptr: the command line that could not start
    const char* caption;
    UINT style;
};

// The tools are not beside the test program, and this program has no main dialog template.
const BoxCase kBoxes[] = {
    {"definition tool missing", [](HWND dialog, const CommandLine&) { MakeDefFile(dialog); }, true,
     "qen_impdef工具在同目录下没找到!", "Exefile not found", MB_OK | MB_ICONWARNING},
    {"Lib missing", [](HWND dialog, const CommandLine&) { MakeLibFile(dialog); }, true,
     "Lib工具在同目录下没找到!", "Exefile not found", MB_OK | MB_ICONWARNING},
    {"tool cannot start",
     [](HWND dialog, const CommandLine& command) { EXPECT_EQ(RunTool(dialog, command), -1); }, true,
     nullptr, "运行程序出错", MB_OK | MB_ICONERROR},
    {"main dialog cannot be made",
     [](HWND, const CommandLine&) {
         LoadProgramGlobals();
         EXPECT_EQ(RunMainDialog(), 1) << "the start-up failure's exit code";
     },
     false, "无法创建主对话框!", "启动程序出错", MB_OK | MB_ICONERROR},
};

TEST(MessageBoxes, EachHasItsOwnerTextCaptionAndExactStyle) {
    std::string folder = NewTempFolder("boxes 中文");
    WriteWholeFile(folder + "\\Lib.exe", "text, not a program");
    const CommandLine notAProgram = "\"" + folder + "\\Lib.exe\" /DEF:\"x.def\"";
    ImportHook hook("user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordMessageBox));
    ASSERT_NE(hook.slot, nullptr);
    for (const BoxCase& c : kBoxes) {
        TestDialog dialog;
        g_box = {};
        c.show(dialog.handle, notAProgram);
        EXPECT_EQ(g_box.count, 1) << c.what;
        EXPECT_EQ(g_box.owner, c.ownedByDialog ? dialog.handle : nullptr) << c.what;
        EXPECT_EQ(g_box.text, c.text ? c.text : notAProgram) << c.what;
        EXPECT_EQ(g_box.caption, c.caption) << c.what;
        EXPECT_EQ(g_box.style, c.style) << c.what;
    }
    RemoveProgramFolder(folder);
}

} // namespace
