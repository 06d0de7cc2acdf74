// Runs one tool as a hidden child process and puts its output into the log, line by line.
#pragma once
#include "program_types.h"

// Returns 0 once the child's output has ended, -1 when the pipe or the process could not be
// created (the user has then been told).
[[nodiscard]] int RunTool(DialogHandle dialog, CommandLine commandLine);
