#pragma once
// A module-definition (.def) file as far as an import library needs it: the DLL's name and
// its exports.
#include <cstdint>
#include <string>
#include <vector>

struct DefExport {
    std::string name;       // the entry name as written, decorations included
    std::string importName; // from "== name": what the DLL exports; empty when not given
    uint16_t ordinal = 0;
    bool hasOrdinal = false; // ordinal 0 is a real one in a DLL whose ordinal base is 0
    bool noName = false;
    bool isPrivate = false;
    bool isData = false;
    int line = 0;
};

struct DefFile {
    std::string libraryName; // from LIBRARY or NAME; empty when there is none
    std::string machineMark; // the machine qen_impdef marked it for; empty when unmarked
    int machineMarkLine = 0;
    std::vector<DefExport> exports;
    // "file(line): ..." for each entry left out because an earlier one has its name
    std::vector<std::string> warnings;
};

// Reads the .def text (lines end with CR, LF or CR LF; a UTF-8 byte order mark is skipped);
// fileName only labels errors and warnings. A name given twice is a warning, and the first
// entry is kept, as Microsoft's library manager does. Returns false with the error, "file(line):
// ...", in error.
bool ParseDefText(const std::string& text, const std::string& fileName, DefFile* def,
                  std::string* error);

// Reads and parses the file at path; a file that cannot be read gives its reason.
bool ReadDefFile(const std::string& path, DefFile* def, std::string* error);
