// The two buttons of the real Morvane.exe, driven from outside: the chooser, the path box, the
// command line the tool gets and the log, with the fake tool standing in for both tools.
#include "commands/command_lines.h"
#include "gui_driver.h"
#include "resource_ids.h"
#include "standard_dialogs.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr DWORD kWaitMs = 20000;

// A program folder with spaces and Chinese characters in its name, holding the program and the
// given files, and the program started from it. The folder's and the program's names hold 乗,
// whose second byte (81 5C) is a backslash: only a search character by character finds the
// program's folder, and with it the tools.
// With files, the program starts as Explorer starts it for files dropped on its icon; the log
// is then not read, since the runs may already have begun.
struct ProgramUnderTest {
    explicit ProgramUnderTest(const std::vector<ExtraFile>& extras,
                              const std::vector<std::string>& files = {})
        : folder(NewTempFolder("程序乗 目录")) {
        const std::string exe = folder + "\\Morvane 乗.exe";
        bool copied = CopyTo(WindowsPathOf(MORVANE_EXE), exe);
        for (const ExtraFile& extra : extras) {
            std::string path = folder + "\\" + extra.name;
            if (extra.sourcePath.empty())
                WriteWholeFile(path, extra.contents);
            else
                copied = copied && CopyTo(extra.sourcePath, path);
        }
        started = copied && StartProgramWithFiles(exe, files, program);
        if (started && files.empty())
            ReadControlText(program.dialog, IDC_LOG, initialLog);
    }
    ~ProgramUnderTest() {
        DWORD exitCode = 0;
        if (started && !CloseAndWait(program, kWaitMs, exitCode))
            ADD_FAILURE() << "the program did not end";
        StopProgram(program);
        RemoveProgramFolder(folder);
    }
    std::string Text(int id) {
        std::string text;
        ReadControlText(program.dialog, id, text);
        return text;
    }
    std::string folder;
    RunningProgram program;
    bool started = false;
    std::string initialLog;
};

// The fake as a tool: it records its command line and prints `output`.
std::vector<ExtraFile> FakeTool(const char* name, const std::string& output) {
    return {{name, FakeToolPath(), ""}, {std::string(name) + ".out", "", output}};
}

// Clicks the button and returns the window it opens, the chooser or a message box, which the
// main dialog must own (nullptr if none opened).
HWND ClickForChooser(ProgramUnderTest& test, int buttonId) {
    HWND opened = ClickForDialog(test.program, buttonId, kWaitMs);
    if (opened) {
        EXPECT_EQ(GetWindow(opened, GW_OWNER), test.program.dialog);
    }
    return opened;
}

void WaitForCommandEnd(ProgramUnderTest& test, HWND opened) {
    WaitForCommandEnd(test.program, opened, 60000);
}

// Reads the log until it holds `expected` or the time is up; returns what it held last.
std::string LogOnceItHolds(ProgramUnderTest& test, const std::string& expected) {
    std::string log = test.Text(IDC_LOG);
    for (DWORD waited = 0; log != expected && waited < kWaitMs; waited += 50) {
        Sleep(50);
        log = test.Text(IDC_LOG);
    }
    return log;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "\r\n" + line;
    return text;
}

const std::string kToolOutput = "Exporting 导出 names\r\nsecond line\nlast line\n";
const std::string kToolLines = Lines({"", "Exporting 导出 names\r", "second line", "last line"});

struct ChosenFile {
    std::string folder;
    std::string name;
    std::string path;
};

ChosenFile MakeInputFile(const char* name) {
    ChosenFile file{NewTempFolder("输入乗 文件"), name, ""};
    file.path = file.folder + "\\" + name;
    WriteWholeFile(file.path, "MZ not really a DLL");
    return file;
}

