#include "def_writer.h"

#include "tool_version.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kIndent = "    ";

// The keywords of Microsoft's, LLVM's and GNU's .def grammars.
constexpr const char* kKeywords[] = {
    "ALIGNCOMM",   "BASE",         "CODE",         "CONSTANT",   "DATA",     "DESCRIPTION",
    "DISCARDABLE", "EXECUTE",      "EXETYPE",      "EXPORTS",    "HEAPSIZE", "IMPORTS",
    "INITGLOBAL",  "INITINSTANCE", "LIBRARY",      "LOADONCALL", "MOVEABLE", "MULTIPLE",
    "NAME",        "NONAME",       "NONSHARED",    "PRELOAD",    "PRIVATE",  "PROTMODE",
    "READ",        "SECTIONS",     "SEGMENTS",     "SHARED",     "SINGLE",   "STACKSIZE",
    "STUB",        "TERMGLOBAL",   "TERMINSTANCE", "VERSION",    "WRITE",
};

bool IsKeyword(const std::string& word) {
    return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                       [&](const char* keyword) { return word == keyword; });
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
    std::string name = "Ordinal" + std::to_string(ordinal);
    while (realNames.count(name) != 0) {
        name += '_';
    }
    return name;
}

std::set<std::string> WritableNames(const ExportTable& table) {
    std::set<std::string> names;
    for (const ExportEntry& entry : table.entries) {
        if (entry.named && CanWriteName(entry.name)) {
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

std::string Header(const ExportTable& table, const std::string& dllFileName) {
    std::string text = "; " + CommentText(dllFileName) + ": exports listed by " + kToolName + " " +
                       kToolVersion + kEol;
    if (!table.internalName.empty() && !SameFileName(table.internalName, dllFileName)) {
        text += "; the export directory names the DLL " + CommentText(table.internalName) + kEol;
    }
    text += "LIBRARY " + DefToken(dllFileName) + kEol;
    text += std::string("EXPORTS") + kEol;
    return text;
}

// EXPORTS entry: name [@ordinal [NONAME]] [DATA] [; forwarded to target]
std::string EntryLine(const ExportEntry& entry, const std::set<std::string>& realNames,
                      bool namesOnly) {
    const bool writable = entry.named && CanWriteName(entry.name);
    if (namesOnly && !writable) {
        return std::string(kIndent) + "; ordinal " + std::to_string(entry.ordinal) +
               " has no name and is left out" + kEol;
    }
    std::string line = kIndent;
    line += writable ? DefToken(entry.name) : MadeUpName(entry.ordinal, realNames);
    if (!namesOnly) {
        line += " @" + std::to_string(entry.ordinal);
        if (!writable) {
            line += " NONAME";
        }
    }
    if (entry.data) {
        line += " DATA";
    }
    if (entry.forwarded) {
        line += " ; forwarded to " + CommentText(entry.forwarder);
    }
    if (entry.named && !writable) {
        line += " ; its name cannot be written in a .def file";
    }
    return line + kEol;
}

} // namespace

std::string DefToken(const std::string& name) {
    const bool plain = !IsKeyword(name) && name.find_first_of(" \t;=,\"'") == std::string::npos &&
                       name.find('@') != 0;
    return plain ? name : "\"" + name + "\"";
}

bool CanWriteName(const std::string& name) {
    return !name.empty() && name.find('"') == std::string::npos &&
           std::none_of(name.begin(), name.end(),
                        [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

std::string WriteDef(const ExportTable& table, const std::string& dllFileName, bool namesOnly) {
    const std::set<std::string> realNames = WritableNames(table);
    std::string text = Header(table, dllFileName);
    for (const ExportEntry& entry : table.entries) {
        text += EntryLine(entry, realNames, namesOnly);
    }
    return text;
}

DefCounts CountExports(const ExportTable& table) {
    DefCounts counts{table.entries.size(), 0, 0, 0};
    for (const ExportEntry& entry : table.entries) {
        counts.data += entry.data ? 1 : 0;
        counts.ordinalOnly += entry.named && CanWriteName(entry.name) ? 0 : 1;
        counts.forwarded += entry.forwarded ? 1 : 0;
    }
    return counts;
}
