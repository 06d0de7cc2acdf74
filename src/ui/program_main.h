// Start-up: the program's entry after the runtime's own.
#pragma once
#include "morvane.h"

#include <vector>

// Sets g_instance to the process image and g_icon to its icon IDI_MAIN.
void LoadProgramGlobals();

// Runs the modal main dialog from g_instance's template; once it shows, it makes the given
// files as if they had been dropped on it. Returns the process exit code: 0 once the dialog
// has closed, 1 when it could not be created (the user has then been told).
int RunMainDialog(const std::vector<AnsiText>& givenFiles = {});

// Initialises the common controls and the globals, runs the main dialog with the files named
// on the command line and ends the process with RunMainDialog's exit code. The arguments are
// not looked at: the command line is split here, by the double-byte rules of code page 936.
[[noreturn]] void ProgramMain(int argc, char** argv);
