#include "import_names.h"

namespace {

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// name@N, with a bare name holding no '@'; the bare name may start with a prefix character.
bool HasStdcallSuffix(const std::string& name, size_t bareStart) {
    const size_t at = name.rfind('@');
    return at != std::string::npos && at > bareStart && IsDigits(name.substr(at + 1)) &&
           name.find('@', bareStart) == at;
}

// Names a Visual C++ caller references exactly as the .def writes them: C++ (?...), fastcall
// (@name@N), vectorcall (name@@N) and stdcall already given its underscore (_name@N).
bool IsWrittenAsSymbol(const std::string& name) {
    if (name[0] == '?')
        return true;
    if (name[0] == '@' || name[0] == '_')
        return HasStdcallSuffix(name, 1);
    const size_t at = name.find("@@");
    return at != std::string::npos && at > 0 && IsDigits(name.substr(at + 2)) &&
           name.find('@') == at;
}

// x86: an entry written as the caller's symbol is imported as written; any other gets the
// C prefix '_' in its symbol, which the loader's name leaves out.
void NameX86(const std::string& name, ImportEntry* entry) {
    if (IsWrittenAsSymbol(name)) {
        entry->symbolName = name;
        entry->nameType = ImportNameType::Name;
    } else {
        entry->symbolName = "_" + name;
        entry->nameType = ImportNameType::NoPrefix;
    }
}

// "entry == importname": the symbol stays the entry's; the import name comes from the symbol
// through the first name type that gives it, or else through an alias of its own import.
void ImportAs(const std::string& importName, Machine machine, ImportEntry* entry) {
    for (ImportNameType type :
         {ImportNameType::Name, ImportNameType::NoPrefix, ImportNameType::Undecorate}) {
        entry->nameType = type;
        if ((type == ImportNameType::Name || machine == Machine::X86) &&
            ImportedName(*entry) == importName)
            return;
    }
    entry->nameType = ImportNameType::Name;
    entry->aliasOf = importName;
}

} // namespace

ImportEntry MakeImportEntry(const DefExport& exported, Machine machine) {
    ImportEntry entry;
    if (machine == Machine::X86) {
        NameX86(exported.name, &entry);
    } else {
        entry.symbolName = exported.name;
        entry.nameType = ImportNameType::Name;
    }
    entry.type = exported.isData ? ImportType::Data : ImportType::Code;
    if (exported.hasOrdinal) {
        entry.nameType = ImportNameType::Ordinal;
        entry.ordinalOrHint = exported.ordinal;
    } else if (!exported.importName.empty()) {
        ImportAs(exported.importName, machine, &entry);
    }
    return entry;
}

std::vector<std::string> PublicSymbols(const ImportEntry& entry) {
    if (entry.type == ImportType::Data)
        return {"__imp_" + entry.symbolName};
    return {entry.symbolName, "__imp_" + entry.symbolName};
}

std::string ImportedName(const ImportEntry& entry) {
    const std::string& symbol = entry.symbolName;
    const bool prefixed =
        !symbol.empty() && (symbol[0] == '?' || symbol[0] == '@' || symbol[0] == '_');
    switch (entry.nameType) {
    case ImportNameType::Ordinal:
        return std::string();
    case ImportNameType::Name:
        return symbol;
    case ImportNameType::NoPrefix:
        return prefixed ? symbol.substr(1) : symbol;
    case ImportNameType::Undecorate: {
        const std::string bare = prefixed ? symbol.substr(1) : symbol;
        return bare.substr(0, bare.find('@'));
    }
    }
    return symbol;
}
