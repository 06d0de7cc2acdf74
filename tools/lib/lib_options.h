#pragma once
// The command line of the library manager: the subset of LIB options that making an
// import library from a .def file needs.
#include "machine.h"

#include <string>
#include <vector>

struct LibOptions {
    std::string defPath;
    std::string outPath; // empty: derived from defPath
    std::string dllName; // empty: from the .def file
    Machine machine = Machine::X86;
    bool machineGiven = false;
    bool noLogo = false;
    bool showHelp = false;
};

// A /MACHINE value or a .def's machine mark, case-insensitive: X86, IX86, I386, X64, AMD64 or
// ARM64. False for any other.
bool ParseMachine(const std::string& value, Machine* machine);

// Parses the arguments after the program name. Options start with '/' or '-', and their
// names are case-insensitive; values follow a ':'. Unknown options and stray arguments only
// add a line to warnings. Returns false with a message in error when an option is unusable.
bool ParseLibOptions(const std::vector<std::string>& args, LibOptions* options,
                     std::vector<std::string>* warnings, std::string* error);
