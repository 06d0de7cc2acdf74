// The real Morvane.exe, started and read from outside as a user's second program would.
#include "gui_driver.h"
#include "resource_ids.h"
#include "standard_dialogs.h"

#include <gtest/gtest.h>

namespace {

const std::string kMorvaneExe = WindowsPathOf(MORVANE_EXE);

// The usage note as the executable carries it.
std::string UsageNoteOf(const std::string& exePath) {
    HMODULE image = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) {
        return "";
    }
    std::string note;
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(IDR_USAGE_NOTE), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(image, resource) : nullptr;
    if (loaded != nullptr) {
        note.assign(static_cast<const char*>(LockResource(loaded)),
                    SizeofResource(image, resource));
    }
    FreeLibrary(image);
    return note;
}

// One program for the checks that leave it running.
class RunningDialog : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = MakeProgramFolder(kMorvaneExe, {});
        ASSERT_FALSE(folder_.empty());
        ASSERT_TRUE(StartProgram(folder_ + "\\Morvane.exe", program_));
    }
    static void TearDownTestSuite() {
        StopProgram(program_);
        RemoveProgramFolder(folder_);
    }
    void SetUp() override { ASSERT_NE(program_.dialog, nullptr); }

    HWND Item(int id) { return GetDlgItem(program_.dialog, id); }

    static std::string folder_;
    static RunningProgram program_;
};

std::string RunningDialog::folder_;
RunningProgram RunningDialog::program_;

// Runs first, before any test has sent the dialog a message.
TEST_F(RunningDialog, StartsWithTheFocusOnTheMakeDefButton) {
    EXPECT_EQ(FocusedWindowIn(program_.dialog), Item(IDC_MAKE_DEF));
}

TEST_F(RunningDialog, IsADialogCaptionedWithTheProgramNameThatCannotBeMaximisedOrResized) {
    EXPECT_EQ(ClassNameOf(program_.dialog), "#32770");
    std::string caption;
    ASSERT_TRUE(ReadWindowText(program_.dialog, caption));
    EXPECT_EQ(caption, "Morvane V1.0");
    LONG style = GetWindowLongA(program_.dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
}

TEST_F(RunningDialog, HasTheEightControlsInTemplateOrder) {
    struct Expected {
        int id;
        const char* className;
        const char* text; // nullptr: the credit line, whose wording is free but not empty
    };
    const std::string note = UsageNoteOf(kMorvaneExe);
    const Expected expected[] = {
        {IDC_MAKE_DEF, "Button", "导出*.def 文件"},
        {IDC_MAKE_LIB, "Button", "生成*.lib 文件"},
        {IDC_DLL_PATH, "Edit", ""},
        {IDC_DEF_PATH, "Edit", ""},
        {IDC_LOG, "Edit", note.c_str()},
        {IDC_WEB_LINK, "Static", "#100"},
        {IDC_CREDIT, "Static", nullptr},
        {IDC_NAMES_ONLY, "Button", "只导出函数名称（无函数序号）"},
    };
    std::vector<ControlInfo> controls;
    ASSERT_TRUE(ListControls(program_.dialog, controls));
    ASSERT_EQ(controls.size(), std::size(expected));
    for (size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(controls[i].id, expected[i].id);
        EXPECT_EQ(controls[i].className, expected[i].className);
        if (expected[i].text != nullptr) {
            EXPECT_EQ(controls[i].text, expected[i].text);
        } else {
            EXPECT_FALSE(controls[i].text.empty());
            EXPECT_EQ(controls[i].text.find_first_of("\r\n"), std::string::npos);
        }
    }
}

TEST_F(RunningDialog, ShowsTheLinkBitmapAndAnUncheckedCheckBox) {
    LRESULT bitmap = 0;
    ASSERT_TRUE(SendWithTimeout(Item(IDC_WEB_LINK), STM_GETIMAGE, IMAGE_BITMAP, 0,
                                kDefaultTimeoutMs, &bitmap));
    EXPECT_NE(bitmap, 0);
    LRESULT check = -1;
    ASSERT_TRUE(
        SendWithTimeout(Item(IDC_NAMES_ONLY), BM_GETCHECK, 0, 0, kDefaultTimeoutMs, &check));
    EXPECT_EQ(check, BST_UNCHECKED);
}

TEST_F(RunningDialog, TabVisitsTheSixTabStopsWithTheCheckBoxLast) {
    const int order[] = {IDC_MAKE_DEF, IDC_MAKE_LIB,   IDC_DLL_PATH, IDC_DEF_PATH,
                         IDC_LOG,      IDC_NAMES_ONLY, IDC_MAKE_DEF};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        HWND next = GetNextDlgTabItem(program_.dialog, Item(order[i]), FALSE);
        EXPECT_EQ(GetDlgCtrlID(next), order[i + 1]) << "after " << order[i];
    }
    HWND previous = GetNextDlgTabItem(program_.dialog, Item(IDC_MAKE_DEF), TRUE);
    EXPECT_EQ(GetDlgCtrlID(previous), IDC_NAMES_ONLY);
}

