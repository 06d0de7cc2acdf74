#include "lib_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class LibRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("lib_run_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const char* name) const { return (dir / name).string(); }

    int Run(const std::vector<std::string>& args) {
        out.clear();
        err.clear();
        return RunLib(args, &out, &err);
    }

    fs::path dir;
    std::string out;
    std::string err;
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A message that ends with the system's reason: on POSIX exactly prefix + reason; Windows
// words its reasons (and says which operation failed) in its own way, so there it is only
// prefix followed by some reason.
void ExpectReason(const std::string& message, const std::string& prefix, int posixErrno) {
#ifdef _WIN32
    EXPECT_EQ(message.substr(0, prefix.size()), prefix) << message;
    EXPECT_GT(message.size(), prefix.size() + 1) << message;
    (void)posixErrno;
#else
    EXPECT_EQ(message, prefix + std::strerror(posixErrno) + "\n");
#endif
}

// Every file in dir, so that a test sees leftovers such as a temporary file.
std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(LibRunTest, WritesTheLibraryBesideTheDefFileAndSaysWhere) {
    WriteText(Path("foo.def"), "LIBRARY foo\nEXPORTS\n f\n");
    EXPECT_EQ(Run({"/DEF:" + Path("foo.def"), "/MACHINE:IX86"}), 0) << err;
    EXPECT_NE(out.find("Morvane"), std::string::npos);
    EXPECT_NE(out.find("Creating library " + Path("foo.lib") + "\n"), std::string::npos);
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadAll(Path("foo.lib")).substr(0, 8), "!<arch>\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "foo.lib"}));
}

TEST_F(LibRunTest, WritesToOutAndReplacesAnOlderLibrary) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    WriteText(Path("other.lib"), "old");
    EXPECT_EQ(
        Run({"-nologo", "-def:" + Path("foo.def"), "-out:" + Path("other.lib"), "-machine:x86"}), 0)
        << err;
    EXPECT_EQ(out, "Creating library " + Path("other.lib") + "\n");
    EXPECT_EQ(ReadAll(Path("other.lib")).substr(0, 8), "!<arch>\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "other.lib"}));
}

TEST_F(LibRunTest, LeavesAnExistingLibraryUntouchedWhenTheDefFileIsMalformed) {
    WriteText(Path("foo.def"), "EXPORTS\n f @x\n");
    WriteText(Path("foo.lib"), "previous library");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err, "Lib: error: " + Path("foo.def") + "(2): ordinal expected, but got 'x'\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadAll(Path("foo.lib")), "previous library");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "foo.lib"}));
}

TEST_F(LibRunTest, ReportsAMissingDefFileAndWritesNothing) {
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("missing.def"), "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err, "Lib: error: " + Path("missing.def") +
                       ": cannot open the file: " + std::strerror(ENOENT) + "\n");
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(LibRunTest, ReportsAnUnwritableOutputAndLeavesNoPartialFile) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    const std::string library = Path("no such folder") + "/foo.lib";
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/OUT:" + library, "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err,
              "Lib: error: cannot write '" + library + ".0.tmp': " + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def"}));
}

TEST_F(LibRunTest, ReportsAnOutputThatIsAFolderAndRemovesTheTemporaryFile) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    fs::create_directories(dir / "taken.lib" / "inside");
    EXPECT_EQ(
        Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/OUT:" + Path("taken.lib"), "/MACHINE:IX86"}),
        1);
    ExpectReason(err, "Lib: error: cannot replace '" + Path("taken.lib") + "': ", EISDIR);
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "taken.lib"}));
}

TEST_F(LibRunTest, LeavesFilesThatHaveATemporaryNameAlone) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    WriteText(Path("foo.lib.tmp"), "the user's");
    WriteText(Path("target.txt"), "linked to");
#ifdef _WIN32
    WriteText(Path("foo.lib.0.tmp"), "also the user's");
#else
    fs::create_symlink(Path("target.txt"), Path("foo.lib.0.tmp"));
