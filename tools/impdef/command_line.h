#pragma once
// The definition tool's command line: qen_impdef DLL [-c] [-n] -o DEF, -h/--help, --version.

#include <string>
#include <vector>

enum class CommandAction { Convert, Help, Version, UsageError };

struct CommandOptions {
    CommandAction action;
    std::string dllPath;
    std::string defPath;
    bool namesOnly;    // -c: names without ordinals
    bool asExported;   // -n: no stdcall decorations from the code, no comments on them
    std::string error; // what is wrong, for UsageError
};

// args excludes the program name.
CommandOptions ParseCommandLine(const std::vector<std::string>& args);

// The usage text, lines ended by LF.
std::string UsageText();
