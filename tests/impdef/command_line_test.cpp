#include "command_line.h"

#include <gtest/gtest.h>

namespace {

struct LineCase {
    std::vector<std::string> args;
    CommandAction action;
    const char* dll;
    const char* def;
    bool namesOnly;
    bool asExported;
};

TEST(CommandLine, AcceptsTheFormsTheDialogSends) {
    const LineCase cases[] = {
        {{"C:\\x\\foo.dll", "-o", "C:\\x\\foo.def"},
         CommandAction::Convert,
         "C:\\x\\foo.dll",
         "C:\\x\\foo.def",
         false,
         false},
        {{"C:\\x\\foo.dll", "-c", "-o", "C:\\x\\foo.def"},
         CommandAction::Convert,
         "C:\\x\\foo.dll",
         "C:\\x\\foo.def",
         true,
         false},
        {{"a.dll", "-n", "-c", "-o", "a.def"},
         CommandAction::Convert,
         "a.dll",
         "a.def",
         true,
         true},
        {{"a.dll", "-o", "a.def", "-n"}, CommandAction::Convert, "a.dll", "a.def", false, true},
        {{"-o", "b.def", "a b.dll"}, CommandAction::Convert, "a b.dll", "b.def", false, false},
        {{"-h"}, CommandAction::Help, "", "", false, false},
        {{"a.dll", "--help"}, CommandAction::Help, "", "", false, false},
        {{"--version"}, CommandAction::Version, "", "", false, false},
    };
    for (const LineCase& c : cases) {
        const CommandOptions options = ParseCommandLine(c.args);
        EXPECT_EQ(options.action, c.action) << c.args[0];
        if (c.action == CommandAction::Convert) {
            EXPECT_EQ(options.dllPath, c.dll);
            EXPECT_EQ(options.defPath, c.def);
            EXPECT_EQ(options.namesOnly, c.namesOnly);
            EXPECT_EQ(options.asExported, c.asExported);
        }
    }
}

struct ErrorCase {
    std::vector<std::string> args;
    const char* error;
};

TEST(CommandLine, RejectsIncompleteOrUnknownArguments) {
    const ErrorCase cases[] = {
        {{}, "no DLL given"},
        {{"a.dll"}, "no .def file given (-o)"},
        {{"a.dll", "-o"}, "-o needs the path of the .def file"},
        {{"a.dll", "-o", ""}, "no .def file given (-o)"},
        {{"-o", "a.def"}, "no DLL given"},
        {{"a.dll", "-o", "a.def", "-o", "b.def"}, "-o given twice"},
        {{"a.dll", "b.dll", "-o", "a.def"}, "more than one DLL given: b.dll"},
        {{"a.dll", "-x", "-o", "a.def"}, "unknown option -x"},
    };
    for (const ErrorCase& c : cases) {
        const CommandOptions options = ParseCommandLine(c.args);
        EXPECT_EQ(options.action, CommandAction::UsageError);
        EXPECT_EQ(options.error, c.error);
    }
}

} // namespace
