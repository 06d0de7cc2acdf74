#pragma once
// Writes an export table as a module-definition (.def) file that Microsoft's LIB, LLVM's
// tools and GNU dlltool all read. Lines end with CR LF, as Windows editors expect.

#include "convention_finding.h"
#include "export_table.h"

#include <functional>
#include <string>
#include <vector>

struct DefCounts {
    size_t exports;     // entries of the table, each alias counted
    size_t data;        // entries marked DATA
    size_t ordinalOnly; // entries without a name that can be written
    size_t forwarded;
    size_t stdcall; // found to be stdcall in their code
    size_t unknown; // examined, calling convention unknown
};

// The .def text for a DLL whose file name (no folder) is dllFileName, for the machine named
// (MachineName), which its header marks for Lib. calls is empty or holds
// one finding per entry: a stdcall export imported by ordinal is written _name@N, which gives
// the symbol a Visual C++ caller links against; otherwise a comment gives that name. namesOnly
// leaves out the ordinals and every entry that has no name.
std::string WriteDef(const ExportTable& table, const std::vector<ConventionFinding>& calls,
                     const std::string& dllFileName, const std::string& machineName,
                     bool namesOnly);

// The same text handed to sink piece by piece (the header, then a line per entry), so that it
// can be written out as it is made.
using TextSink = std::function<void(const std::string& piece)>;
void WriteDefTo(const ExportTable& table, const std::vector<ConventionFinding>& calls,
                const std::string& dllFileName, const std::string& machineName, bool namesOnly,
                const TextSink& sink);

DefCounts CountExports(const ExportTable& table, const std::vector<ConventionFinding>& calls);
