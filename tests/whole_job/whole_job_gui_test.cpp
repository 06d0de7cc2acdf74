// The whole job as a user does it, through the real window with the real tools beside it:
// "导出*.def 文件" on a DLL with cdecl, stdcall, fastcall, data and ordinal-only exports,
// then "生成*.lib 文件" on the .def as it came out (qen_impdef finds the stdcall decoration
// itself). The check script around this program builds the DLL first and afterwards links and
// runs a Visual-C++-style program against the import library that came out.
#include "gui_driver.h"
#include "resource_ids.h"
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
// a 64-bit one in the 64-bit checks, which qen_impdef marks for an x64 library and does not
// examine (nothing is decorated there). The pictures in docs/ show a 32-bit DLL in the twin too.
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
    return DllIs64Bit() ? "; a 64-bit DLL: its .def is marked for Lib /MACHINE:X64" : "";
}

std::string MultiplyLine() {
    return DllIs64Bit() ? "multiply @2\r\n" : "_multiply@8 @2 ; stdcall";
}

// With the variable markerVariable set, the dialog stays up until the script around has taken
// its picture: the marker file it names is written, and the script deletes it when done.
void HoldForScreenshot(const char* markerVariable) {
    const char* marker = std::getenv(markerVariable);
    if (!marker)
        return;
    const std::string path = WindowsPathOf(marker);
    WriteWholeFile(path, "ready");
    for (DWORD waited = 0;
         GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && waited < kWaitMs;
         waited += 100)
        Sleep(100);
}

// MORVANE_PROGRAM_DIR: the program and its tools as they lie there, e.g. an unpacked release;
// otherwise the build's, gathered in a folder of their own.
std::string ProgramFolder() {
    if (const char* programDir = std::getenv("MORVANE_PROGRAM_DIR"))
        return WindowsPathOf(programDir);
    return MakeProgramFolder(WindowsPathOf(MORVANE_EXE),
                             {{"qen_impdef.exe", WindowsPathOf(IMPDEF_EXE), ""},
                              {"Lib.exe", WindowsPathOf(LIB_EXE), ""}});
}

void RemoveMadeProgramFolder(const std::string& folder) {
    if (!std::getenv("MORVANE_PROGRAM_DIR"))
        RemoveProgramFolder(folder);
}

// The work folder the check script made, as Windows sees it; empty when not run through it.
std::string WorkFolder() {
    const char* workDir = std::getenv("MORVANE_WHOLE_JOB_DIR");
    return workDir ? WindowsPathOf(workDir) : std::string();
}

// Both buttons on work\STEM.dll: qen_impdef's summary must end with summary (after the DLL's
// path and ": "), the .def must hold defLine, and the .def goes to Lib as qen_impdef wrote it,
// unedited. With screenshotMarker, the dialog waits for its picture before it closes.
void RunBothButtonsOn(const std::string& stem, const std::string& summary,
                      const std::string& defLine, const char* screenshotMarker) {
    const std::string work = WorkFolder();
    ASSERT_FALSE(work.empty()) << "run through whole_job_check.sh";
    const std::string dll = work + "\\" + stem + ".dll";
    const std::string def = work + "\\" + stem + ".def";
    const std::string lib = work + "\\" + stem + ".lib";
    ASSERT_NE(GetFileAttributesA(dll.c_str()), INVALID_FILE_ATTRIBUTES) << dll;

    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    RunningProgram program;
    ASSERT_TRUE(StartProgram(folder + "\\Morvane.exe", program));
    const std::string note = Text(program.dialog, IDC_LOG);

    RunCommandOn(program, IDC_MAKE_DEF, dll);
    EXPECT_EQ(Text(program.dialog, IDC_DLL_PATH), dll);
    const std::string afterDef = note + "\r\n\r\n" + dll + ": " + summary;
    EXPECT_EQ(Text(program.dialog, IDC_LOG), afterDef);
    ASSERT_NE(ReadWholeFile(def).find(defLine), std::string::npos) << ReadWholeFile(def);

    RunCommandOn(program, IDC_MAKE_LIB, def);
    EXPECT_EQ(Text(program.dialog, IDC_DEF_PATH), def);
    const std::string log = Text(program.dialog, IDC_LOG);
    EXPECT_EQ(log.substr(0, afterDef.size() + 4), afterDef + "\r\n\r\n");
    // Lib writes CR LF line ends, and the log keeps the CR.
    const std::string created = "\r\nCreating library " + lib + "\r";
    ASSERT_GE(log.size(), created.size());
    EXPECT_EQ(log.substr(log.size() - created.size()), created);
    EXPECT_NE(GetFileAttributesA(lib.c_str()), INVALID_FILE_ATTRIBUTES);

    if (screenshotMarker)
        HoldForScreenshot(screenshotMarker);
    DWORD exitCode = 1;
    EXPECT_TRUE(CloseAndWait(program, kWaitMs, exitCode));
    EXPECT_EQ(exitCode, 0u);
    StopProgram(program);
    RemoveMadeProgramFolder(folder);
}