TEST(MakeDefButton, RunsTheDefinitionToolOnTheChosenDllWithAndWithoutNamesOnly) {
    ProgramUnderTest test(FakeTool("qen_impdef.exe", kToolOutput));
    ASSERT_TRUE(test.started);
    ChosenFile dll = MakeInputFile("我的 库.dll");
    const std::string tool = test.folder + "\\qen_impdef.exe";
    const std::string def = dll.folder + "\\我的 库.def";

    HWND chooser = ClickForChooser(test, IDC_MAKE_DEF);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(FileDialogTypeText(chooser), "Dll文件 (*.dll)");
    BrowseToInFileDialog(chooser, dll.folder, dll.name);
    WaitForCommandEnd(test, chooser);
    EXPECT_EQ(LogOnceItHolds(test, test.initialLog + kToolLines), test.initialLog + kToolLines);
    EXPECT_EQ(test.Text(IDC_DLL_PATH), dll.path);
    EXPECT_EQ(test.Text(IDC_DEF_PATH), "");

    // The check box is read at the click: the next run gets -c.
    SendWithTimeout(GetDlgItem(test.program.dialog, IDC_NAMES_ONLY), BM_SETCHECK, BST_CHECKED, 0);
    chooser = ClickForChooser(test, IDC_MAKE_DEF);
    ASSERT_NE(chooser, nullptr);
    ChooseInFileDialog(chooser, dll.path);
    WaitForCommandEnd(test, chooser);
    const std::string twoRuns = test.initialLog + kToolLines + kToolLines;
    EXPECT_EQ(LogOnceItHolds(test, twoRuns), twoRuns);

    EXPECT_EQ(ReadWholeFile(tool + ".cmdline"), "\"" + tool + "\" \"" + dll.path + "\" -o \"" +
                                                    def + "\"\n" + "\"" + tool + "\" \"" +
                                                    dll.path + "\" -c -o \"" + def + "\"\n");
    // Browsing made the DLL's folder the current one, and the tool inherits it.
    EXPECT_EQ(ReadWholeFile(tool + ".cwd"), dll.folder + "\n" + dll.folder + "\n");
    RemoveProgramFolder(dll.folder);
}

TEST(MakeLibButton, RunsLibOnTheChosenDefinitionFile) {
    ProgramUnderTest test(FakeTool("Lib.exe", kToolOutput));
    ASSERT_TRUE(test.started);
    ChosenFile def = MakeInputFile("我的 库.def");
    const std::string tool = test.folder + "\\Lib.exe";

    HWND chooser = ClickForChooser(test, IDC_MAKE_LIB);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(FileDialogTypeText(chooser), "声明文件 (*.def)");
    BrowseToInFileDialog(chooser, def.folder, def.name);
    WaitForCommandEnd(test, chooser);
    EXPECT_EQ(LogOnceItHolds(test, test.initialLog + kToolLines), test.initialLog + kToolLines);
    EXPECT_EQ(test.Text(IDC_DEF_PATH), def.path);
    EXPECT_EQ(test.Text(IDC_DLL_PATH), "");
    EXPECT_EQ(ReadWholeFile(tool + ".cmdline"),
              "\"" + tool + "\" /DEF:\"" + def.path + "\" " + kLibMachineOption + "\n");
    EXPECT_EQ(ReadWholeFile(tool + ".cwd"), def.folder + "\n");
    RemoveProgramFolder(def.folder);
}

struct ButtonCase {
    int buttonId;
    const char* toolName;
    const char* missingText;
};

const ButtonCase kButtons[] = {
    {IDC_MAKE_DEF, "qen_impdef.exe", "qen_impdef工具在同目录下没找到!"},
    {IDC_MAKE_LIB, "Lib.exe", "Lib工具在同目录下没找到!"},
};

TEST(CommandButtons, CancellingTheChooserChangesNothing) {
    for (const ButtonCase& button : kButtons) {
        ProgramUnderTest test(FakeTool(button.toolName, kToolOutput));
        ASSERT_TRUE(test.started);
        HWND chooser = ClickForChooser(test, button.buttonId);
        ASSERT_NE(chooser, nullptr) << button.toolName;
        PressButton(chooser, IDCANCEL);
        WaitForCommandEnd(test, chooser);
        EXPECT_EQ(test.Text(IDC_LOG), test.initialLog) << button.toolName;
        EXPECT_EQ(test.Text(IDC_DLL_PATH), "");
        EXPECT_EQ(test.Text(IDC_DEF_PATH), "");
        EXPECT_EQ(ReadWholeFile(test.folder + "\\" + button.toolName + ".cmdline"), "");
    }
}

