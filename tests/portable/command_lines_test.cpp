#include "commands/command_lines.h"

#include <gtest/gtest.h>

namespace {

struct ImpdefCase {
    const char* tool;
    const char* dll;
    const char* def;
    bool namesOnly;
    const char* expected;
};

TEST(BuildImpdefCommand, QuotesEachPathAndPutsNamesOnlyBeforeOutput) {
    const ImpdefCase cases[] = {
        {"C:\\t\\qen_impdef.exe", "C:\\x\\foo.dll", "C:\\x\\foo.def", false,
         "\"C:\\t\\qen_impdef.exe\" \"C:\\x\\foo.dll\" -o \"C:\\x\\foo.def\""},
        {"C:\\t\\qen_impdef.exe", "C:\\x\\foo.dll", "C:\\x\\foo.def", true,
         "\"C:\\t\\qen_impdef.exe\" \"C:\\x\\foo.dll\" -c -o \"C:\\x\\foo.def\""},
        {"C:\\Program Files\\t\\qen_impdef.exe", "C:\\my files\\a b.dll", "C:\\my files\\a b.def",
         true,
         "\"C:\\Program Files\\t\\qen_impdef.exe\" \"C:\\my files\\a b.dll\" -c -o "
         "\"C:\\my files\\a b.def\""},
        // GBK folder and file names pass through byte for byte.
        {"D:\\工具\\qen_impdef.exe", "D:\\库\\中文.dll", "D:\\库\\中文.def", false,
         "\"D:\\工具\\qen_impdef.exe\" \"D:\\库\\中文.dll\" -o \"D:\\库\\中文.def\""},
        {"\\qen_impdef.exe", "", "def", false, "\"\\qen_impdef.exe\" \"\" -o \"def\""},
    };
    for (const ImpdefCase& c : cases)
        EXPECT_EQ(BuildImpdefCommand(c.tool, c.dll, c.def, c.namesOnly), c.expected)
            << c.dll << " namesOnly=" << c.namesOnly;
}

// The product makes x86 libraries; the 64-bit test twin makes x64 ones.
#ifdef _WIN64
const AnsiText kMachine = " /MACHINE:X64";
#else
const AnsiText kMachine = " /MACHINE:IX86";
#endif

TEST(BuildLibCommand, QuotesTheDefPathAfterTheOptionAndEndsWithTheMachine) {
    const char* const cases[][3] = {
        {"C:\\Program Files\\t\\Lib.exe", "C:\\my files\\a.def",
         "\"C:\\Program Files\\t\\Lib.exe\" /DEF:\"C:\\my files\\a.def\""},
        {"C:\\Lib.exe", "C:\\x\\foo.def", "\"C:\\Lib.exe\" /DEF:\"C:\\x\\foo.def\""},
        {"D:\\工具\\Lib.exe", "D:\\库\\中文.def",
         "\"D:\\工具\\Lib.exe\" /DEF:\"D:\\库\\中文.def\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildLibCommand(c[0], c[1]), c[2] + kMachine);
}

TEST(CommandLines, ChineseLiteralsAreCodePage936Bytes) {
    // "库" is 0xBF 0xE2 in code page 936; UTF-8 would give three bytes.
    EXPECT_EQ(AnsiText("库"), AnsiText("\xBF\xE2"));
}

} // namespace