TEST(WholeJob, BothButtonsTurnADllIntoAnImportLibrary) {
    const std::string work = WorkFolder();
    RunBothButtonsOn("testdll", Counts() + " -> " + work + "\\testdll.def" + SummaryEnd(),
                     MultiplyLine(), "MORVANE_SCREENSHOT_MARKER");
}

// An ARM64 DLL (the check script builds it beside the x64 one): its .def is marked for ARM64,
// and "生成*.lib 文件" asks Lib for an ARM64 library, which the script then links a program
// against.
TEST(WholeJob, BothButtonsTurnAnArm64DllIntoAnArm64ImportLibrary) {
    const std::string work = WorkFolder();
    RunBothButtonsOn("arm64dll",
                     "3 exports (1 data, 1 ordinal only, 0 forwarded) -> " + work +
                         "\\arm64dll.def; a 64-bit DLL: its .def is marked for Lib /MACHINE:ARM64",
                     "\r\n; machine: ARM64\r\n", nullptr);
}

struct IconCase {
    std::vector<std::string> names; // the files dropped on the icon, in the work folder
    bool libMade;
};

// Dropped on the icon: Explorer starts the program with the files' quoted paths. The DLL alone
// gives its .def; the DLL, a file of no kind the program takes and the .def in one go give the
// .def, a warning box for the other file, and then the library made from that .def.
TEST(WholeJob, FilesDroppedOnTheIconBecomeADefinitionFileAndALibrary) {
    const char* workDir = std::getenv("MORVANE_WHOLE_JOB_DIR");
    ASSERT_NE(workDir, nullptr) << "run through whole_job_check.sh";
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    const IconCase cases[] = {{{"testdll.dll"}, false},
                              {{"testdll.dll", "说明 乗.txt", "testdll.def"}, true}};
    int number = 0;
    for (const IconCase& c : cases) {
        // A folder whose name holds a space and 乗 (81 5C), whose second byte is a backslash.
        const std::string work =
            WindowsPathOf(workDir) + "\\图标乗 拖放 " + std::to_string(++number);
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        ASSERT_TRUE(CopyTo(WindowsPathOf(workDir) + "\\testdll.dll", work + "\\testdll.dll"));
        WriteWholeFile(work + "\\说明 乗.txt", "notes");
        std::vector<std::string> paths;
        for (const std::string& name : c.names)
            paths.push_back(work + "\\" + name);
        const std::string dll = work + "\\testdll.dll";
        const std::string def = work + "\\testdll.def";
        const std::string lib = work + "\\testdll.lib";

        RunningProgram program;
        ASSERT_TRUE(StartProgramWithFiles(folder + "\\Morvane.exe", paths, program, kWaitMs));
        std::string caption;
        EXPECT_TRUE(ReadWindowText(program.dialog, caption, kWaitMs));
        EXPECT_EQ(caption, "Morvane V1.0");
        if (c.names.size() == 3) {
            HWND box = WaitForDialogOfProcess(program.processId, program.dialog, kWaitMs);
            ASSERT_NE(box, nullptr) << "no box for the text file";
            EXPECT_EQ(GetWindow(box, GW_OWNER), program.dialog);
            MessageBoxSeen seen = ReadMessageBox(box);
            EXPECT_EQ(seen.caption, "不支持的文件");
            EXPECT_EQ(seen.text, paths[1] +
                                     "\n\nMorvane 只接受 DLL（*.dll、*.ocx、*.drv、*.cpl、*.exe）"
                                     "和模块定义文件（*.def）。");
            PressButton(box, IDOK);
        }
        const std::string afterDef =
            "\r\n\r\n" + dll + ": " + Counts() + " -> " + def + SummaryEnd();
        // Lib writes its banner first, and CR LF line ends, whose CR the log keeps.
        const std::string end = c.libMade ? "\r\nCreating library " + lib + "\r" : afterDef;
        std::string log;
        for (DWORD waited = 0; waited < kWaitMs; waited += 100) {
            ReadControlText(program.dialog, IDC_LOG, log, kWaitMs);
            if (log.size() >= end.size() && log.substr(log.size() - end.size()) == end)
                break;
            Sleep(100);
        }
        ASSERT_GE(log.size(), end.size());
        EXPECT_EQ(log.substr(log.size() - end.size()), end);
        const size_t defRun = log.find(afterDef);
        ASSERT_NE(defRun, std::string::npos) << log;
        if (c.libMade)
            EXPECT_EQ(log.substr(defRun, afterDef.size() + 4), afterDef + "\r\n\r\n");
        else
            EXPECT_EQ(defRun + afterDef.size(), log.size());
        EXPECT_NE(ReadWholeFile(def).find(MultiplyLine()), std::string::npos);
        EXPECT_EQ(GetFileAttributesA(lib.c_str()) != INVALID_FILE_ATTRIBUTES, c.libMade);
        if (c.libMade)
            HoldForScreenshot("MORVANE_DROP_SCREENSHOT_MARKER");
        DWORD exitCode = 1;
        EXPECT_TRUE(CloseAndWait(program, kWaitMs, exitCode));
        StopProgram(program);
    }
    RemoveMadeProgramFolder(folder);
}

} // namespace
