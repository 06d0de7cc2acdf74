#include "ui/file_chooser.h"

#include "gui_driver.h"
#include "standard_dialogs.h"
#include "test_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

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

TEST(ChooseFile, CancelLeavesThePathAlone) {
    TestDialog dialog(true);
    std::future<ChooserSeen> seen = AnswerChooser(dialog.handle, "");
    AnsiText chosen = "unchanged";
    EXPECT_FALSE(ChooseFile(dialog.handle, chosen, kDllFilter));
    EXPECT_TRUE(seen.get().found);
    EXPECT_EQ(chosen, "unchanged");
}

} // namespace
