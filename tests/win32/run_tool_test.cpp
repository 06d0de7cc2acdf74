#include "commands/command_lines.h"
#include "resource_ids.h"
#include "runner/run_tool.h"

#include "gui_driver.h"
#include "import_hook.h"
#include "standard_dialogs.h"
#include "test_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <future>

namespace {

std::string FakeCommand(const std::string& mode) {
    return "\"" + FakeToolPath() + "\" " + mode;
}

struct OutputCase {
    const char* mode;
    std::string log;
};

TEST(RunTool, PutsEachOutputLineIntoTheLog) {
    const OutputCase cases[] = {
        {"crlf", AppendedLines({"first\r", "second\r"})},
        {"nul", AppendedLines({"ab", "c"})},
        {"empty_writes", AppendedLines({"ab", "c"})},
        {"long", AppendedLines({std::string(LINE_BUFFER_SIZE - 1, 'x'), "after"})},
        {"gbk", AppendedLines({"已生成：导出函数表", "中文"})},
        {"nothing", ""},
        {"no_final_lf", AppendedLines({"first", "last"})},
        {"stderr", AppendedLines({"out 1", "err 2", "out 3", "err 4"})},
        {"error_exit", AppendedLines({"reading input", "error: no such file"})},
    };
    for (const OutputCase& c : cases) {
        TestDialog dialog;
        EXPECT_EQ(RunTool(dialog.handle, FakeCommand(c.mode)), 0) << c.mode;
        EXPECT_EQ(LogText(dialog.handle), c.log) << c.mode;
    }
}

using ReadFileFunction = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
ReadFileFunction g_realReadFile = nullptr;

// Every other read succeeds with no byte, as a read of a pipe does on Windows when the tool
// wrote zero bytes (Wine drops such writes, so the fake tool alone cannot show it).
BOOL WINAPI ReadFileWithEmptyReads(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                                   LPOVERLAPPED overlapped) {
    static bool emptyNext = false;
    emptyNext = !emptyNext;
    if (emptyNext) {
        *read = 0;
        return TRUE;
    }
    return g_realReadFile(file, buffer, size, read, overlapped);
}

TEST(RunTool, AReadThatDeliversNoByteAddsNothing) {
    ImportHook hook("kernel32.dll", "ReadFile", reinterpret_cast<void*>(ReadFileWithEmptyReads));
    ASSERT_NE(hook.slot, nullptr);
    g_realReadFile = reinterpret_cast<ReadFileFunction>(hook.original);
    TestDialog dialog;
    EXPECT_EQ(RunTool(dialog.handle, FakeCommand("crlf")), 0);
    EXPECT_EQ(LogText(dialog.handle), AppendedLines({"first\r", "second\r"}));
}

using GetStartupInfoFunction = VOID(WINAPI*)(LPSTARTUPINFOA);
GetStartupInfoFunction g_realGetStartupInfo = nullptr;
HANDLE g_ownInput = nullptr;

// This program's start-up information with a pipe as its standard input, and a flag and a show
// state that the tool must not get.
VOID WINAPI StartupWithPipeInput(LPSTARTUPINFOA startup) {
    g_realGetStartupInfo(startup);
    startup->hStdInput = g_ownInput;
    startup->dwFlags |= STARTF_USEPOSITION;
    startup->wShowWindow = SW_SHOWMAXIMIZED;
}

TEST(RunTool, StartsTheToolHiddenWithThisProgramsStandardInput) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&g_ownInput, &writeEnd, &inheritable, 0));
    DWORD written = 0;
    WriteFile(writeEnd, "own input", 9, &written, nullptr);
    {
        ImportHook hook("kernel32.dll", "GetStartupInfoA",
                        reinterpret_cast<void*>(StartupWithPipeInput));
        ASSERT_NE(hook.slot, nullptr);
        g_realGetStartupInfo = reinterpret_cast<GetStartupInfoFunction>(hook.original);
        TestDialog dialog;
        EXPECT_EQ(RunTool(dialog.handle, FakeCommand("startup")), 0);
        // STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW, SW_HIDE
        EXPECT_EQ(LogText(dialog.handle), AppendedLines({"flags 101 show 0 stdin 'own input'"}));
    }
    CloseHandle(g_ownInput);
    CloseHandle(writeEnd);
}

HWND g_watchedDialog = nullptr;
std::string g_holdFile;

// Before each read, looks at the log: once the tool's line is there, lets the holding tool go.
BOOL WINAPI ReadFileReleasingTheTool(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                                     LPOVERLAPPED overlapped) {
    if (LogText(g_watchedDialog) == AppendedLines({"held line"}))
        DeleteFileA(g_holdFile.c_str());
    return g_realReadFile(file, buffer, size, read, overlapped);
}

// The fake tool prints its line and holds until the line is in the log; were it let go only by
// its own time limit, it would say so.
TEST(RunTool, PutsALineIntoTheLogWhileTheToolStillRuns) {
    std::string folder = NewTempFolder("held");
    std::string tool = folder + "\\Lib.exe";
    ASSERT_TRUE(CopyTo(FakeToolPath(), tool));
    WriteWholeFile(tool + ".out", "held line\n");
    g_holdFile = tool + ".hold";
    WriteWholeFile(g_holdFile, "");
    {
        ImportHook hook("kernel32.dll", "ReadFile",
                        reinterpret_cast<void*>(ReadFileReleasingTheTool));
        ASSERT_NE(hook.slot, nullptr);
        g_realReadFile = reinterpret_cast<ReadFileFunction>(hook.original);
        TestDialog dialog;
        g_watchedDialog = dialog.handle;
        EXPECT_EQ(RunTool(dialog.handle, "\"" + tool + "\" x.def"), 0);
        EXPECT_EQ(LogText(dialog.handle), AppendedLines({"held line"}));
    }
    RemoveProgramFolder(folder);
}