TEST(CommandButtons, AMissingToolGivesTheWarningAndNoChooser) {
    for (const ButtonCase& button : kButtons) {
        // The other tool is there: each button looks for its own.
        const char* otherTool = button.buttonId == IDC_MAKE_DEF ? "Lib.exe" : "qen_impdef.exe";
        ProgramUnderTest test(FakeTool(otherTool, ""));
        ASSERT_TRUE(test.started);
        HWND box = ClickForChooser(test, button.buttonId);
        ASSERT_NE(box, nullptr) << button.toolName;
        MessageBoxSeen seen = ReadMessageBox(box);
        EXPECT_EQ(seen.caption, "Exefile not found");
        EXPECT_EQ(seen.text, button.missingText);
        EXPECT_TRUE(seen.onlyOkButton);
        PressButton(box, IDOK);
        WaitForCommandEnd(test, box);
        EXPECT_EQ(FindDialogOfProcess(test.program.processId, test.program.dialog), nullptr)
            << "a chooser opened after the warning";
        EXPECT_EQ(test.Text(IDC_LOG), test.initialLog);
    }
}

TEST(CommandButtons, AToolThatIsNoProgramGivesTheErrorBoxWithTheCommandLine) {
    ProgramUnderTest test({{"Lib.exe", "", "not a program\r\n"}});
    ASSERT_TRUE(test.started);
    ChosenFile def = MakeInputFile("坏 文件.def");
    HWND chooser = ClickForChooser(test, IDC_MAKE_LIB);
    ASSERT_NE(chooser, nullptr);
    ChooseInFileDialog(chooser, def.path);
    for (DWORD waited = 0; IsWindow(chooser) && waited < kWaitMs; waited += 20)
        Sleep(20);
    HWND box = WaitForDialogOfProcess(test.program.processId, test.program.dialog, kWaitMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), test.program.dialog);
    MessageBoxSeen seen = ReadMessageBox(box);
    EXPECT_EQ(seen.caption, "运行程序出错");
    EXPECT_EQ(seen.text,
              "\"" + test.folder + "\\Lib.exe\" /DEF:\"" + def.path + "\" " + kLibMachineOption);
    EXPECT_TRUE(seen.onlyOkButton);
    PressButton(box, IDOK);
    WaitForCommandEnd(test, box);
    EXPECT_EQ(test.Text(IDC_LOG), test.initialLog + "\r\n");
    EXPECT_EQ(test.Text(IDC_DEF_PATH), def.path);
    RemoveProgramFolder(def.folder);
}

// Clicks the button and answers what opens: cancels the chooser or presses OK on the box.
// Returns "chooser" or the box's text.
std::string ClickAndAnswer(ProgramUnderTest& test, int buttonId) {
    HWND opened = ClickForChooser(test, buttonId);
    if (!opened)
        return "nothing opened";
    const bool isChooser = !FileDialogTypeText(opened).empty();
    const std::string seen = isChooser ? "chooser" : ReadMessageBox(opened).text;
    PressButton(opened, isChooser ? IDCANCEL : IDOK);
    WaitForCommandEnd(test, opened);
    return seen;
}

TEST(CommandButtons, TheToolIsLookedForAtEveryClick) {
    for (const ButtonCase& button : kButtons) {
        ProgramUnderTest test(FakeTool(button.toolName, ""));
        ASSERT_TRUE(test.started);
        const std::string tool = test.folder + "\\" + button.toolName;
        EXPECT_EQ(ClickAndAnswer(test, button.buttonId), "chooser") << button.toolName;
        ASSERT_TRUE(DeleteFileA(tool.c_str()));
        EXPECT_EQ(ClickAndAnswer(test, button.buttonId), button.missingText);
        ASSERT_TRUE(CopyTo(FakeToolPath(), tool));
        EXPECT_EQ(ClickAndAnswer(test, button.buttonId), "chooser") << button.toolName;
    }
}

