#include "lib_options.h"

#include <gtest/gtest.h>

namespace {

struct OptionsCase {
    std::vector<std::string> args;
    const char* defPath;
    const char* outPath;
    const char* dllName;
    Machine machine;
    bool noLogo;
    bool showHelp;
    size_t warnings;
};

TEST(ParseLibOptions, AcceptsSlashOrDashAndAnyCaseForOptionNamesButKeepsValues) {
    const OptionsCase cases[] = {
        {{"/DEF:C:\\x\\foo.def", "/MACHINE:IX86"},
         "C:\\x\\foo.def",
         "",
         "",
         Machine::X86,
         false,
         false,
         0},
        {{"-def:a.def", "-machine:x64"}, "a.def", "", "", Machine::X64, false, false, 0},
        {{"/Def:My File.DEF", "/machine:AMD64", "/nologo"},
         "My File.DEF",
         "",
         "",
         Machine::X64,
         true,
         false,
         0},
        {{"/DEF:a.def", "/MACHINE:i386", "/OUT:b.lib", "/NAME:B.DLL"},
         "a.def",
         "b.lib",
         "B.DLL",
         Machine::X86,
         false,
         false,
         0},
        {{"/DEF:a.def", "/MACHINE:X86"}, "a.def", "", "", Machine::X86, false, false, 0},
        {{"/DEF:a.def", "/machine:Arm64"}, "a.def", "", "", Machine::Arm64, false, false, 0},
        {{"/?"}, "", "", "", Machine::X86, false, true, 0},
        {{"-HELP"}, "", "", "", Machine::X86, false, true, 0},
        {{"--help"}, "", "", "", Machine::X86, false, true, 0},
        // Unknown options and object files are warnings, as LIB has them.
        {{"/DEF:a.def", "/LTCG", "/SUBSYSTEM:CONSOLE"},
         "a.def",
         "",
         "",
         Machine::X86,
         false,
         false,
         2},
        {{"/DEF:a.def", "extra.obj"}, "a.def", "", "", Machine::X86, false, false, 1},
        {{"/NOLOGO:yes", "/DEF:a.def"}, "a.def", "", "", Machine::X86, false, false, 1},
        // A later option wins.
        {{"/DEF:a.def", "/MACHINE:X64", "/MACHINE:X86"},
         "a.def",
         "",
         "",
         Machine::X86,
         false,
         false,
         0},
        // The value keeps everything after the first colon.
        {{"/DEF:C:\\a:b.def"}, "C:\\a:b.def", "", "", Machine::X86, false, false, 0},
    };
    for (const OptionsCase& c : cases) {
        LibOptions options;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ParseLibOptions(c.args, &options, &warnings, &error)) << c.args[0] << error;
        EXPECT_EQ(options.defPath, c.defPath) << c.args[0];
        EXPECT_EQ(options.outPath, c.outPath) << c.args[0];
        EXPECT_EQ(options.dllName, c.dllName) << c.args[0];
        EXPECT_EQ(options.machine, c.machine) << c.args[0];
        EXPECT_EQ(options.noLogo, c.noLogo) << c.args[0];
        EXPECT_EQ(options.showHelp, c.showHelp) << c.args[0];
        EXPECT_EQ(warnings.size(), c.warnings) << c.args[0];
    }
}

TEST(ParseLibOptions, RefusesAnUnknownMachineAndOptionsWithoutTheirValue) {
    const std::vector<std::string> cases[] = {
        {"/DEF:a.def", "/MACHINE:ARM"},
        {"/DEF:a.def", "/MACHINE:"},
        {"/DEF:a.def", "/MACHINE"},
        {"/DEF"},
        {"/DEF:"},
        {"/DEF:a.def", "/OUT:"},
        {"/DEF:a.def", "/NAME"},
        {"/DEF:a.def", "/DEF:a.def"},
        {"/DEF:a.def", "/OUT:a.lib", "/out:b.lib"},
        {"/NAME:a", "/DEF:a.def", "/NAME:b"},
    };
    for (const std::vector<std::string>& args : cases) {
        LibOptions options;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_FALSE(ParseLibOptions(args, &options, &warnings, &error)) << args.back();
        EXPECT_FALSE(error.empty()) << args.back();
    }
}

TEST(ParseLibOptions, NamesWhatItCannotUse) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"/MACHINE:ARM64EC"},
         "machine X86, IX86, I386, X64, AMD64 or ARM64 expected, but got 'ARM64EC'"},
        {{"/DEF:a.def", "-def:b.def"}, "option /DEF given twice: 'a.def' and 'b.def'"},
    };
    for (const auto& c : cases) {
        LibOptions options;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_FALSE(ParseLibOptions(c.first, &options, &warnings, &error));
        EXPECT_EQ(error, c.second);
    }
}

} // namespace
