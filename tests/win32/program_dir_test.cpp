#include "commands/make_commands.h"

#include "commands/command_lines.h"
#include "import_hook.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

namespace {

TEST(GetProgramDir, IsTheFolderOfThisExecutable) {
    AnsiText dir = GetProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '\\');
    EXPECT_TRUE(FileExists(dir + "\\win32_tests.exe")) << dir;
}

// What the module file name call writes and returns.
struct ModuleNameCase {
    const char* what;
    size_t written; // bytes of "C:\d\xx...x"
    bool nul;       // followed by a NUL
    DWORD returned;
    const char* dir;
};
const ModuleNameCase* g_moduleName = nullptr;

DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR buffer, DWORD) {
    const std::string name = "C:\\d\\" + std::string(g_moduleName->written - 5, 'x');
    std::copy(name.begin(), name.end(), buffer);
    if (g_moduleName->nul)
        buffer[name.size()] = '\0';
    return g_moduleName->returned;
}

TEST(GetProgramDir, IsEmptyWhenTheNameIsCutOrCannotBeHad) {
    const ModuleNameCase cases[] = {
        {"the whole name, just fitting", MAX_PATH_SIZE - 1, true, MAX_PATH_SIZE - 1, "C:\\d"},
        {"cut, with a NUL at the buffer's end", MAX_PATH_SIZE - 1, true, MAX_PATH_SIZE, ""},
        {"cut, without a NUL", MAX_PATH_SIZE, false, MAX_PATH_SIZE, ""},
        {"failed", 12, true, 0, ""},
    };
    ImportHook hook("kernel32.dll", "GetModuleFileNameA",
                    reinterpret_cast<void*>(FakeModuleFileName));
    ASSERT_NE(hook.slot, nullptr);
    for (const ModuleNameCase& c : cases) {
        g_moduleName = &c;
        EXPECT_EQ(GetProgramDir(), c.dir) << c.what;
    }
}

TEST(FileExists, ADirectoryIsNotAFile) {
    char windowsDir[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windowsDir, MAX_PATH), 0u);
    EXPECT_FALSE(FileExists(windowsDir));
    EXPECT_FALSE(FileExists(AnsiText(windowsDir) + "\\"));
    EXPECT_TRUE(FileExists(AnsiText(windowsDir) + "\\system32\\kernel32.dll"));
}

// Runs the probe from the root of the system drive, where the program folder is "C:".
TEST(GetProgramDir, AtADriveRootIsTheBareDrive) {
    char windowsDir[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windowsDir, MAX_PATH), 2u);
    const AnsiText drive(windowsDir, 2);
    const AnsiText probe = drive + "\\morvane_program_dir_probe.exe";
    const AnsiText report = drive + "\\morvane_program_dir_probe.txt";
    ASSERT_TRUE(
        CopyFileA((GetProgramDir() + "\\program_dir_probe.exe").c_str(), probe.c_str(), FALSE));

    AnsiText command = "\"" + probe + "\" \"" + report + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    char text[2 * MAX_PATH] = {};
    std::FILE* in = std::fopen(report.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    size_t length = std::fread(text, 1, sizeof text - 1, in);
    std::fclose(in);
    DeleteFileA(probe.c_str());
    DeleteFileA(report.c_str());
    EXPECT_EQ(AnsiText(text, length), drive + "\n" + drive + "\\Lib.exe\n");
}

} // namespace
