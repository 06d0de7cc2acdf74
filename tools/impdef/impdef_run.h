#pragma once
// The whole tool behind main: parses the arguments, reads the DLL, writes the .def and
// says what happened. Returns the exit code: 0 done, 1 failed, 2 usage error.

#include <string>
#include <vector>

// args excludes the program name. Normal output goes to out, errors and usage to err;
// every line ends with LF.
int RunImpdef(const std::vector<std::string>& args, std::string* out, std::string* err);
