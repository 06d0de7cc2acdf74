#include "ui/program_main.h"

#include "commands/program_arguments.h"
#include "morvane.h"
#include "ui/app_globals.h"
#include "ui/main_dialog.h"

#include <windows.h>
#include <commctrl.h>

namespace {

constexpr char kNoDialogText[] = "无法创建主对话框!";
constexpr char kStartupErrorCaption[] = "启动程序出错";

} // namespace

void LoadProgramGlobals() {
    g_instance = GetModuleHandleA(nullptr);
    g_icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_MAIN));
}

int RunMainDialog(const std::vector<AnsiText>& givenFiles) {
    INT_PTR ended = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc,
                                    reinterpret_cast<LPARAM>(&givenFiles));
    // -1: the template could not be loaded or the dialog not created, so nothing was shown.
    if (ended != -1)
        return 0;
    MessageBoxA(nullptr, kNoDialogText, kStartupErrorCaption, MB_ICONERROR);
    return 1;
}

void ProgramMain(int, char**) {
    InitCommonControls();
    LoadProgramGlobals();
    const std::vector<AnsiText> givenFiles = SplitProgramArguments(GetCommandLineA());
    ExitProcess(static_cast<UINT>(RunMainDialog(givenFiles)));
}
