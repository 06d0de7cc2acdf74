#include "def_writer.h"

#include "def_format.h"
#include "def_machine_mark.h"
#include "name_decoration.h"
#include "tool_version.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kIndent = "    ";
constexpr const char* kMadeUpPrefix = "Ordinal";

const ConventionFinding kNotExamined{ConventionKind::NotExamined, 0, ""};

const ConventionFinding& CallOf(const std::vector<ConventionFinding>& calls, size_t entry) {
    return entry < calls.size() ? calls[entry] : kNotExamined;
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Comment text is free-form but must stay on its line.
std::string CommentText(const std::string& text) {
    std::string safe = text;
    std::replace_if(
        safe.begin(), safe.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); },
        '?');
    return safe;
}

// A made-up name for an entry without one: OrdinalN, lengthened until no real name has it.
std::string MadeUpName(uint32_t ordinal, const std::set<std::string>& realNames) {
    std::string name = kMadeUpPrefix + std::to_string(ordinal);
    while (realNames.count(name) != 0) {
        name += '_';
    }
    return name;
}

// The real names a made-up name could take: those that start like one.
std::set<std::string> WritableNames(const ExportTable& table) {
    std::set<std::string> names;
    for (const ExportEntry& entry : table.entries) {
        if (entry.named && entry.name.rfind(kMadeUpPrefix, 0) == 0 && CanWriteDefName(entry.name)) {
            names.insert(entry.name);
        }
    }
    return names;
}

// File names compare without regard to ASCII case, as on Windows.
bool SameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Header(const ExportTable& table, const std::string& dllFileName,
                   const std::string& machineName) {
    std::string text = "; " + CommentText(dllFileName) + ": exports listed by " + kToolName + " " +
                       kToolVersion + kEol;
    text += MachineMarkLine(machineName) + kEol;
    if (!table.internalName.empty() && !SameFileName(table.internalName, dllFileName)) {
        text += "; the export directory names the DLL " + CommentText(table.internalName) + kEol;
    }
    text += std::string(kDefLibrary) + " " + NameAsDefWord(dllFileName) + kEol;
    text += std::string(kDefExports) + kEol;
    return text;
}

void AppendComment(std::string* line, const std::string& comment) {
    *line += " ; " + CommentText(comment);
}

// The names the .def gives so far, and those the DLL exports.
struct WrittenNames {
    std::set<std::string> names;
    std::set<std::string> exported;
};

// Whether _name@N is a symbol Lib takes as written: not for a name that holds an '@' of its
// own, which no C caller can declare anyway; such a name keeps its exported form.
bool CanDecorate(const std::string& name, uint32_t argumentBytes) {
    return IsWrittenAsSymbol(StdcallName(name, argumentBytes));
}

// The comment on an examined export: what its code showed.
std::string CallComment(const ExportEntry& entry, const ConventionFinding& call, bool decorated) {
    if (call.kind == ConventionKind::Stdcall) {
        const std::string bytes = std::to_string(call.argumentBytes);
        if (call.nameTaken) {
            return "stdcall, " + bytes +
                   " bytes of arguments (found in its code); the DLL exports " +
                   StdcallName(entry.name, call.argumentBytes) + " as well";
        }
        if (decorated) {
            return "stdcall, " + bytes + " bytes of arguments (found in its code)";
        }
        const std::string other =
            call.mayReturnStructure
                ? ", or " + StdcallName(entry.name, call.argumentBytes - 4) +
                      " if it returns a structure through a hidden first argument"
                : "";
        return "stdcall: a Visual C++ caller needs " + StdcallName(entry.name, call.argumentBytes) +
               other + " (found in its code)";
    }
    if (call.kind == ConventionKind::Unknown) {
        return "calling convention unknown: " + call.reason + "; check this line";
    }
    return "";
}

// The second name of a function, for a caller that declares it otherwise than its code shows:
// without arguments, where a cdecl call and a stdcall call are the same instructions;
// returning a structure through a hidden pointer, which the decoration does not count; or
// never returning, where no caller's stack is cleaned up after the call. It imports the same
// export by name (lld-link refuses a shared ordinal).
std::string SecondName(const ExportEntry& entry, const ConventionFinding& call, bool writable,
                       bool decorated, WrittenNames* written) {
    if (!writable) {
        return "";
    }
    std::string why;
    uint32_t bytes = 0;
    if (call.kind == ConventionKind::PlainReturn && call.noStackArguments) {
        why = "the same function for a caller that declares it __stdcall: its code reads no "
              "stack argument and returns with ret";
    } else if (call.kind == ConventionKind::Stdcall && call.mayReturnStructure && decorated) {
        bytes = call.argumentBytes - 4;
        why = "the same function for a caller that declares it returning a structure: its "
              "code hands back its first argument in eax, which may be a hidden pointer that " +
              StdcallName(entry.name, bytes) + " leaves out";
    } else if (call.kind == ConventionKind::Unknown && call.neverReturns &&
               call.argumentBytes != 0) {
        bytes = call.argumentBytes;
        why = "the same function for a caller that declares it __stdcall: it never returns, so "
              "either call works, and its code reads " +
              std::to_string(bytes) + " bytes of arguments";
    } else {
        return "";
    }
    // Each name once: a second name that is another export's, or not a symbol Lib takes as
    // written, is left out.
    const std::string second = StdcallName(entry.name, bytes);
    if (!CanDecorate(entry.name, bytes) || written->exported.count(second) != 0 ||
        !written->names.insert(second).second) {
        return "";
    }
    std::string line =
        kIndent + NameAsDefWord(second) + " " + kDefImportName + " " + NameAsDefWord(entry.name);
    AppendComment(&line, why);
    return line + kEol;
}

