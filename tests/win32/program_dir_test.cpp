#include "commands/tool_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(GetProgramDir, IsTheFolderOfThisExecutable) {
    AnsiText dir = GetProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '\\');
    EXPECT_TRUE(FileExists(dir + "\\win32_tests.exe")) << dir;
}

TEST(FileExists, ADirectoryIsNotAFile) {
    char windowsDir[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windowsDir, MAX_PATH), 0u);
    EXPECT_FALSE(FileExists(windowsDir));
    EXPECT_FALSE(FileExists(AnsiText(windowsDir) + "\\"));
    EXPECT_TRUE(FileExists(AnsiText(windowsDir) + "\\system32\\kernel32.dll"));
}

} // namespace