#endif
    fs::create_directory(Path("foo.lib.1.tmp"));
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/MACHINE:IX86"}), 0) << err;
    EXPECT_EQ(ReadAll(Path("foo.lib")).substr(0, 8), "!<arch>\n");
    EXPECT_EQ(ReadAll(Path("foo.lib.tmp")), "the user's");
    EXPECT_EQ(ReadAll(Path("target.txt")), "linked to");
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(Path("foo.lib.0.tmp")));
#endif
    EXPECT_TRUE(fs::is_directory(Path("foo.lib.1.tmp")));
    EXPECT_EQ(Listing(dir),
              (std::vector<std::string>{"foo.def", "foo.lib", "foo.lib.0.tmp", "foo.lib.1.tmp",
                                        "foo.lib.tmp", "target.txt"}));
}

TEST_F(LibRunTest, RefusesInputItCannotReadOrThatGivesNoLibrary) {
    fs::create_directory(Path("folder.def"));
    WriteText(Path("empty.def"), "");
    WriteText(Path("none.def"), "LIBRARY none\r\nEXPORTS\r\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("folder.def"), "/MACHINE:IX86"}), 1);
#ifdef _WIN32 // a folder cannot be opened as a file there
    ExpectReason(err, "Lib: error: " + Path("folder.def") + ": cannot open the file: ", EACCES);
#else
    ExpectReason(err, "Lib: error: " + Path("folder.def") + ": cannot read the file: ", EISDIR);
#endif
    const std::pair<const char*, std::string> cases[] = {
        {"empty.def", "Lib: error: " + Path("empty.def") +
                          ": no exports: the .def file lists none after EXPORTS\n"},
        {"none.def", "Lib: error: " + Path("none.def") +
                         ": no exports: the .def file lists none after EXPORTS\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path(c.first), "/MACHINE:IX86"}), 1) << c.first;
        EXPECT_EQ(err, c.second);
    }
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"empty.def", "folder.def", "none.def"}));
}

