#include "import_library.h"

#include "archive_writer.h"
#include "import_objects.h"

#include <unordered_set>

namespace {

// The archive index numbers the objects with 16 bits, and three of them describe the DLL.
constexpr size_t kMaxObjects = 65535;
constexpr size_t kDllObjects = 3;

std::vector<ImportEntry> ImportEntries(const DefFile& def, Machine machine) {
    std::vector<ImportEntry> entries;
    entries.reserve(def.exports.size());
    for (const DefExport& exported : def.exports)
        if (!exported.isPrivate)
            entries.push_back(MakeImportEntry(exported, machine));
    return entries;
}

// The objects an alias entry needs: the import it stands for (unless another entry makes it)
// and a weak alias for each of its symbols.
void AddAliasMembers(const ImportEntry& entry, const std::string& dllName, Machine machine,
                     std::unordered_set<std::string>* defined,
                     std::vector<ArchiveMember>* members) {
    DefExport exported;
    exported.name = entry.aliasOf;
    exported.isData = entry.type == ImportType::Data;
    const ImportEntry target = MakeImportEntry(exported, machine);
    if (defined->insert(target.symbolName).second)
        members->push_back(
            {dllName, MakeShortImportObject(target, dllName, machine), PublicSymbols(target)});
    const std::vector<std::string> aliases = PublicSymbols(entry);
    const std::vector<std::string> targets = PublicSymbols(target);
    for (size_t i = 0; i < aliases.size(); ++i)
        members->push_back(
            {dllName, MakeWeakAliasObject(aliases[i], targets[i], machine), {aliases[i]}});
}

} // namespace

bool BuildImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        Bytes* library, std::string* error) {
    const std::vector<ImportEntry> entries = ImportEntries(def, machine);
    if (entries.empty()) {
        *error = def.exports.empty() ? "no exports: the .def file lists none after EXPORTS"
                                     : "no exports: all are PRIVATE";
        return false;
    }
    std::unordered_set<std::string> defined;
    for (const ImportEntry& entry : entries)
        if (entry.aliasOf.empty())
            defined.insert(entry.symbolName);
    std::vector<ArchiveMember> members;
    members.reserve(kDllObjects + entries.size());
    members.push_back(
        {dllName, MakeImportDescriptorObject(dllName, machine), {ImportDescriptorSymbol(dllName)}});
    members.push_back(
        {dllName, MakeNullImportDescriptorObject(machine), {kNullImportDescriptorSymbol}});
    members.push_back({dllName, MakeNullThunkObject(dllName, machine), {NullThunkSymbol(dllName)}});
    for (const ImportEntry& entry : entries) {
        if (!entry.aliasOf.empty())
            AddAliasMembers(entry, dllName, machine, &defined, &members);
        else
            members.push_back(
                {dllName, MakeShortImportObject(entry, dllName, machine), PublicSymbols(entry)});
    }
    if (members.size() > kMaxObjects) {
        *error = "too many exports: " + std::to_string(entries.size()) +
                 " to import; one import library holds at most " +
                 std::to_string(kMaxObjects - kDllObjects) +
                 " (its symbol index numbers the objects with 16 bits, and 3 objects describe "
                 "the DLL; an export imported through '==' may take 3)";
        return false;
    }
    return WriteArchive(members, library, error);
}
