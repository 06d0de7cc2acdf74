#include "import_library.h"

#include "archive_writer.h"
#include "import_objects.h"

bool BuildImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        Bytes* library, std::string* error) {
    std::vector<ArchiveMember> members;
    members.push_back(
        {dllName, MakeImportDescriptorObject(dllName, machine), {ImportDescriptorSymbol(dllName)}});
    members.push_back(
        {dllName, MakeNullImportDescriptorObject(machine), {kNullImportDescriptorSymbol}});
    members.push_back({dllName, MakeNullThunkObject(dllName, machine), {NullThunkSymbol(dllName)}});
    for (const DefExport& exported : def.exports) {
        if (exported.isPrivate)
            continue;
        const ImportEntry entry = MakeImportEntry(exported, machine);
        members.push_back(
            {dllName, MakeShortImportObject(entry, dllName, machine), PublicSymbols(entry)});
    }
    return WriteArchive(members, library, error);
}
