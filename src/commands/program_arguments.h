// The arguments on the program's own command line: the files dropped on its icon.
#pragma once
#include "program_types.h"

#include <vector>

// Splits a command line as the C runtime's start-up does for ANSI programs, and returns the
// arguments after the program's name. Code-page-936 aware: a double-byte character is copied
// whole, so its second byte 0x5C is never a backslash that escapes a following quote.
std::vector<AnsiText> SplitProgramArguments(const AnsiText& commandLine);
