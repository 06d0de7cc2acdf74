// The program's version: the version block takes it from here, and so does the release
// package's name. Keep the two forms in step.
#pragma once
#define MORVANE_VERSION_NUMBERS 1, 0, 0, 0
#define MORVANE_VERSION_TEXT "1.0.0.0"
