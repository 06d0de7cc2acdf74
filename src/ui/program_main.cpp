#include "ui/program_main.h"

#include "morvane.h"
#include "ui/app_globals.h"
#include "ui/main_dialog.h"

#include <windows.h>
#include <commctrl.h>

void LoadProgramGlobals() {
    g_instance = GetModuleHandleA(nullptr);
    g_icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_MAIN));
}

void ProgramMain(int, char**) {
    InitCommonControls();
    LoadProgramGlobals();
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
    ExitProcess(0);
}
