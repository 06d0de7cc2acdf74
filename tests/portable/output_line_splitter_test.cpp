#include "runner/output_line_splitter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SplitterCase {
    const char* name;
    std::string input;
    bool finish;
    std::vector<std::string> lines;
};

std::vector<std::string> Split(const std::string& input, bool finish) {
    std::vector<std::string> lines;
    OutputLineSplitter splitter;
    splitter.sink = [&lines](const AnsiText& line) { lines.push_back(line); };
    Start(splitter);
    for (char byte : input)
        Feed(splitter, byte);
    if (finish)
        Finish(splitter);
    return lines;
}

TEST(OutputLineSplitter, CutsBytesIntoLines) {
    using std::string;
    const string longest(LINE_BUFFER_SIZE - 1, 'x');
    const SplitterCase cases[] = {
        {"LF ends a line", "abc\n", false, {"abc"}},
        {"CR stays in the line", "abc\r\n", false, {"abc\r"}},
        {"two LFs give two empty lines", "\n\n", false, {"", ""}},
        {"unfinished last line is held back", "abc", false, {}},
        {"NUL is ignored", string("a\0b\n", 4), false, {"ab"}},
        {"a NUL alone ends nothing", string("\0\0", 2), true, {}},
        {"empty stream", "", true, {}},
        {"long line keeps its first 4095 bytes", string(5000, 'x') + "\n", false, {longest}},
        {"exactly 4095 bytes pass whole", longest + "\n", false, {longest}},
        {"the line after a cut one starts fresh",
         string(5000, 'x') + "\nyz\n",
         false,
         {longest, "yz"}},
        {"a cut long line gives no continuation line on finish",
         string(5000, 'x'),
         true,
         {longest}},
        {"GBK bytes pass through", "中文输出\r\n", false, {"中文输出\r"}},
        {"lone CR does not end a line", "a\rb\n", false, {"a\rb"}},
        {"several lines in order", "one\ntwo\r\nthree\n", false, {"one", "two\r", "three"}},
    };
    for (const SplitterCase& c : cases)
        EXPECT_EQ(Split(c.input, c.finish), c.lines) << c.name;
}

TEST(OutputLineSplitter, FinishHandsOverOnlyANonEmptyRemainder) {
    const SplitterCase cases[] = {
        {"last line without LF", "first\nlast", true, {"first", "last"}},
        {"remainder of only a CR", "first\n\r", true, {"first", "\r"}},
        {"nothing after the last LF", "first\n", true, {"first"}},
        {"only NULs after the last LF", std::string("first\n\0", 7), true, {"first"}},
    };
    for (const SplitterCase& c : cases)
        EXPECT_EQ(Split(c.input, c.finish), c.lines) << c.name;
}

TEST(OutputLineSplitter, StartDropsWhatAnEarlierRunLeft) {
    std::vector<std::string> lines;
    OutputLineSplitter splitter;
    splitter.sink = [&lines](const AnsiText& line) { lines.push_back(line); };
    Start(splitter);
    for (char byte : std::string("stale"))
        Feed(splitter, byte);
    Start(splitter);
    for (char byte : std::string("new\n"))
        Feed(splitter, byte);
    Finish(splitter);
    EXPECT_EQ(lines, std::vector<std::string>{"new"});
}

} // namespace
