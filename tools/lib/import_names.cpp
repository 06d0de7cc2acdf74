#include "import_names.h"

#include "name_decoration.h"

namespace {

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
