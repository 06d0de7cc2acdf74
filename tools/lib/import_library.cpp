#include "import_library.h"

#include "archive_writer.h"
#include "import_objects.h"

#include <unordered_set>

namespace {

// The archive index numbers the objects with 16 bits, and three of them describe the DLL.
constexpr size_t kMaxObjects = 65535;
constexpr size_t kDllObjects = 3;
// For reserving room: the fixed part of a short import object, and more than the three
// descriptor objects take with their names.
constexpr size_t kShortImportHeaderSize = 20;
constexpr size_t kDescriptorObjectsSize = 4096;

// The library's objects and symbol names, each back to back in one buffer, so that a large
// library takes few allocations; members refer to them by offset until both are complete.
struct LibraryContents {
    const std::string& dllName;
    Machine machine;
    Bytes objects;
    std::string names; // each name followed by a NUL
    struct PlannedMember {
        size_t object;
        size_t size;
        size_t symbols[2]; // offsets into names
        size_t lengths[2];
        size_t symbolCount;
    };
    std::vector<PlannedMember> planned;
};

size_t AddName(LibraryContents& contents, std::string_view prefix, std::string_view name) {
    const size_t offset = contents.names.size();
    contents.names.append(prefix).append(name).push_back('\0');
    return offset;
}

// Adds a member whose object is what was appended to contents.objects since start, with the
// symbols prefix + name.
void AddMember(LibraryContents& contents, size_t start,
               std::initializer_list<std::pair<std::string_view, std::string_view>> symbols) {
    LibraryContents::PlannedMember member{start, contents.objects.size() - start, {}, {}, 0};
    for (const auto& symbol : symbols) {
        member.lengths[member.symbolCount] = symbol.first.size() + symbol.second.size();
        member.symbols[member.symbolCount++] = AddName(contents, symbol.first, symbol.second);
    }
    contents.planned.push_back(member);
}

void AddObject(LibraryContents& contents, const Bytes& object, const std::string& symbol) {
    const size_t start = contents.objects.size();
    contents.objects.insert(contents.objects.end(), object.begin(), object.end());
    AddMember(contents, start, {{"", symbol}});
}

void AddShortImport(LibraryContents& contents, const ImportEntry& entry) {
    const size_t start = contents.objects.size();
    PutShortImportObject(contents.objects, entry, contents.dllName, contents.machine);
    if (entry.type == ImportType::Data)
        AddMember(contents, start, {{"__imp_", entry.symbolName}});
    else
        AddMember(contents, start, {{"", entry.symbolName}, {"__imp_", entry.symbolName}});
}

// The objects an alias entry needs: the import it stands for (unless another entry makes it)
// and a weak alias for each of its symbols.
void AddAlias(LibraryContents& contents, const ImportEntry& entry,
              std::unordered_set<std::string>* defined) {
    DefExport exported;
    exported.name = entry.aliasOf;
    exported.isData = entry.type == ImportType::Data;
    const ImportEntry target = MakeImportEntry(exported, contents.machine);
    if (defined->insert(target.symbolName).second)
        AddShortImport(contents, target);
    const std::vector<std::string> aliases = PublicSymbols(entry);
    const std::vector<std::string> originals = PublicSymbols(target);
    for (size_t i = 0; i < aliases.size(); ++i)
        AddObject(contents, MakeWeakAliasObject(aliases[i], originals[i], contents.machine),
                  aliases[i]);
}

// The members as views, once the buffers no longer grow.
std::vector<ArchiveMember> Members(const LibraryContents& contents) {
    std::vector<ArchiveMember> members;
    members.reserve(contents.planned.size());
    for (const LibraryContents::PlannedMember& p : contents.planned) {
        ArchiveMember member{contents.dllName, contents.objects.data() + p.object, p.size, {}, 0};
        for (; member.symbolCount < p.symbolCount; ++member.symbolCount) {
            const size_t i = member.symbolCount;
            member.symbols[i] = std::string_view(contents.names).substr(p.symbols[i], p.lengths[i]);
        }
        members.push_back(member);
    }
    return members;
}

// Whether any export is imported through "==" in a way that needs an alias.
bool NeedsAliases(const DefFile& def, Machine machine) {
    for (const DefExport& exported : def.exports)
        if (!exported.importName.empty() && !MakeImportEntry(exported, machine).aliasOf.empty())
            return true;
    return false;
}

bool CheckCounts(const DefFile& def, size_t entries, size_t members, std::string* error) {
    if (entries == 0) {
        *error = def.exports.empty() ? "no exports: the .def file lists none after EXPORTS"
                                     : "no exports: all are PRIVATE";
        return false;
    }
    if (members > kMaxObjects) {
        *error = "too many exports: " + std::to_string(entries) +
                 " to import; one import library holds at most " +
                 std::to_string(kMaxObjects - kDllObjects) +
                 " (its symbol index numbers the objects with 16 bits, and 3 objects describe "
                 "the DLL; an export imported through '==' may take 3)";
        return false;
    }
    return true;
}

} // namespace

bool WriteImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        const ByteSink& sink, std::string* error) {
    // The symbols that entries define, needed only to see whether an alias's import exists.
    std::unordered_set<std::string> defined;
    const bool aliases = NeedsAliases(def, machine);
    size_t namesSize = 0;
    for (const DefExport& exported : def.exports) {
        namesSize += 2 * (exported.name.size() + 1) + 8;
        if (aliases && !exported.isPrivate) {
            const ImportEntry entry = MakeImportEntry(exported, machine);
            if (entry.aliasOf.empty())
                defined.insert(entry.symbolName);
        }
    }
    LibraryContents contents{dllName, machine, {}, {}, {}};
    contents.objects.reserve(kDescriptorObjectsSize +
                             def.exports.size() * (kShortImportHeaderSize + dllName.size() + 2) +
                             namesSize / 2);
    contents.names.reserve(kDescriptorObjectsSize + namesSize);
    contents.planned.reserve(kDllObjects + def.exports.size());
    AddObject(contents, MakeImportDescriptorObject(dllName, machine),
              ImportDescriptorSymbol(dllName));
    AddObject(contents, MakeNullImportDescriptorObject(machine), kNullImportDescriptorSymbol);
    AddObject(contents, MakeNullThunkObject(dllName, machine), NullThunkSymbol(dllName));
    size_t imported = 0;
    for (const DefExport& exported : def.exports) {
        if (exported.isPrivate)
            continue;
        ++imported;
        const ImportEntry entry = MakeImportEntry(exported, machine);
        if (entry.aliasOf.empty())
            AddShortImport(contents, entry);
        else
            AddAlias(contents, entry, &defined);
    }
    if (!CheckCounts(def, imported, contents.planned.size(), error))
        return false;
    const std::vector<ArchiveMember> members = Members(contents);
    std::vector<LibraryContents::PlannedMember>().swap(contents.planned);
    return WriteArchive(members, sink, error);
}

bool BuildImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        Bytes* library, std::string* error) {
    library->clear();
    return WriteImportLibrary(def, dllName, machine, ByteSink{library, nullptr}, error);
}
