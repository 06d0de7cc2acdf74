#include "commands/program_arguments.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* commandLine;
    std::vector<AnsiText> arguments;
};

TEST(SplitProgramArguments, FollowsTheRuntimesRulesAndKeepsDoubleByteCharactersWhole) {
    const SplitCase cases[] = {
        {"\"C:\\x\\Morvane.exe\"", {}},
        {"Morvane.exe", {}},
        {"", {}},
        {"\"C:\\x\\Morvane.exe\" \"C:\\x\\foo.dll\"", {"C:\\x\\foo.dll"}},
        // As Explorer passes several files: each quoted, blanks between (and after).
        {"\"C:\\Program Files\\M v\\Morvane.exe\"  \"C:\\my files\\a b.dll\"\t C:\\x\\b.def ",
         {"C:\\my files\\a b.dll", "C:\\x\\b.def"}},
        {"Morvane.exe C:\\x\\foo.dll", {"C:\\x\\foo.dll"}},
        // The program's name knows no escapes and ends at its closing quote.
        {"\"C:\\x\\\"a", {"a"}},
        // Double-byte characters whose second byte is 0x5C (乗 81 5C, 淺 9C 5C): before a quote
        // it is no backslash that escapes the quote.
        {"\"C:\\乗\\Morvane.exe\" \"D:\\文件 乗\" \"D:\\淺\\a.dll\"",
         {"D:\\文件 乗", "D:\\淺\\a.dll"}},
        {"M乗.exe 乗\" x\"", {"乗 x"}},
        // Backslashes are literal unless a quote follows them.
        {"M.exe \\\\server\\share\\a.dll", {"\\\\server\\share\\a.dll"}},
        {"M.exe \"C:\\x\\\\\" b", {"C:\\x\\", "b"}},
        {"M.exe a\\\"b", {"a\"b"}},
        {"M.exe a\\\\\\\"b", {"a\\\"b"}},
        // Quotes may surround part of an argument; "" inside quotes is one literal quote.
        {"M.exe a\"b c\"d", {"ab cd"}},
        {"M.exe \"a\"\"b\" c", {"a\"b", "c"}},
        {"M.exe \"\"", {""}},
        {"M.exe \"open end", {"open end"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitProgramArguments(c.commandLine), c.arguments) << c.commandLine;
}

} // namespace
