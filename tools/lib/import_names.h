#pragma once
// How one export of a .def file becomes an import: the symbol a program links to and how
// the loader finds the function or variable in the DLL.
#include "def_file.h"
#include "machine.h"

#include <cstdint>
#include <string>
#include <vector>

// The Type and Name Type fields of a short import object.
enum class ImportType : uint16_t { Code = 0, Data = 1 };
enum class ImportNameType : uint16_t { Ordinal = 0, Name = 1, NoPrefix = 2, Undecorate = 3 };

struct ImportEntry {
    std::string symbolName; // e.g. _foo, _foo@8, @foo@8, ?foo@@YAXXZ
    ImportType type = ImportType::Code;
    ImportNameType nameType = ImportNameType::Name;
    uint16_t ordinalOrHint = 0;
    // Not empty when no name type gives the import name from the symbol: the symbols are
    // then aliases of those of an import of this name.
    std::string aliasOf;
};

// x86: _name@N, @name@N, name@@N and C++ names (?...) are the symbol as written and are
// imported as written; any other name gets a '_' in its symbol and is imported as written.
// x64: names as written. An export with an ordinal is imported by that ordinal; one with
// "== importname" (and no ordinal) is imported by that name.
ImportEntry MakeImportEntry(const DefExport& entry, Machine machine);

// The archive symbols that resolve to the entry: the symbol itself (code only) and __imp_.
std::vector<std::string> PublicSymbols(const ImportEntry& entry);

// The name the loader looks up, by the entry's Name Type; empty for ordinal imports.
std::string ImportedName(const ImportEntry& entry);
