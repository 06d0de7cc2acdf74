// Start-up: the program's entry after the runtime's own.
#pragma once

// Sets g_instance to the process image and g_icon to its icon IDI_MAIN.
void LoadProgramGlobals();

// Runs the modal main dialog from g_instance's template. Returns the process exit code: 0 once
// the dialog has closed, 1 when it could not be created (the user has then been told).
int RunMainDialog();

// Initialises the common controls and the globals, runs the main dialog and ends the process
// with RunMainDialog's exit code. The arguments are not looked at.
[[noreturn]] void ProgramMain(int argc, char** argv);