TEST_F(RunningDialog, LogHoldsExactlyTheUsageNoteBytes) {
    std::string note = UsageNoteOf(kMorvaneExe);
    ASSERT_FALSE(note.empty());
    std::string log;
    ASSERT_TRUE(ReadControlText(program_.dialog, IDC_LOG, log));
    EXPECT_EQ(log, note);
}

TEST_F(RunningDialog, CommandsOfNoHandledControlLeaveTheDialogOpenAndUnchanged) {
    struct Command {
        int id;
        int notification;
    };
    const Command commands[] = {
        {IDOK, BN_CLICKED},           {IDCANCEL, BN_CLICKED},    {IDC_LOG, EN_SETFOCUS},
        {IDC_LOG, EN_CHANGE},         {IDC_LOG, EN_VSCROLL},     {IDC_LOG, EN_KILLFOCUS},
        {IDC_DLL_PATH, EN_SETFOCUS},  {IDC_DLL_PATH, EN_UPDATE}, {IDC_DEF_PATH, EN_CHANGE},
        {IDC_DEF_PATH, EN_KILLFOCUS}, {IDC_CREDIT, STN_CLICKED},
    };
    std::string noteBefore;
    ASSERT_TRUE(ReadControlText(program_.dialog, IDC_LOG, noteBefore));
    for (const Command& command : commands) {
        SCOPED_TRACE("id " + std::to_string(command.id) + ", notification " +
                     std::to_string(command.notification));
        ASSERT_TRUE(SendCommand(program_.dialog, command.id, command.notification));
        EXPECT_TRUE(IsRunning(program_));
        EXPECT_TRUE(IsWindowVisible(program_.dialog));
        std::string log, dllPath, defPath;
        ASSERT_TRUE(ReadControlText(program_.dialog, IDC_LOG, log));
        ASSERT_TRUE(ReadControlText(program_.dialog, IDC_DLL_PATH, dllPath));
        ASSERT_TRUE(ReadControlText(program_.dialog, IDC_DEF_PATH, defPath));
        EXPECT_EQ(log, noteBefore);
        EXPECT_EQ(dllPath, "");
        EXPECT_EQ(defPath, "");
    }
}

TEST_F(RunningDialog, ResizeMessagesLeaveTheDialogAsItWas) {
    RECT before, after;
    ASSERT_TRUE(GetWindowRect(program_.dialog, &before));
    ASSERT_TRUE(SendWithTimeout(program_.dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10)));
    ASSERT_TRUE(GetWindowRect(program_.dialog, &after));
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_TRUE(IsRunning(program_));
}

// Each case starts its own program, does something first, then closes it.
struct CloseCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    int commandBefore; // a WM_COMMAND ID sent before closing, or 0
};

