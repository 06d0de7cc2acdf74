#include "import_names.h"

namespace {

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// name@N (stdcall) or @name@N (fastcall), with a bare name holding no other '@'.
bool IsDecorated(const std::string& name) {
    const size_t at = name.rfind('@');
    if (at == std::string::npos || !IsDigits(name.substr(at + 1)))
        return false;
    const size_t start = name[0] == '@' ? 1 : 0;
    if (at <= start)
        return false;
    const std::string bare = name.substr(start, at - start);
    return !bare.empty() && bare.find('@') == std::string::npos;
}

void NameX86(const std::string& name, ImportEntry* entry) {
    if (name[0] == '?') {
        entry->symbolName = name;
        entry->nameType = ImportNameType::Name;
    } else if (IsDecorated(name)) {
        entry->symbolName = name[0] == '@' ? name : "_" + name;
        entry->nameType = ImportNameType::Undecorate;
    } else {
        entry->symbolName = "_" + name;
        entry->nameType = ImportNameType::NoPrefix;
    }
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
    if (exported.ordinal != 0) {
        entry.nameType = ImportNameType::Ordinal;
        entry.ordinalOrHint = exported.ordinal;
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
