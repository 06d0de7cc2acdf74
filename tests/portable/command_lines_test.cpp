#include "commands/command_lines.h"
#include "def_machine_mark.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <utility>

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

// Unless the .def says otherwise, the library is for x86, in the 64-bit build as well.
const AnsiText kMachine = " /MACHINE:IX86";

TEST(BuildLibCommand, QuotesTheDefPathAfterTheOptionAndEndsWithTheMachine) {
    const char* const cases[][3] = {
        {"C:\\Program Files\\t\\Lib.exe", "C:\\my files\\a.def",
         "\"C:\\Program Files\\t\\Lib.exe\" /DEF:\"C:\\my files\\a.def\""},
        {"C:\\Lib.exe", "C:\\x\\foo.def", "\"C:\\Lib.exe\" /DEF:\"C:\\x\\foo.def\""},
        {"D:\\工具\\Lib.exe", "D:\\库\\中文.def",
         "\"D:\\工具\\Lib.exe\" /DEF:\"D:\\库\\中文.def\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildLibCommand(c[0], c[1]), c[2] + kMachine);
        EXPECT_EQ(BuildLibCommand(c[0], c[1], kLibMachineArm64Option),
                  c[2] + AnsiText(" /MACHINE:ARM64"));
    }
}

// The machine mark as qen_impdef writes it, and texts around it, against the option chosen.
TEST(LibMachineOptionFor, TakesX64OrArm64FromTheMarkAtTheTopAndIX86ForAnythingElse) {
    const AnsiText x64 = MachineMarkLine("X64") + "\r\n";
    const AnsiText arm64 = MachineMarkLine("ARM64") + "\r\n";
    const AnsiText body = "LIBRARY a.dll\r\nEXPORTS\r\n    f @1\r\n";
    const char* const ix86 = "/MACHINE:IX86";
    const std::pair<AnsiText, const char*> cases[] = {
        {"; a.dll: exports listed by qen_impdef 1.0\r\n" + x64 + body, "/MACHINE:X64"},
        {"; a.dll: exports listed by qen_impdef 1.0\r\n" + arm64 + body, "/MACHINE:ARM64"},
        {MachineMarkLine("X86") + "\r\n" + body, ix86},
        {body, ix86},                                  // unmarked: written by hand or another tool
        {"", ix86},                                    // empty, or could not be read
        {"\xEF\xBB\xBF" + x64 + body, "/MACHINE:X64"}, // a UTF-8 byte order mark first
        {"\n\n;other words\n   ;   machine:   ARM64 ; why\nEXPORTS\n", "/MACHINE:ARM64"},
        {"; one\r; machine: X64\rEXPORTS\r", "/MACHINE:X64"}, // lone CR line ends
        {body + x64, ix86},                                   // a comment further down
        {"LIBRARY a.dll ; machine: X64\r\n" + body, ix86},    // a comment after a statement
        {"; the machine: X64\r\n" + body, ix86},              // not the mark's words
        {"; machine:\r\n; machine: X64\r\n" + body, "/MACHINE:X64"},
        {"; machine: x64\r\n" + body, "/MACHINE:X64"}, // any case, as Lib reads it
        {"; machine: Amd64\r\n" + body, "/MACHINE:X64"},
        {"; machine: I386\r\n" + body, ix86},
        {"; machine: 0x01C4\r\n" + body, ix86}, // Lib itself refuses that one
        {"; machine: X64", "/MACHINE:X64"},     // the start of a file, cut after the mark
    };
    for (const auto& c : cases)
        EXPECT_STREQ(LibMachineOptionFor(c.first), c.second) << c.first;
}

TEST(CommandLines, ChineseLiteralsAreCodePage936Bytes) {
    // "库" is 0xBF 0xE2 in code page 936; UTF-8 would give three bytes.
    EXPECT_EQ(AnsiText("库"), AnsiText("\xBF\xE2"));
}

TEST(DeriveDefPath, ReplacesOnlyTheLastComponentsExtension) {
    const char* const cases[][2] = {
        {"C:\\x\\foo.dll", "C:\\x\\foo.def"},
        {"C:\\x\\FOO.DLL", "C:\\x\\FOO.def"},
        {"C:\\x\\foo.bar.dll", "C:\\x\\foo.bar.def"},
        {"C:\\x\\foo.", "C:\\x\\foo.def"},
        {"C:\\a.b\\foo", "C:\\a.b\\foo.def"}, // a dot in a folder name is never cut
        {"C:\\x\\foo", "C:\\x\\foo.def"},     // no extension: one is added
        {"FOO.DLL", "FOO.def"},
        {"foo", "foo.def"},
        {"C:\\x.y\\z.w\\lib.dll", "C:\\x.y\\z.w\\lib.def"},
        {"C:\\my files\\a b.dll", "C:\\my files\\a b.def"},
        {"D:\\中文.目录\\库", "D:\\中文.目录\\库.def"},
        {"D:\\中文\\库.DLL", "D:\\中文\\库.def"},
        {"", ".def"},
        // Double-byte characters whose second byte is 0x5C, the backslash (淺 9C 5C, 乗 81 5C),
        // in the folder, the file name and the extension.
        {"D:\\淺\\a.dll", "D:\\淺\\a.def"},
        {"D:\\x\\乗.dll", "D:\\x\\乗.def"},
        {"D:\\x\\a.乗", "D:\\x\\a.def"},
        {"D:\\a.b\\淺乗", "D:\\a.b\\淺乗.def"},
        {"乗", "乗.def"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeriveDefPath(c[0]), c[1]) << c[0];
}

TEST(KindByName, TellsDllsAndDefinitionFilesByTheLastComponentsExtension) {
    const struct {
        const char* path;
        FileKind kind;
    } cases[] = {
        {"C:\\x\\foo.dll", FileKind::Dll},
        {"C:\\x\\FOO.DLL", FileKind::Dll},
        {"C:\\x\\a.Ocx", FileKind::Dll},
        {"C:\\x\\a.drv", FileKind::Dll},
        {"C:\\x\\a.CPL", FileKind::Dll},
        {"C:\\x\\a.exe", FileKind::Dll},
        {"C:\\x\\a.def.dll", FileKind::Dll},
        {"C:\\x\\foo.def", FileKind::Def},
        {"C:\\my files\\a b.DeF", FileKind::Def},
        {"C:\\x\\.def", FileKind::Def},
        {"C:\\x\\a.dll.txt", FileKind::Other},
        {"C:\\x\\a.dl", FileKind::Other},
        {"C:\\x\\a.dlls", FileKind::Other},
        {"C:\\x\\a.lib", FileKind::Other},
        {"C:\\x.dll\\readme", FileKind::Other}, // the dot of a folder name does not count
        {"C:\\x\\a.", FileKind::Other},
        {"", FileKind::Other},
        // Double-byte names, 乗 (81 5C) ending in a byte that looks like a backslash.
        {"D:\\淺\\乗.dll", FileKind::Dll},
        {"D:\\a.dll\\乗.def", FileKind::Def},
        {"D:\\x\\a.dll乗", FileKind::Other},
        {"D:\\x\\a.乗", FileKind::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KindByName(c.path), c.kind) << c.path;
}

TEST(ProgramDirOf, CutsAtTheLastBackslashCharacter) {
    const char* const cases[][2] = {
        {"C:\\tools\\Morvane.exe", "C:\\tools"},
        {"C:\\Morvane.exe", "C:"}, // a drive root: no trailing backslash
        {"C:\\Program Files\\M v\\Morvane.exe", "C:\\Program Files\\M v"},
        {"\\\\server\\share\\Morvane.exe", "\\\\server\\share"},
        {"Morvane.exe", ""},
        {"", ""},
        {"C:\\tools\\M乗.exe", "C:\\tools"},
        {"C:\\淺 乗\\Morvane.exe", "C:\\淺 乗"},
        {"乗.exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgramDirOf(c[0]), c[1]) << c[0];
}

TEST(ToolPaths, ProgramAtADriveRootFindsItsToolsAtTheRoot) {
    AnsiText dir = ProgramDirOf("C:\\Morvane.exe");
    EXPECT_EQ(dir + kImpdefToolName, "C:\\qen_impdef.exe");
    EXPECT_EQ(dir + kLibToolName, "C:\\Lib.exe");
    EXPECT_EQ(ProgramDirOf("Morvane.exe") + kLibToolName, "\\Lib.exe");
}

TEST(FileExists, TellsAnExistingFileFromAMissingOne) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "morvane-file-exists";
    fs::create_directories(dir);
    fs::path present = dir / "present.txt";
    std::FILE* file = std::fopen(present.string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);

    EXPECT_TRUE(FileExists(present.string()));
    EXPECT_FALSE(FileExists((dir / "missing.txt").string()));
    EXPECT_FALSE(FileExists((dir / "no-such-dir" / "x.exe").string()));
    EXPECT_FALSE(FileExists(""));
    fs::remove_all(dir);
}

TEST(ReadFileStart, GivesAtMostTheBytesAskedForAndNothingOfWhatCannotBeRead) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "morvane-file-start";
    fs::create_directories(dir);
    const fs::path def = dir / "a.def";
    std::FILE* file = std::fopen(def.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("; machine: X64\r\nEXPORTS\r\n", file);
    std::fclose(file);

    EXPECT_EQ(ReadFileStart(def.string(), 4), "; ma");
    EXPECT_EQ(ReadFileStart(def.string(), kDefHeadSize), "; machine: X64\r\nEXPORTS\r\n");
    EXPECT_EQ(ReadFileStart((dir / "missing.def").string(), kDefHeadSize), "");
    EXPECT_EQ(ReadFileStart(dir.string(), kDefHeadSize), ""); // a folder
    fs::remove_all(dir);
}

} // namespace
