#include "ui/file_chooser.h"

#include "gui_driver.h"
#include "import_hook.h"
#include "standard_dialogs.h"
#include "test_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <commdlg.h>

#include <future>

namespace {

struct ChooserSeen {
    std::string typeText;
    bool found;
};

// Answers the chooser that `owner` opens: types `path` and presses Open, or cancels when
// `path` is empty.
std::future<ChooserSeen> AnswerChooser(HWND owner, const std::string& path) {
    return std::async(std::launch::async, [owner, path] {
        HWND chooser = WaitForDialogOfProcess(GetCurrentProcessId(), owner, 10000);
        if (!chooser)
            return ChooserSeen{"", false};
        ChooserSeen seen{FileDialogTypeText(chooser), true};
        if (path.empty())
            PressButton(chooser, IDCANCEL);
        else
            ChooseInFileDialog(chooser, path);
        return seen;
    });
}

struct ChooseCase {
    const char* filter;
    const char* typeText;
    const char* fileName;
};

TEST(ChooseFile, ReturnsTheChosenExistingFileUnderEachFilter) {
    const ChooseCase cases[] = {
        {kDllFilter, "Dll文件 (*.dll)", "库 文件.dll"},
        {kDefFilter, "声明文件 (*.def)", "声明 文件.def"},
    };
    std::string folder = NewTempFolder("chooser 中文");
    for (const ChooseCase& c : cases) {
        std::string path = folder + "\\" + c.fileName;
        WriteWholeFile(path, "x");
        TestDialog dialog(true);
        std::future<ChooserSeen> seen = AnswerChooser(dialog.handle, path);
        AnsiText chosen = "unchanged";
        EXPECT_TRUE(ChooseFile(dialog.handle, chosen, c.filter)) << c.fileName;
        ChooserSeen chooser = seen.get();
        EXPECT_TRUE(chooser.found);
        EXPECT_EQ(chooser.typeText, c.typeText);
        EXPECT_EQ(chosen, path);
    }
    RemoveProgramFolder(folder);
}

OPENFILENAMEA g_request;
std::string g_initialName;

BOOL WINAPI RecordRequest(LPOPENFILENAMEA request) {
    g_request = *request;
    g_initialName = request->lpstrFile ? request->lpstrFile : "(no buffer)";
    return FALSE;
}

// The request as the chooser gets it: the record before Windows 2000, no title, no initial
// folder or name, and exactly these flags.
TEST(ChooseFile, AsksForAnExistingFileWithNothingPreset) {
    ImportHook hook("comdlg32.dll", "GetOpenFileNameA", reinterpret_cast<void*>(RecordRequest));
    ASSERT_NE(hook.slot, nullptr);
    for (const char* filter : {kDllFilter, kDefFilter}) {
        TestDialog dialog;
        g_request = {};
        AnsiText chosen = "unchanged";
        EXPECT_FALSE(ChooseFile(dialog.handle, chosen, filter));
        EXPECT_EQ(chosen, "unchanged");
        EXPECT_EQ(g_request.lStructSize, OPENFILENAME_SIZE_VERSION_400A);
        EXPECT_EQ(g_request.hwndOwner, dialog.handle);
        EXPECT_EQ(g_request.lpstrFilter, filter);
        EXPECT_EQ(g_request.lpstrCustomFilter, nullptr);
        EXPECT_EQ(g_request.nFilterIndex, 0u);
        EXPECT_EQ(g_initialName, "");
        EXPECT_EQ(g_request.nMaxFile, static_cast<DWORD>(MAX_PATH_SIZE));
        EXPECT_EQ(g_request.lpstrFileTitle, nullptr);
        EXPECT_EQ(g_request.lpstrInitialDir, nullptr);
        EXPECT_EQ(g_request.lpstrTitle, nullptr);
        EXPECT_EQ(g_request.Flags,
                  static_cast<DWORD>(OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
        EXPECT_EQ(g_request.lpstrDefExt, nullptr);
        EXPECT_EQ(g_request.lpfnHook, nullptr);
        EXPECT_EQ(g_request.lpTemplateName, nullptr);
    }
}

TEST(ChooseFile, CancelLeavesThePathAlone) {
    TestDialog dialog(true);
    std::future<ChooserSeen> seen = AnswerChooser(dialog.handle, "");
    AnsiText chosen = "unchanged";
    EXPECT_FALSE(ChooseFile(dialog.handle, chosen, kDllFilter));
    EXPECT_TRUE(seen.get().found);
    EXPECT_EQ(chosen, "unchanged");
}

} // namespace
