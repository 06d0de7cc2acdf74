#include "lib_run.h"

#include <gtest/gtest.h>

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
        out.str("");
        err.str("");
        return RunLib(args, out, err);
    }

    fs::path dir;
    std::ostringstream out;
    std::ostringstream err;
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
    EXPECT_EQ(Run({"/DEF:" + Path("foo.def"), "/MACHINE:IX86"}), 0) << err.str();
    EXPECT_NE(out.str().find("Morvane"), std::string::npos);
    EXPECT_NE(out.str().find("Creating library " + Path("foo.lib") + "\n"), std::string::npos);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(ReadAll(Path("foo.lib")).substr(0, 8), "!<arch>\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "foo.lib"}));
}

TEST_F(LibRunTest, WritesToOutAndReplacesAnOlderLibrary) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    WriteText(Path("other.lib"), "old");
    EXPECT_EQ(
        Run({"-nologo", "-def:" + Path("foo.def"), "-out:" + Path("other.lib"), "-machine:x86"}), 0)
        << err.str();
    EXPECT_EQ(out.str(), "Creating library " + Path("other.lib") + "\n");
    EXPECT_EQ(ReadAll(Path("other.lib")).substr(0, 8), "!<arch>\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "other.lib"}));
}

TEST_F(LibRunTest, LeavesAnExistingLibraryUntouchedWhenTheDefFileIsMalformed) {
    WriteText(Path("foo.def"), "EXPORTS\n f @x\n");
    WriteText(Path("foo.lib"), "previous library");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err.str(), Path("foo.def") + "(2): error: ordinal expected, but got 'x'\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(ReadAll(Path("foo.lib")), "previous library");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "foo.lib"}));
}

TEST_F(LibRunTest, ReportsAMissingDefFileAndWritesNothing) {
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("missing.def"), "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err.str(), Path("missing.def") + ": error: cannot open the file\n");
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(LibRunTest, ReportsAnUnwritableOutputAndLeavesNoPartialFile) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    const std::string out = Path("no such folder") + "/foo.lib";
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/OUT:" + out, "/MACHINE:IX86"}), 1);
    EXPECT_EQ(err.str(), "Lib: error: cannot write '" + out + ".tmp'\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def"}));
}

TEST_F(LibRunTest, ReportsAnOutputThatIsAFolderAndRemovesTheTemporaryFile) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    fs::create_directories(dir / "taken.lib" / "inside");
    EXPECT_EQ(
        Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/OUT:" + Path("taken.lib"), "/MACHINE:IX86"}),
        1);
    EXPECT_EQ(err.str(), "Lib: error: cannot replace '" + Path("taken.lib") + "'\n");
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"foo.def", "taken.lib"}));
}

TEST_F(LibRunTest, KeepsCodePage936FileNamesByteForByte) {
    // The file streams take the bytes as the system's narrow (ANSI) file names.
    const std::string def = Path("") + "\xd6\xd0\xce\xc4.def"; // 中文.def in code page 936
    const std::string lib = Path("") + "\xd6\xd0\xce\xc4.lib";
    WriteText(def, "EXPORTS\n f\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + def, "/MACHINE:IX86"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Creating library " + lib + "\n");
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
         "Lib: error: machine X86, IX86, I386, X64 or AMD64 expected, but got 'ARM'\n"},
        {{"/NOLOGO", "/FOO", "/DEF:"},
         1,
         "",
         "Lib: warning: unknown option 'FOO' ignored\n"
         "Lib: error: option /DEF needs a value: /DEF:name\n"},
    };
    for (const UsageCase& c : cases) {
        EXPECT_EQ(Run(c.args), c.exitCode) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_NE(out.str().find(c.inOut), std::string::npos) << out.str();
        EXPECT_NE(err.str().find(c.inErr), std::string::npos) << err.str();
    }
}

TEST_F(LibRunTest, WarnsAboutAMissingMachineAndUnknownOptionsButStillWrites) {
    WriteText(Path("foo.def"), "EXPORTS\n f\n");
    EXPECT_EQ(Run({"/NOLOGO", "/DEF:" + Path("foo.def"), "/LTCG"}), 0);
    EXPECT_EQ(err.str(), "Lib: warning: unknown option 'LTCG' ignored\n"
                         "Lib: warning: /MACHINE not given; making a library for X86\n");
    EXPECT_TRUE(fs::exists(Path("foo.lib")));
}

} // namespace