// EXPORTS entry: name [@ordinal [NONAME]] [DATA] [; comment]...
std::string EntryLine(const ExportEntry& entry, const ConventionFinding& call,
                      const std::set<std::string>& realNames, bool namesOnly,
                      WrittenNames* written) {
    const bool writable = entry.named && CanWriteDefName(entry.name);
    if (!writable && (namesOnly || entry.ordinal == 0)) {
        return std::string(kIndent) + "; ordinal " + std::to_string(entry.ordinal) +
               " has no name and is left out" + kEol;
    }
    // A .def ordinal starts at 1: an export with ordinal 0 can only be imported by name.
    const bool byOrdinal = !namesOnly && entry.ordinal != 0;
    const bool decorate = byOrdinal && call.kind == ConventionKind::Stdcall && !call.nameTaken &&
                          CanDecorate(entry.name, call.argumentBytes);
    const std::string name = !writable  ? MadeUpName(entry.ordinal, realNames)
                             : decorate ? StdcallName(entry.name, call.argumentBytes)
                                        : entry.name;
    // Each name once, as import libraries take them: an export table may list a name twice.
    if (!written->names.insert(name).second) {
        std::string line = std::string(kIndent) + "; " + CommentText(name);
        if (byOrdinal) {
            line += " @" + std::to_string(entry.ordinal);
        }
        return line + " is left out: the .def gives this name already" + kEol;
    }
    std::string line = kIndent + NameAsDefWord(name);
    if (byOrdinal) {
        line += " @" + std::to_string(entry.ordinal);
        if (!writable) {
            line += std::string(" ") + kDefNoName;
        }
    }
    if (entry.data) {
        line += std::string(" ") + kDefData;
    }
    if (entry.forwarded) {
        AppendComment(&line, "forwarded to " + entry.forwarder);
    }
    if (entry.named && !writable) {
        AppendComment(&line, "its name cannot be written in a .def file");
    }
    if (!namesOnly && entry.ordinal == 0) {
        AppendComment(&line, "ordinal 0 cannot be written in a .def file: imported by name");
    }
    if (call.kind == ConventionKind::Stdcall || call.kind == ConventionKind::Unknown) {
        AppendComment(&line, CallComment(entry, call, decorate));
    }
    return line + kEol + SecondName(entry, call, writable, decorate, written);
}

} // namespace

void WriteDefTo(const ExportTable& table, const std::vector<ConventionFinding>& calls,
                const std::string& dllFileName, const std::string& machineName, bool namesOnly,
                const TextSink& sink) {
    const std::set<std::string> realNames = WritableNames(table);
    WrittenNames written;
    for (const ExportEntry& entry : table.entries) {
        if (entry.named) {
            written.exported.insert(entry.name);
        }
    }
    sink(Header(table, dllFileName, machineName));
    for (size_t i = 0; i < table.entries.size(); ++i) {
        sink(EntryLine(table.entries[i], CallOf(calls, i), realNames, namesOnly, &written));
    }
}

std::string WriteDef(const ExportTable& table, const std::vector<ConventionFinding>& calls,
                     const std::string& dllFileName, const std::string& machineName,
                     bool namesOnly) {
    std::string text;
    WriteDefTo(table, calls, dllFileName, machineName, namesOnly,
               [&text](const std::string& piece) { text += piece; });
    return text;
}

DefCounts CountExports(const ExportTable& table, const std::vector<ConventionFinding>& calls) {
    DefCounts counts{table.entries.size(), 0, 0, 0, 0, 0};
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        counts.data += entry.data ? 1 : 0;
        counts.ordinalOnly += entry.named && CanWriteDefName(entry.name) ? 0 : 1;
        counts.forwarded += entry.forwarded ? 1 : 0;
        const ConventionFinding& call = CallOf(calls, i);
        counts.stdcall += call.kind == ConventionKind::Stdcall && !call.nameTaken &&
                                  CanDecorate(entry.name, call.argumentBytes)
                              ? 1
                              : 0;
        counts.unknown += call.kind == ConventionKind::Unknown ? 1 : 0;
    }
    return counts;
}