TEST(RunTool, WaitsForAGrandchildThatHoldsThePipe) {
    TestDialog dialog;
    EXPECT_EQ(RunTool(dialog.handle, FakeCommand("grandchild")), 0);
    EXPECT_EQ(LogText(dialog.handle), AppendedLines({"tool done", "grandchild line"}));
}

TEST(RunTool, HandsTheCommandLineOverUnchanged) {
    std::string folder = NewTempFolder("run tool 中文");
    std::string tool = folder + "\\qen_impdef.exe";
    ASSERT_TRUE(CopyTo(FakeToolPath(), tool));
    const CommandLine commands[] = {
        BuildImpdefCommand(tool, "C:\\my files\\导出.dll", "C:\\my files\\导出.def", false),
        BuildImpdefCommand(tool, "C:\\x\\foo.dll", "C:\\x\\foo.def", true),
        BuildLibCommand(tool, "C:\\my files\\导出.def"),
    };
    std::string expected;
    for (const CommandLine& command : commands) {
        TestDialog dialog;
        EXPECT_EQ(RunTool(dialog.handle, command), 0);
        EXPECT_EQ(LogText(dialog.handle), "");
        expected += command + "\n";
    }
    EXPECT_EQ(ReadWholeFile(tool + ".cmdline"), expected);
    RemoveProgramFolder(folder);
}

TEST(RunTool, AFileThatIsNoProgramGivesTheErrorBoxWithTheCommandLine) {
    std::string folder = NewTempFolder("not a program 中文");
    std::string tool = folder + "\\qen_impdef.exe";
    WriteWholeFile(tool, "this is text, not a program\r\n");
    CommandLine command = BuildImpdefCommand(tool, "C:\\x\\foo.dll", "C:\\x\\foo.def", false);
    TestDialog dialog;
    // The box runs its own modal loop on this thread; another thread reads and closes it.
    std::future<MessageBoxSeen> seen = std::async(std::launch::async, [&dialog] {
        HWND box = WaitForDialogOfProcess(GetCurrentProcessId(), dialog.handle, 10000);
        MessageBoxSeen read = box ? ReadMessageBox(box) : MessageBoxSeen{};
        if (box)
            PressButton(box, IDOK);
        return read;
    });
    EXPECT_EQ(RunTool(dialog.handle, command), -1);
    MessageBoxSeen box = seen.get();
    EXPECT_EQ(box.caption, "运行程序出错");
    EXPECT_EQ(box.text, command);
    EXPECT_TRUE(box.onlyOkButton);
    EXPECT_EQ(box.icon, LoadIconA(nullptr, IDI_HAND));
    EXPECT_EQ(LogText(dialog.handle), "");
    RemoveProgramFolder(folder);
}

BOOL WINAPI FailingCreatePipe(PHANDLE, PHANDLE, LPSECURITY_ATTRIBUTES, DWORD) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return FALSE;
}

TEST(RunTool, APipeThatCannotBeMadeGivesTheLogLineAndStartsNothing) {
    std::string folder = NewTempFolder("no pipe");
    std::string tool = folder + "\\Lib.exe";
    ASSERT_TRUE(CopyTo(FakeToolPath(), tool));
    TestDialog dialog;
    {
        ImportHook hook("kernel32.dll", "CreatePipe", reinterpret_cast<void*>(FailingCreatePipe));
        ASSERT_NE(hook.slot, nullptr);
        EXPECT_EQ(RunTool(dialog.handle, "\"" + tool + "\" /DEF:\"x.def\" /MACHINE:IX86"), -1);
    }
    EXPECT_EQ(LogText(dialog.handle), AppendedLines({"创建管道Pipe出错"}));
    EXPECT_EQ(ReadWholeFile(tool + ".cmdline"), "");
    RemoveProgramFolder(folder);
}

// The handles open in this process, found by asking about every small handle value (the
// system's own count is not available everywhere).
int OpenHandleCount() {
    int count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

// Runs the command while another thread presses OK on the error box it gives.
int RunToolAnsweringTheErrorBox(HWND dialog, const CommandLine& command) {
    std::future<void> closer = std::async(std::launch::async, [dialog] {
        HWND box = WaitForDialogOfProcess(GetCurrentProcessId(), dialog, 10000);
        if (box)
            PressButton(box, IDOK);
    });
    int result = RunTool(dialog, command);
    closer.get();
    return result;
}

// Runs that start a tool, and one that cannot, leave the handle count as it was.
TEST(RunTool, ClosesEveryHandleItOpened) {
    std::string folder = NewTempFolder("handles");
    CommandLine notAProgram = "\"" + folder + "\\qen_impdef.exe\"";
    WriteWholeFile(folder + "\\qen_impdef.exe", "text");
    TestDialog dialog;
    // First runs of each kind may load what stays loaded.
    EXPECT_EQ(RunTool(dialog.handle, FakeCommand("crlf")), 0);
    RunToolAnsweringTheErrorBox(dialog.handle, notAProgram);
    int before = OpenHandleCount();
    for (const char* mode : {"crlf", "grandchild", "error_exit", "nothing"})
        EXPECT_EQ(RunTool(dialog.handle, FakeCommand(mode)), 0) << mode;
    EXPECT_EQ(OpenHandleCount(), before) << "after runs that started the tool";
    EXPECT_EQ(RunToolAnsweringTheErrorBox(dialog.handle, notAProgram), -1);
    EXPECT_EQ(OpenHandleCount(), before) << "after a run that could not start";
    RemoveProgramFolder(folder);
}

} // namespace
