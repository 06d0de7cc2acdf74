#include "ui/web_link.h"

#include "fake_browser.h"
#include "import_hook.h"
#include "resource_ids.h"
#include "test_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

struct LinkDialog {
    LinkDialog() : dialog(false), link(GetDlgItem(dialog.handle, IDC_WEB_LINK)) {
        SetUpWebLink(dialog.handle);
        GetClientRect(link, &client);
    }
    ~LinkDialog() { ReleaseCapture(); }
    void MoveTo(int x, int y) {
        SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }
    TestDialog dialog;
    HWND link;
    RECT client;
};

TEST(WebLink, AMoveOntoTheControlGivesTheHandCursorAndTheCapture) {
    LinkDialog link;
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    link.MoveTo(1, 1);
    EXPECT_EQ(GetCapture(), link.link);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
    // Further moves inside keep the capture, the far edges included.
    link.MoveTo(link.client.right, link.client.bottom);
    EXPECT_EQ(GetCapture(), link.link);
    link.MoveTo(0, 0);
    EXPECT_EQ(GetCapture(), link.link);
}

struct LeaveCase {
    const char* side;
    int x;
    int y;
};

TEST(WebLink, AMovePastAnyEdgeReleasesTheCapture) {
    LinkDialog link;
    const int right = link.client.right;
    const int bottom = link.client.bottom;
    const LeaveCase cases[] = {
        {"left", -1, 2},
        {"top", 2, -1},
        {"right", right + 1, 2},
        {"bottom", 2, bottom + 1},
    };
    for (const LeaveCase& c : cases) {
        link.MoveTo(2, 2);
        ASSERT_EQ(GetCapture(), link.link) << c.side;
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        link.MoveTo(c.x, c.y);
        EXPECT_EQ(GetCapture(), nullptr) << c.side;
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND)) << c.side;
    }
}

TEST(WebLink, ReleasingTheLeftButtonReleasesTheCapture) {
    LinkDialog link;
    link.MoveTo(2, 2);
    ASSERT_EQ(GetCapture(), link.link);
    SendMessageA(link.link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST(WebLink, OtherMessagesReachTheStaticControl) {
    LinkDialog link;
    EXPECT_EQ(GetWindowLongPtrA(link.link, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(LinkWndProc));
    SetWindowTextA(link.link, "網站 link");
    char text[32] = {};
    GetWindowTextA(link.link, text, sizeof(text));
    EXPECT_STREQ(text, "網站 link");
    // The static still reports a click to its dialog, through the previous procedure.
    EXPECT_EQ(SendMessageA(link.link, WM_NCHITTEST, 0, 0), HTCLIENT);
}

TEST(WebLink, OpenWebSiteStartsTheBrowserOnceWithTheAddress) {
    ASSERT_TRUE(InstallFakeBrowser());
    TestDialog dialog;
    OpenWebSite(dialog.handle);
    std::string record;
    for (int waited = 0; waited < 10000 && record.empty(); waited += 50) {
        Sleep(50);
        record = ReadWholeFile(FakeBrowserRecord());
    }
    Sleep(500); // a second start would show up by now
    record = ReadWholeFile(FakeBrowserRecord());
    RemoveFakeBrowser();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.find('\n'), record.size() - 1) << record;
    EXPECT_EQ(ArgumentsOf(record.substr(0, record.size() - 1)), kWebSiteAddress);
}

struct ShellCall {
    HWND owner;
    std::string verb, file, parameters;
    LPCSTR directory;
    INT show;
};
ShellCall g_shell;

std::string TextOrNull(LPCSTR text) {
    return text ? text : "(null)";
}

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show) {
    g_shell = {owner, TextOrNull(verb), TextOrNull(file), TextOrNull(parameters), directory, show};
    return reinterpret_cast<HINSTANCE>(33); // above 32: success
}

TEST(WebLink, OpenWebSiteAsksTheShellToOpenTheBrowserShownNormally) {
    ImportHook hook("shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(RecordShellExecute));
    ASSERT_NE(hook.slot, nullptr);
    TestDialog dialog;
    g_shell = {};
    OpenWebSite(dialog.handle);
    EXPECT_EQ(g_shell.owner, dialog.handle);
    EXPECT_EQ(g_shell.verb, "Open");
    EXPECT_EQ(g_shell.file, "iexplore.exe");
    EXPECT_EQ(g_shell.parameters, kWebSiteAddress);
    EXPECT_EQ(g_shell.directory, nullptr);
    EXPECT_EQ(g_shell.show, SW_SHOWNORMAL);
}

} // namespace
