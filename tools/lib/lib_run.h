#pragma once
// The library manager as a whole: command line in, import library and messages out.
#include <string>
#include <vector>

// Runs with the arguments after the program name; messages are appended to out, warnings and
// errors to err. Returns the exit code: 0 on success, 1 on any error.
int RunLib(const std::vector<std::string>& args, std::string* out, std::string* err);
