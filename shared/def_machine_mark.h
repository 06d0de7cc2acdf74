#pragma once
// The machine a module-definition (.def) file is for, as qen_impdef marks it among the comment
// lines at the top of the files it writes:
//
//   ; machine: X64
//
// Every .def reader takes it for the comment it is. Lib makes its library for that machine, and
// Morvane asks Lib for it. Only the comment lines before the first other line count: a mark
// further down is the user's own text.
#include <string>
#include <string_view>

// The names, as Lib's /MACHINE option spells them.
constexpr char kMachineNameX86[] = "X86";
constexpr char kMachineNameX64[] = "X64";
constexpr char kMachineNameArm64[] = "ARM64";

// The mark's comment line for the machine, without a line end. Inline, so that qen_impdef,
// which only writes the mark, carries no reader.
inline std::string MachineMarkLine(std::string_view machineName) {
    return "; machine: " + std::string(machineName);
}

struct MachineMark {
    std::string machineName; // as written; empty when there is no mark
    int line = 0;            // 1-based
};

// The mark of a .def text, or of its beginning: the first that stands among the comment and
// blank lines before the first other line.
MachineMark FindMachineMark(std::string_view defText);
