// Start-up: the program's entry after the runtime's own.
#include "commands/program_arguments.h"
#include "ui/main_dialog.h"

#include <commctrl.h>

// Initialises the common controls and the globals, runs the main dialog with the files named
// on the command line and ends the process with RunMainDialog's exit code. The arguments are
// not looked at: the command line is split here, by the double-byte rules of code page 936.
[[noreturn]] void ProgramMain(int, char**) {
    InitCommonControls();
    LoadProgramGlobals();
    const std::vector<AnsiText> givenFiles = SplitProgramArguments(GetCommandLineA());
    ExitProcess(static_cast<UINT>(RunMainDialog(givenFiles)));
}

int main(int argc, char** argv) {
    ProgramMain(argc, argv);
}