TEST_F(LibRunTest, KeepsCodePage936FileNamesByteForByte) {
    // The file streams take the bytes as the system's narrow (ANSI) file names.
    const std::string def = Path("") + "\xd6\xd0\xce\xc4.def"; // 中文.def in code page 936
    const std::string lib = Path("") + "\xd6\xd0\xce\xc4.lib";
    WriteText(def, "EXPORTS\n f\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + def, "/MACHINE:IX86"}), 0) << err;
    EXPECT_EQ(out, "Creating library " + lib + "\n");
    EXPECT_EQ(ReadAll(lib).substr(0, 8), "!<arch>\n");
}

struct UsageCase {
    std::vector<std::string> args;
    int exitCode;
    const char* inOut; // expected in standard output
    const char* inErr; // expected in standard error
};

TEST_F(LibRunTest, ExplainsItselfAndRefusesCommandLinesItCannotUse) {
    const UsageCase cases[] = {
        {{}, 0, "usage: Lib /DEF:file.def", ""},
        {{"/?"}, 0, "Morvane's own library manager", ""},
        {{"-HELP"}, 0, "/MACHINE:X86", ""},
        {{"/NOLOGO"}, 1, "", "Lib: error: no .def file given: /DEF:file.def is required\n"},
        {{"/DEF:x.def", "/MACHINE:ARM"},
         1,
         "Morvane",
         "Lib: error: machine X86, IX86, I386, X64, AMD64 or ARM64 expected, but got 'ARM'\n"},
        {{"/NOLOGO", "/FOO", "/DEF:"},
         1,
         "",
         "Lib: warning: unknown option 'FOO' ignored\n"
         "Lib: error: option /DEF needs a value: /DEF:name\n"},
    };
    for (const UsageCase& c : cases) {
        EXPECT_EQ(Run(c.args), c.exitCode) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_NE(out.find(c.inOut), std::string::npos) << out;
        EXPECT_NE(err.find(c.inErr), std::string::npos) << err;
    }
}

struct MarkCase {
    const char* def;
    std::vector<std::string> machineOption;
    uint16_t machine; // of the library's import objects; 0: refused, nothing written
    const char* err;  // after "Lib: error: foo.def(2): " for a refusal
};

// The machine of the first short import object of a library.
uint16_t ImportMachineOf(const std::string& library) {
    const size_t object = library.find(std::string("\0\0\xFF\xFF\0\0", 6));
    if (object == std::string::npos || object + 8 > library.size())
        return 0;
    return static_cast<uint16_t>(static_cast<unsigned char>(library[object + 6]) |
                                 static_cast<unsigned char>(library[object + 7]) << 8);
}

// qen_impdef marks the machine of the DLL in the .def; a library for another one cannot load it.
TEST_F(LibRunTest, TakesTheMachineTheDefIsMarkedForAndRefusesAnother) {
    const char* const head = "; foo.dll: exports listed by qen_impdef 1.0\n";
    const MarkCase cases[] = {
        {"; machine: X64\n", {}, 0x8664, ""},
        {"; machine: X64\n", {"/MACHINE:AMD64"}, 0x8664, ""},
        {"; machine: ARM64\n", {"/machine:arm64"}, 0xAA64, ""},
        {"; machine: ARM64\n", {}, 0xAA64, ""},
        {"; machine: X86\n", {"/MACHINE:IX86"}, 0x014C, ""},
        {"; machine: X64\n",
         {"/MACHINE:IX86"},
         0,
         "the .def file is marked for machine X64, but /MACHINE:X86 was given; a library for "
         "X86 cannot load the DLL: give /MACHINE:X64 or leave /MACHINE out"},
        {"; machine: X86\n",
         {"/MACHINE:X64"},
         0,
         "the .def file is marked for machine X86, but /MACHINE:X64 was given; a library for "
         "X64 cannot load the DLL: give /MACHINE:X86 or leave /MACHINE out"},
        {"; machine: ARM64\n",
         {"/MACHINE:X64"},
         0,
         "the .def file is marked for machine ARM64, but /MACHINE:X64 was given; a library for "
         "X64 cannot load the DLL: give /MACHINE:ARM64 or leave /MACHINE out"},
        {"; machine: 0x01C4\n",
         {"/MACHINE:IX86"},
         0,
         "the .def file is marked for machine 0x01C4, for which Lib makes no library"},
        // Only the comments at the top mark it: further down it is the user's text.
        {"EXPORTS ; machine: X64\n", {"/MACHINE:IX86"}, 0x014C, ""},
    };
    for (const MarkCase& c : cases) {
        SCOPED_TRACE(std::string(c.def) + (c.machineOption.empty() ? "" : c.machineOption[0]));
        fs::remove(Path("foo.lib"));
        WriteText(Path("foo.def"), std::string(head) + c.def + "EXPORTS\n f @1\n");
        std::vector<std::string> args = {"/NOLOGO", "/DEF:" + Path("foo.def")};
        args.insert(args.end(), c.machineOption.begin(), c.machineOption.end());
        if (c.machine == 0) {
            EXPECT_EQ(Run(args), 1);
            EXPECT_EQ(err, "Lib: error: " + Path("foo.def") + "(2): " + c.err + "\n");
            EXPECT_FALSE(fs::exists(Path("foo.lib")));
        } else {
            EXPECT_EQ(Run(args), 0) << err;
            EXPECT_EQ(err, "");
            EXPECT_EQ(ImportMachineOf(ReadAll(Path("foo.lib"))), c.machine);
        }
    }
}

TEST_F(LibRunTest, WarnsAboutAMissingMachineAndUnknownOptionsButStillWrites) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/LTCG"}), 0);
    EXPECT_EQ(err, "Lib: warning: unknown option 'LTCG' ignored\n"
                   "Lib: warning: /MACHINE not given; making a library for X86\n");
    EXPECT_TRUE(fs::exists(Path("foo.lib")));
}

// The usage note's edit of a line marked unknown, whose second line gives the same name: the
// library is made, from the edited line, and Lib says which line it left out.
TEST_F(LibRunTest, MakesTheLibraryWhenAnEditRepeatsANameAndWarns) {
    WriteText(Path("quit.def"), "; machine: X86\nEXPORTS\n    _Quit@4 @365 ; calling convention "
                                "unknown: it never returns\n    _Quit@4 == Quit ; second name\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("quit.def")}), 0);
    EXPECT_EQ(err, "Lib: warning: " + Path("quit.def") +
                       "(4): export '_Quit@4' given again (first at line 3): this entry is left "
                       "out\n");
    const std::string library = ReadAll(Path("quit.lib"));
    // One import object for _Quit@4, by ordinal 365 (0x016D) with name type 0.
    const std::string object = std::string("\x6D\x01\x00\x00_Quit@4\0", 12);
    EXPECT_NE(library.find(object), std::string::npos);
    EXPECT_EQ(library.find(object), library.rfind(object));
}

} // namespace