class ClosingTheDialog : public testing::TestWithParam<CloseCase> {};

TEST_P(ClosingTheDialog, EndsTheProcessWithExitCodeZero) {
    const CloseCase& closeCase = GetParam();
    std::string folder = MakeProgramFolder(kMorvaneExe, {});
    ASSERT_FALSE(folder.empty());
    RunningProgram program;
    ASSERT_TRUE(StartProgram(folder + "\\Morvane.exe", program));
    if (closeCase.commandBefore != 0) {
        EXPECT_TRUE(SendCommand(program.dialog, closeCase.commandBefore, BN_CLICKED));
    }
    EXPECT_TRUE(PostMessageA(program.dialog, closeCase.message, closeCase.wParam, 0));
    DWORD exitCode = 1234;
    EXPECT_TRUE(WaitForExit(program, kDefaultTimeoutMs, exitCode));
    EXPECT_EQ(exitCode, 0u);
    StopProgram(program);
    EXPECT_TRUE(RemoveProgramFolder(folder));
}

INSTANTIATE_TEST_SUITE_P(CloseRequests, ClosingTheDialog,
                         testing::Values(CloseCase{"WmClose", WM_CLOSE, 0, 0},
                                         CloseCase{"CloseBoxOfTheSystemMenu", WM_SYSCOMMAND,
                                                   SC_CLOSE, 0},
                                         CloseCase{"WmCloseAfterEscape", WM_CLOSE, 0, IDCANCEL}),
                         [](const testing::TestParamInfo<CloseCase>& closeCase) {
                             return std::string(closeCase.param.name);
                         });

// A dialog template whose one control is of a class nobody registered: no dialog can be made
// from it.
std::vector<WORD> TemplateThatCannotLoad() {
    // Style, extended style, one item, place and size, no menu, the standard class, no title.
    std::vector<WORD> words = {
        LOWORD(WS_POPUP), HIWORD(WS_POPUP), 0, 0, 1, 0, 0, 100, 100, 0, 0, 0};
    // The item: style, extended style, place and size, ID, class name, no title, no data.
    const WORD item[] = {
        LOWORD(WS_CHILD | WS_VISIBLE), HIWORD(WS_CHILD | WS_VISIBLE), 0, 0, 0, 0, 10, 10, 1};
    words.insert(words.end(), std::begin(item), std::end(item));
    for (char c : "NoSuchClass")
        words.push_back(static_cast<WORD>(c));
    words.insert(words.end(), {0, 0});
    return words;
}

// A copy of the program whose dialog template cannot load cannot show its dialog: it says so
// and does not end with the exit code of success.
TEST(StartingWithABrokenDialogTemplate, TellsTheUserAndEndsWithAnErrorCode) {
    std::string folder = MakeProgramFolder(kMorvaneExe, {});
    ASSERT_FALSE(folder.empty());
    const std::string exe = folder + "\\Morvane.exe";
    std::vector<WORD> broken = TemplateThatCannotLoad();
    HANDLE update = BeginUpdateResourceA(exe.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceA(update, RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), broken.data(),
                                static_cast<DWORD>(broken.size() * sizeof(WORD))));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    RunningProgram program;
    // The first dialog of the process is then the message box.
    ASSERT_TRUE(StartProgram(exe, program));
    MessageBoxSeen box = ReadMessageBox(program.dialog);
    EXPECT_EQ(box.caption, "启动程序出错");
    EXPECT_EQ(box.text, "无法创建主对话框!");
    EXPECT_TRUE(box.onlyOkButton);
    PressButton(program.dialog, IDOK);
    DWORD exitCode = 0;
    EXPECT_TRUE(WaitForExit(program, kDefaultTimeoutMs, exitCode));
    EXPECT_NE(exitCode, 0u);
    StopProgram(program);
    EXPECT_TRUE(RemoveProgramFolder(folder));
}

} // namespace
