// The dialog procedure in this process: the icons (another process is answered no icon by
// Wine, so only here can they be checked) and what each message returns.
#include "dialog_fixture.h"

#include <cctype>

namespace {

TEST_F(OpenDialog, CarriesTheProgramsOwnIconAsBigAndSmallIcon) {
    ASSERT_NE(g_icon, nullptr);
    EXPECT_NE(g_icon, LoadIconA(nullptr, IDI_APPLICATION)); // not the stock icon of that ID
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog_, WM_GETICON, ICON_BIG, 0)), g_icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog_, WM_GETICON, ICON_SMALL, 0)), g_icon);
}

TEST_F(OpenDialog, AnswersTrueForItsOwnMessagesAndFalseForEveryOther) {
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        INT_PTR expected;
    };
    const Case cases[] = {
        {"IDOK", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), TRUE},
        {"IDCANCEL", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), TRUE},
        {"log notification", WM_COMMAND, MAKEWPARAM(IDC_LOG, EN_SETFOCUS), TRUE},
        {"check box click", WM_COMMAND, MAKEWPARAM(IDC_NAMES_ONLY, BN_CLICKED), TRUE},
        {"unknown control", WM_COMMAND, MAKEWPARAM(4242, 0), TRUE},
        {"resize", WM_SIZE, SIZE_RESTORED, TRUE},
        {"minimise", WM_SIZE, SIZE_MINIMIZED, TRUE},
        {"paint", WM_PAINT, 0, FALSE},
        {"timer", WM_TIMER, 1, FALSE},
        {"mouse move", WM_MOUSEMOVE, 0, FALSE},
        {"key down", WM_KEYDOWN, VK_RETURN, FALSE},
    };
    std::string logBefore = LogText();
    for (const Case& c : cases) {
        EXPECT_EQ(MainDlgProc(dialog_, c.message, c.wParam, 0), c.expected) << c.what;
        EXPECT_TRUE(IsWindowVisible(dialog_)) << c.what;
    }
    EXPECT_EQ(LogText(), logBefore);
}

TEST_F(OpenDialog, CloseEndsTheDialog) {
    ASSERT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(MainDlgProc(dialog_, WM_CLOSE, 0, 0), TRUE);
    EXPECT_FALSE(IsWindowVisible(dialog_)); // EndDialog hides a modeless dialog
}

// The manifest linked in with the resources makes the loader take comctl32.dll from the
// side-by-side assembly of the common controls 6.0 for this process, as it does for Morvane.exe.
// (Wine's DllGetVersion says 5.81 even there, so the assembly's folder is what tells.)
TEST_F(OpenDialog, ControlsComeFromVersion6OfTheCommonControls) {
    HMODULE commonControls = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(commonControls, nullptr);
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(commonControls, path, MAX_PATH), 0u);
    std::string lowerPath = path;
    for (char& c : lowerPath) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
#ifdef _WIN64
    const char* assembly = "\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0.";
#else
    const char* assembly = "\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.";
#endif
    EXPECT_NE(lowerPath.find(assembly), std::string::npos) << path;
}

} // namespace
