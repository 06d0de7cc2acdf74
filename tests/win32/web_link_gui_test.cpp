// The link bitmap of the real Morvane.exe, driven from outside with mouse messages sent to the
// control (they run at once in the dialog's thread); the capture is read with GetGUIThreadInfo.
// Wine hands out cursor handles per process, so the hand cursor is checked in-process.
#include "fake_browser.h"
#include "gui_driver.h"
#include "resource_ids.h"
#include "ui/web_link.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kWaitMs = 20000;

class LinkOfRunningProgram : public testing::Test {
  protected:
    // The real pointer is parked in the screen's corner, away from every test's windows: a
    // window that appears or goes under it makes the system queue a mouse move from there,
    // which would release a capture taken meanwhile. The moves the dialog's own showing
    // queued are handled before the first test.
    static void SetUpTestSuite() {
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        folder_ = MakeProgramFolder(WindowsPathOf(MORVANE_EXE), {});
        ASSERT_FALSE(folder_.empty());
        ASSERT_TRUE(StartProgram(folder_ + "\\Morvane.exe", program_));
        WaitForInputIdle(program_.process, kWaitMs);
        Sleep(500);
    }
    static void TearDownTestSuite() {
        DWORD exitCode = 0;
        CloseAndWait(program_, kWaitMs, exitCode);
        StopProgram(program_);
        RemoveProgramFolder(folder_);
    }
    void SetUp() override {
        ASSERT_NE(program_.dialog, nullptr);
        link_ = GetDlgItem(program_.dialog, IDC_WEB_LINK);
        ASSERT_NE(link_, nullptr);
        GetClientRect(link_, &client_);
    }
    void Send(UINT message, int x, int y) {
        ASSERT_TRUE(SendWithTimeout(link_, message, 0,
                                    MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y))));
    }
    // Every release of the capture makes the system queue a mouse move from the real pointer's
    // place. Were it handled after the next move had taken the capture again, it would release
    // it: give the dialog time to handle it while nothing holds the capture.
    void LetTheReleaseSettle() { Sleep(200); }
    HWND Capture() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(program_.dialog, nullptr), &info);
        return info.hwndCapture;
    }

    static std::string folder_;
    static RunningProgram program_;
    HWND link_ = nullptr;
    RECT client_ = {};
};

std::string LinkOfRunningProgram::folder_;
RunningProgram LinkOfRunningProgram::program_;

TEST_F(LinkOfRunningProgram, AMoveOntoItTakesTheCaptureAndMovesInsideKeepIt) {
    Send(WM_MOUSEMOVE, 1, 1);
    EXPECT_EQ(Capture(), link_);
    Send(WM_MOUSEMOVE, client_.right, client_.bottom);
    EXPECT_EQ(Capture(), link_);
    Send(WM_LBUTTONUP, 1, 1);
    LetTheReleaseSettle();
}

TEST_F(LinkOfRunningProgram, AMovePastAnyOfTheFourEdgesReleasesTheCapture) {
    struct Leave {
        const char* side;
        int x;
        int y;
    };
    const Leave leaves[] = {
        {"left", -1, 3},
        {"top", 3, -1},
        {"right", client_.right + 1, 3},
        {"bottom", 3, client_.bottom + 1},
    };
    for (const Leave& leave : leaves) {
        Send(WM_MOUSEMOVE, 3, 3);
        ASSERT_EQ(Capture(), link_) << leave.side;
        Send(WM_MOUSEMOVE, leave.x, leave.y);
        EXPECT_EQ(Capture(), nullptr) << leave.side;
        LetTheReleaseSettle();
    }
}

TEST_F(LinkOfRunningProgram, ReleasingTheLeftButtonReleasesTheCapture) {
    Send(WM_MOUSEMOVE, 3, 3);
    ASSERT_EQ(Capture(), link_);
    Send(WM_LBUTTONUP, 3, 3);
    EXPECT_EQ(Capture(), nullptr);
    LetTheReleaseSettle();
}

// Waits until the record holds `lines` lines (or the time is up), then a little longer so
// that an extra start would show, and returns it.
std::string BrowserRecordOf(size_t lines) {
    std::string record;
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        record = ReadWholeFile(FakeBrowserRecord());
        if (static_cast<size_t>(std::count(record.begin(), record.end(), '\n')) >= lines)
            break;
        Sleep(50);
    }
    Sleep(1000);
    return ReadWholeFile(FakeBrowserRecord());
}

TEST_F(LinkOfRunningProgram, AClickOpensTheSiteOnceInTheBrowser) {
    ASSERT_TRUE(InstallFakeBrowser());
    Send(WM_LBUTTONDOWN, 3, 3);
    Send(WM_LBUTTONUP, 3, 3);
    std::string afterClick = BrowserRecordOf(1);
    // A double click's second press notifies once more and so opens the site once more.
    Send(WM_LBUTTONDBLCLK, 3, 3);
    Send(WM_LBUTTONUP, 3, 3);
    std::string afterDoubleClick = BrowserRecordOf(2);
    RemoveFakeBrowser();

    ASSERT_FALSE(afterClick.empty());
    EXPECT_EQ(afterClick.find('\n'), afterClick.size() - 1) << afterClick;
    std::string commandLine = afterClick.substr(0, afterClick.size() - 1);
    EXPECT_EQ(ArgumentsOf(commandLine), kWebSiteAddress);
    EXPECT_EQ(afterDoubleClick, afterClick + commandLine + "\n");
}

} // namespace
