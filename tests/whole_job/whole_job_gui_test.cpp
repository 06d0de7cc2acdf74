// The whole job as a user does it, through the real window with the real tools beside it:
// "导出*.def 文件" on a DLL with cdecl, stdcall, fastcall, data and ordinal-only exports,
// then "生成*.lib 文件" on the .def as it came out (qen_impdef finds the stdcall decoration
// itself). The check script around this program builds the DLL first and afterwards links and
// runs a Visual-C++-style program against the import library that came out.
#include "gui_driver.h"
#include "morvane.h"
#include "standard_dialogs.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A minute for each step; MORVANE_SLOW_WINE=1 (Wine under qemu's emulation, where every
// process start costs a minute or more of CPU) allows ten.
const DWORD kWaitMs = std::getenv("MORVANE_SLOW_WINE") ? 600000 : 60000;

std::string Text(HWND dialog, int id) {
    std::string text;
    EXPECT_TRUE(ReadControlText(dialog, id, text, kWaitMs)) << "control " << id;
    return text;
}

// Clicks the button, chooses `path` in the open-file dialog that opens and waits until the
// tool's run has ended.
void RunCommandOn(const RunningProgram& program, int buttonId, const std::string& path) {
    HWND chooser = ClickForDialog(program, buttonId, kWaitMs);
    ASSERT_NE(chooser, nullptr) << "no open-file dialog for button " << buttonId;
    ChooseInFileDialog(chooser, path);
    ASSERT_TRUE(WaitForCommandEnd(program, chooser, kWaitMs));
}

// What qen_impdef says depends on the DLL, which the check script builds for MORVANE_MACHINE:
// a 64-bit one in the 64-bit twin's checks, which qen_impdef points out and does not examine.
// The pictures in docs/ show a 32-bit DLL in the twin too.
bool DllIs64Bit() {
    const char* machine = std::getenv("MORVANE_MACHINE");
    return machine ? std::string(machine) == "x64" : sizeof(void*) == 8;
}

std::string Counts() {
    // qen_impdef finds the stdcall function's decoration (8 bytes of parameters) in its code.
    return DllIs64Bit()
               ? "5 exports (1 data, 1 ordinal only, 0 forwarded)"
               : "5 exports (1 data, 1 ordinal only, 0 forwarded, 1 stdcall decorated, 0 unknown)";
}

std::string SummaryEnd() {
    return DllIs64Bit() ? "; warning: this is a 64-bit DLL, which an x86 import library cannot load"
                        : "";
}

std::string MultiplyLine() {
    return DllIs64Bit() ? "multiply @2\r\n" : "_multiply@8 @2 ; stdcall";
}

// With MORVANE_SCREENSHOT_MARKER set, the dialog stays up until the check script has taken
// its picture: the marker file is written, and the script deletes it when done.
void HoldForScreenshot() {
    const char* marker = std::getenv("MORVANE_SCREENSHOT_MARKER");
    if (!marker)
        return;
    const std::string path = WindowsPathOf(marker);
    WriteWholeFile(path, "ready");
    for (DWORD waited = 0;
         GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && waited < kWaitMs;
         waited += 100)
        Sleep(100);
}

TEST(WholeJob, BothButtonsTurnADllIntoAnImportLibrary) {
    const char* workDir = std::getenv("MORVANE_WHOLE_JOB_DIR");
    ASSERT_NE(workDir, nullptr) << "run through whole_job_check.sh";
    const std::string work = WindowsPathOf(workDir);
    const std::string dll = work + "\\testdll.dll";
    const std::string def = work + "\\testdll.def";
    const std::string lib = work + "\\testdll.lib";

    // MORVANE_PROGRAM_DIR: the program and its tools as they lie there, e.g. an unpacked
    // release; otherwise the build's, gathered in a folder of their own.
    const char* programDir = std::getenv("MORVANE_PROGRAM_DIR");
    std::string folder;
    if (programDir)
        folder = WindowsPathOf(programDir);
    else
        folder = MakeProgramFolder(WindowsPathOf(MORVANE_EXE),
                                   {{"qen_impdef.exe", WindowsPathOf(IMPDEF_EXE), ""},
                                    {"Lib.exe", WindowsPathOf(LIB_EXE), ""}});
    ASSERT_FALSE(folder.empty());
    RunningProgram program;
    ASSERT_TRUE(StartProgram(folder + "\\Morvane.exe", program));
    const std::string note = Text(program.dialog, IDC_LOG);

    RunCommandOn(program, IDC_MAKE_DEF, dll);
    EXPECT_EQ(Text(program.dialog, IDC_DLL_PATH), dll);
    const std::string afterDef =
        note + "\r\n\r\n" + dll + ": " + Counts() + " -> " + def + SummaryEnd();
    EXPECT_EQ(Text(program.dialog, IDC_LOG), afterDef);
    ASSERT_NE(ReadWholeFile(def).find(MultiplyLine()), std::string::npos) << ReadWholeFile(def);

    // The .def goes to Lib as qen_impdef wrote it, unedited.
    RunCommandOn(program, IDC_MAKE_LIB, def);
    EXPECT_EQ(Text(program.dialog, IDC_DEF_PATH), def);
    const std::string log = Text(program.dialog, IDC_LOG);
    EXPECT_EQ(log.substr(0, afterDef.size() + 4), afterDef + "\r\n\r\n");
    // Lib writes CR LF line ends, and the log keeps the CR.
    const std::string created = "\r\nCreating library " + lib + "\r";
    ASSERT_GE(log.size(), created.size());
    EXPECT_EQ(log.substr(log.size() - created.size()), created);
    EXPECT_NE(GetFileAttributesA(lib.c_str()), INVALID_FILE_ATTRIBUTES);

    HoldForScreenshot();
    DWORD exitCode = 1;
    EXPECT_TRUE(CloseAndWait(program, kWaitMs, exitCode));
    EXPECT_EQ(exitCode, 0u);
    StopProgram(program);
    if (!programDir)
        RemoveProgramFolder(folder);
}

} // namespace
