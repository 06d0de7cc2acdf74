// Start-up: the program's entry after the runtime's own.
#pragma once

// Sets g_instance to the process image and g_icon to its icon IDI_MAIN.
void LoadProgramGlobals();

// Initialises the common controls and the globals, runs the modal main dialog and then ends
// the process with exit code 0, whatever the dialog returned. The arguments are not looked at.
[[noreturn]] void ProgramMain(int argc, char** argv);
