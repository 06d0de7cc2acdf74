// Not a test: how long the real Morvane.exe takes from the click on the chooser's Open button
// to the end of a run whose tool prints 10,000 lines of 60 bytes, over several runs, and
// whether the last line made it into the log.
#include "gui_driver.h"
#include "resource_ids.h"
#include "standard_dialogs.h"
#include "test_files.h"

#include <cstdio>

namespace {

constexpr int kLines = 10000;
constexpr int kRuns = 3;

struct RunFigures {
    DWORD milliseconds;
    size_t logLength;
    bool lastLineInLog;
};

bool MeasureOneRun(const std::string& folder, const std::string& dll, RunFigures& figures) {
    RunningProgram program;
    if (!StartProgram(folder + "\\Morvane.exe", program))
        return false;
    PostCommand(program.dialog, IDC_MAKE_DEF, BN_CLICKED);
    HWND chooser = WaitForDialogOfProcess(program.processId, program.dialog, kDefaultTimeoutMs);
    if (!chooser) {
        StopProgram(program);
        return false;
    }
    DWORD start = GetTickCount();
    ChooseInFileDialog(chooser, dll);
    while (IsWindow(chooser))
        Sleep(1);
    // The dialog answers again once the run has ended and its last line was handed to the log.
    SendWithTimeout(program.dialog, WM_NULL, 0, 0, 600000);
    figures.milliseconds = GetTickCount() - start;
    std::string log;
    ReadControlText(program.dialog, IDC_LOG, log);
    figures.logLength = log.size();
    figures.lastLineInLog =
        log.size() >= 61 && log.substr(log.size() - 61) ==
                                "\r\n" + std::to_string(kLines - 1) + std::string(59 - 4, 'z');
    DWORD exitCode = 0;
    CloseAndWait(program, kDefaultTimeoutMs, exitCode);
    StopProgram(program);
    return true;
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // Each line: its number in 4 digits and 'z' up to 59 bytes, then LF: 60 bytes.
    std::string output;
    for (int i = 0; i < kLines; ++i) {
        char number[8];
        std::snprintf(number, sizeof(number), "%04d", i);
        output += number + std::string(59 - 4, 'z') + "\n";
    }
    std::string folder = NewTempFolder("benchmark");
    CopyTo(WindowsPathOf(MORVANE_EXE), folder + "\\Morvane.exe");
    CopyTo(FakeToolPath(), folder + "\\qen_impdef.exe");
    WriteWholeFile(folder + "\\qen_impdef.exe.out", output);
    std::string dll = folder + "\\input.dll";
    WriteWholeFile(dll, "MZ");

    std::printf("tool output: %d lines of 60 bytes (%zu bytes)\n", kLines, output.size());
    for (int run = 1; run <= kRuns; ++run) {
        RunFigures figures = {};
        if (!MeasureOneRun(folder, dll, figures)) {
            std::printf("run failed\n");
            return 1;
        }
        std::printf("run %d: %lu ms from Open to the end of the run; log %zu bytes, last line %s\n",
                    run, static_cast<unsigned long>(figures.milliseconds), figures.logLength,
                    figures.lastLineInLog ? "in the log" : "missing");
    }
    RemoveProgramFolder(folder);
    return 0;
}
