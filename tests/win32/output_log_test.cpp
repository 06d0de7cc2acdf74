// The log box: the usage note at start, and lines appended at its very end.
#include "dialog_fixture.h"
#include "ui/output_log.h"

#include <vector>

namespace {

TEST(LoadUsageNote, FindsOnlyAnRcdataResourceOfThisProgram) {
    LoadProgramGlobals();
    struct Case {
        const char* what;
        int id;
        bool found;
    };
    const Case cases[] = {
        {"the usage note", IDR_USAGE_NOTE, true},
        {"no resource of that ID", 4242, false},
        {"the link bitmap, not RCDATA", IDB_LINK, false},
        {"the dialog template, not RCDATA", IDD_MAIN, false},
    };
    for (const Case& c : cases) {
        std::optional<std::string_view> note = LoadUsageNote(c.id);
        EXPECT_EQ(note.has_value(), c.found) << c.what;
        if (note) {
            EXPECT_FALSE(note->empty()) << c.what;
        }
    }
}

TEST_F(OpenDialog, LogStartsWithExactlyTheUsageNote) {
    std::optional<std::string_view> note = LoadUsageNote(IDR_USAGE_NOTE);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(LogText(), *note);
}

TEST_F(OpenDialog, LogStartsEmptyWhenTheProgramHasNoNote) {
    g_instance = GetModuleHandleA("kernel32.dll"); // a module without our resources
    SetDlgItemTextA(dialog_, IDC_LOG, "left over");
    SetUpLog(dialog_);
    EXPECT_EQ(LogText(), "");
}

TEST_F(OpenDialog, AppendPutsALineBreakBeforeEachTextAndNoneAfter) {
    struct Case {
        const char* what;
        const char* start;
        std::vector<AnsiText> appended;
        const char* expected;
    };
    const Case cases[] = {
        {"one line", "note", {"first"}, "note\r\nfirst"},
        {"empty text adds only a line break", "note", {""}, "note\r\n"},
        {"two empty texts add two", "note", {"", ""}, "note\r\n\r\n"},
        {"a command's empty line, then output", "note", {"", "out"}, "note\r\n\r\nout"},
        {"a text ending in CR keeps it", "note", {"line\r", "next"}, "note\r\nline\r\r\nnext"},
        {"into an empty log", "", {"a"}, "\r\na"},
        {"code page 936 text", "note", {"生成成功", "完成"}, "note\r\n生成成功\r\n完成"},
    };
    for (const Case& c : cases) {
        SetDlgItemTextA(dialog_, IDC_LOG, c.start);
        for (const AnsiText& text : c.appended) {
            AppendLogLine(dialog_, text);
        }
        EXPECT_EQ(LogText(), c.expected) << c.what;
    }
}

TEST_F(OpenDialog, AppendGoesToTheEndWhateverIsSelected) {
    struct Selection {
        int start, end;
    };
    const Selection selections[] = {{0, 4}, {0, -1}, {2, 2}, {1, 3}};
    for (const Selection& selection : selections) {
        SetDlgItemTextA(dialog_, IDC_LOG, "note");
        SendDlgItemMessageA(dialog_, IDC_LOG, EM_SETSEL, selection.start, selection.end);
        AppendLogLine(dialog_, "tail");
        EXPECT_EQ(LogText(), "note\r\ntail") << selection.start << ".." << selection.end;
    }
}

TEST_F(OpenDialog, NoAppendedLineIsLostBeyondTheEditControlsDefaultLimit) {
    std::string expected = LogText();
    const std::string body(1000, 'x');
    for (int i = 0; expected.size() < 220 * 1024; ++i) {
        AnsiText line = "line " + std::to_string(i) + " " + body;
        AppendLogLine(dialog_, line);
        expected += "\r\n" + line;
    }
    std::string log = LogText();
    EXPECT_EQ(log.size(), expected.size());
    EXPECT_TRUE(log == expected); // not EXPECT_EQ: a 220 KB diff helps nobody
}

} // namespace