// The tool holds after its output until the test lets it go. Meanwhile the dialog handles
// nothing (it reads the tool's output), and a click made then is handled once the run has ended.
TEST(CommandButtons, AClickDuringARunIsHandledAfterIt) {
    ProgramUnderTest test(FakeTool("qen_impdef.exe", kToolOutput));
    ASSERT_TRUE(test.started);
    const std::string tool = test.folder + "\\qen_impdef.exe";
    WriteWholeFile(tool + ".hold", "");
    ChosenFile dll = MakeInputFile("我的 库.dll");
    HWND chooser = ClickForChooser(test, IDC_MAKE_DEF);
    ASSERT_NE(chooser, nullptr);
    ChooseInFileDialog(chooser, dll.path);
    for (DWORD waited = 0; ReadWholeFile(tool + ".cmdline").empty() && waited < kWaitMs;
         waited += 20)
        Sleep(20);
    // Lib.exe is missing: its warning shows once the click is handled.
    PostCommand(test.program.dialog, IDC_MAKE_LIB, BN_CLICKED);
    Sleep(500);
    EXPECT_EQ(FindDialogOfProcess(test.program.processId, test.program.dialog), nullptr)
        << "the click was handled during the run";
    DeleteFileA((tool + ".hold").c_str());
    HWND box = WaitForDialogOfProcess(test.program.processId, test.program.dialog, kWaitMs);
    ASSERT_NE(box, nullptr) << "the click was lost";
    EXPECT_EQ(ReadMessageBox(box).text, "Lib工具在同目录下没找到!");
    PressButton(box, IDOK);
    WaitForCommandEnd(test, box);
    // The tool was let go by the test, not by its own time limit.
    EXPECT_EQ(test.Text(IDC_LOG), test.initialLog + kToolLines);
    RemoveProgramFolder(dll.folder);
}

// The usage note as the program carries it: the whole log before any run.
std::string UsageNote() {
    HMODULE program =
        LoadLibraryExA(WindowsPathOf(MORVANE_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(IDR_USAGE_NOTE), RT_RCDATA);
    std::string note(static_cast<const char*>(LockResource(LoadResource(program, found))),
                     SizeofResource(program, found));
    FreeLibrary(program);
    return note;
}

// Files dropped on the program's icon: Explorer starts it with their quoted paths. The first
// run holds until the test lets it go, and by then the dialog must be on the screen.
TEST(DroppedOnTheIcon, TheFilesRunInOrderOnceTheDialogShows) {
    const std::vector<std::vector<std::string>> cases = {{"我的 库.dll"}, {"乗 a.dll", "乗 b.def"}};
    const std::string note = UsageNote();
    ASSERT_FALSE(note.empty());
    for (const std::vector<std::string>& names : cases) {
        const std::string input = NewTempFolder("输入乗 文件");
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            paths.push_back(input + "\\" + name);
            WriteWholeFile(paths.back(), "MZ not really a DLL");
        }
        std::vector<ExtraFile> tools = FakeTool("qen_impdef.exe", kToolOutput);
        for (const ExtraFile& lib : FakeTool("Lib.exe", kToolOutput))
            tools.push_back(lib);
        tools.push_back({"qen_impdef.exe.hold", "", ""});
        ProgramUnderTest test(tools, paths);
        ASSERT_TRUE(test.started) << names.size();
        const std::string impdef = test.folder + "\\qen_impdef.exe";
        const std::string lib = test.folder + "\\Lib.exe";
        for (DWORD waited = 0; ReadWholeFile(impdef + ".cmdline").empty() && waited < kWaitMs;
             waited += 20)
            Sleep(20);
        EXPECT_TRUE(IsWindowVisible(test.program.dialog)) << "a run began before the dialog showed";
        DeleteFileA((impdef + ".hold").c_str());

        std::string runs = kToolLines;
        std::string libLines;
        if (names.size() == 2) {
            runs += kToolLines;
            libLines = "\"" + lib + "\" /DEF:\"" + paths[1] + "\" " + kLibMachineOption + "\n";
        }
        EXPECT_EQ(LogOnceItHolds(test, note + runs), note + runs);
        EXPECT_EQ(ReadWholeFile(impdef + ".cmdline"),
                  "\"" + impdef + "\" \"" + paths[0] + "\" -o \"" + input + "\\" +
                      names[0].substr(0, names[0].size() - 3) + "def\"\n");
        EXPECT_EQ(ReadWholeFile(lib + ".cmdline"), libLines);
        EXPECT_EQ(test.Text(IDC_DLL_PATH), paths[0]);
        EXPECT_EQ(test.Text(IDC_DEF_PATH), names.size() == 2 ? paths[1] : "");
        RemoveProgramFolder(input);
    }
}

} // namespace
