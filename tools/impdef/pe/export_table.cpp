#include "export_table.h"

#include "message_text.h"

#include <algorithm>
#include <utility>

namespace {

constexpr uint64_t kExportDirectorySize = 40;
constexpr uint32_t kMaxOrdinal = 0xFFFF;
// Visual C++'s decorated names stop at 4096 bytes; a longer export name is no real one. With
// the total bounded by the file's size, memory stays proportional to the input.
constexpr size_t kMaxNameLength = 4096;
constexpr uint64_t kMaxNameBytesPerFileByte = 4;

// The export directory's fields that the reader uses.
struct ExportDirectory {
    uint32_t nameRva;
    uint32_t ordinalBase;
    uint32_t functionCount;
    uint32_t nameCount;
    uint32_t functionsRva;
    uint32_t namesRva;
    uint32_t nameOrdinalsRva;
};

// Finds the file offset of length bytes at rva, all inside the file and the region's raw data.
bool LocateRange(ByteView file, const PeImage& image, uint32_t rva, uint64_t length,
                 const std::string& what, uint64_t* offset, std::string* error) {
    uint64_t rawEnd = 0;
    if (!MapRva(image, rva, offset, &rawEnd)) {
        *error = "the " + what + " (RVA " + Hex(rva) + ") lies outside every section";
        return false;
    }
    if (!HasRange(file, *offset, length)) {
        *error = "is truncated: the " + what + " runs past the end of the file";
        return false;
    }
    if (*offset + length > rawEnd) {
        *error = "the " + what + " runs past the end of its section";
        return false;
    }
    return true;
}

// What a string is, for error messages: "export name 12". Worded only when needed, since a
// DLL may have tens of thousands of names.
struct StringLabel {
    const char* text;
    int64_t number; // -1: none
};

std::string LabelText(StringLabel what) {
    return what.number < 0 ? what.text : what.text + (" " + std::to_string(what.number));
}

bool ReadString(ByteView file, const PeImage& image, uint32_t rva, StringLabel what,
                std::string* out, std::string* error) {
    uint64_t offset = 0;
    uint64_t rawEnd = 0;
    if (!MapRva(image, rva, &offset, &rawEnd)) {
        *error = "the " + LabelText(what) + " (RVA " + Hex(rva) + ") lies outside every section";
        return false;
    }
    if (!ReadCString(file, offset, rawEnd, out)) {
        *error = rawEnd < file.size
                     ? "the " + LabelText(what) + " runs past the end of its section"
                     : "is truncated: the " + LabelText(what) + " runs past the end of the file";
        return false;
    }
    return true;
}

bool ReadDirectory(ByteView file, const PeImage& image, ExportDirectory* dir, std::string* error) {
    uint64_t at = 0;
    if (!LocateRange(file, image, image.exportRva, kExportDirectorySize, "export directory", &at,
                     error)) {
        return false;
    }
    ReadU32(file, at + 12, &dir->nameRva);
    ReadU32(file, at + 16, &dir->ordinalBase);
    ReadU32(file, at + 20, &dir->functionCount);
    ReadU32(file, at + 24, &dir->nameCount);
    ReadU32(file, at + 28, &dir->functionsRva);
    ReadU32(file, at + 32, &dir->namesRva);
    ReadU32(file, at + 36, &dir->nameOrdinalsRva);
    return true;
}

// The internal name is only shown as a comment: an unreadable one is left empty.
std::string ReadInternalName(ByteView file, const PeImage& image, uint32_t nameRva) {
    std::string name;
    std::string ignored;
    if (nameRva != 0 && ReadString(file, image, nameRva, {"DLL name", -1}, &name, &ignored)) {
        return name;
    }
    return std::string();
}

bool IsForwarder(const PeImage& image, uint32_t address) {
    return address >= image.exportRva &&
           address - static_cast<uint64_t>(image.exportRva) < image.exportSize;
}

bool IsData(const PeImage& image, uint32_t address) {
    const PeSection* section = FindSection(image, address);
    return section != nullptr && !IsExecutable(*section);
}

// Fills the address-derived fields of an entry for function slot `slot`.
bool DescribeSlot(ByteView file, const PeImage& image, const ExportDirectory& dir,
                  uint64_t functions, uint32_t slot, ExportEntry* entry, std::string* error) {
    uint32_t address = 0;
    ReadU32(file, functions + 4ull * slot, &address);
    const uint64_t ordinal = static_cast<uint64_t>(dir.ordinalBase) + slot;
    if (ordinal > kMaxOrdinal) {
        *error = "export ordinal " + std::to_string(ordinal) + " is out of range (above 65535)";
        return false;
    }
    entry->ordinal = static_cast<uint32_t>(ordinal);
    entry->address = address;
    entry->forwarded = IsForwarder(image, address);
    entry->data = !entry->forwarded && IsData(image, address);
    if (entry->forwarded) {
        return ReadString(file, image, address, {"forwarder of ordinal", int64_t(ordinal)},
                          &entry->forwarder, error);
    }
    return true;
}

// A name of the name table: the function slot it names, its place in the table and where its
// text lies. Names are read into the entries themselves, never held twice.
struct NameRef {
    uint32_t slot;
    uint32_t index;
    uint32_t rva;
    bool operator<(const NameRef& other) const {
        return slot != other.slot ? slot < other.slot : index < other.index;
    }
};

// Reads the name table as references sorted by function slot.
bool ReadNames(ByteView file, const PeImage& image, const ExportDirectory& dir,
               std::vector<NameRef>* refs, std::string* error) {
    uint64_t names = 0;
    uint64_t ordinals = 0;
    if (!LocateRange(file, image, dir.namesRva, 4ull * dir.nameCount, "export name pointer table",
                     &names, error) ||
        !LocateRange(file, image, dir.nameOrdinalsRva, 2ull * dir.nameCount,
                     "export name ordinal table", &ordinals, error)) {
        return false;
    }
    refs->reserve(std::min<uint64_t>(dir.nameCount, kMaxOrdinal + 1));
    for (uint32_t i = 0; i < dir.nameCount; ++i) {
        uint32_t nameRva = 0;
        uint16_t slot = 0;
        ReadU32(file, names + 4ull * i, &nameRva);
        ReadU16(file, ordinals + 2ull * i, &slot);
        if (slot >= dir.functionCount) {
            *error = "export name " + std::to_string(i) + " refers to function " +
                     std::to_string(slot) + ", but there are only " +
                     std::to_string(dir.functionCount);
            return false;
        }
        refs->push_back({slot, i, nameRva});
    }
    if (!std::is_sorted(refs->begin(), refs->end())) {
        std::sort(refs->begin(), refs->end());
    }
    return true;
}

// Reads a name of the table into name, holding the names' length to what a real DLL has.
bool ReadName(ByteView file, const PeImage& image, const NameRef& ref, uint64_t* nameBytes,
              std::string* name, std::string* error) {
    if (!ReadString(file, image, ref.rva, {"export name", ref.index}, name, error)) {
        return false;
    }
    if (name->size() > kMaxNameLength) {
        *error = "export name " + std::to_string(ref.index) + " is " +
                 std::to_string(name->size()) + " bytes long; names longer than " +
                 std::to_string(kMaxNameLength) + " bytes are refused";
        return false;
    }
    *nameBytes += name->size();
    if (*nameBytes > kMaxNameBytesPerFileByte * file.size) {
        *error = "the export names add up to more than " +
                 std::to_string(kMaxNameBytesPerFileByte) +
                 " times the file's size; such a table is refused";
        return false;
    }
    return true;
}

} // namespace

bool ReadExportTable(ByteView file, const PeImage& image, ExportTable* table, std::string* error) {
    if (image.exportRva == 0 || image.exportSize == 0) {
        *error = "has no export table";
        return false;
    }
    ExportDirectory dir{};
    uint64_t functions = 0;
    if (!ReadDirectory(file, image, &dir, error) ||
        !LocateRange(file, image, dir.functionsRva, 4ull * dir.functionCount,
                     "export address table", &functions, error)) {
        return false;
    }
    std::vector<NameRef> refs;
    if (dir.nameCount != 0 && !ReadNames(file, image, dir, &refs, error)) {
        return false;
    }
    table->internalName = ReadInternalName(file, image, dir.nameRva);
    table->entries.clear();
    table->entries.reserve(std::min<uint64_t>(dir.functionCount, kMaxOrdinal + 1) + refs.size());
    uint64_t nameBytes = 0;
    auto next = refs.begin();
    for (uint32_t slot = 0; slot < dir.functionCount; ++slot) {
        uint32_t address = 0;
        ReadU32(file, functions + 4ull * slot, &address);
        const bool hasName = next != refs.end() && next->slot == slot;
        if (address == 0 && !hasName) {
            continue; // an unused ordinal
        }
        ExportEntry entry{};
        if (!DescribeSlot(file, image, dir, functions, slot, &entry, error)) {
            return false;
        }
        if (!hasName) {
            table->entries.push_back(std::move(entry));
            continue;
        }
        entry.named = true;
        for (; next != refs.end() && next->slot == slot; ++next) {
            table->entries.push_back(entry);
            if (!ReadName(file, image, *next, &nameBytes, &table->entries.back().name, error)) {
                return false;
            }
        }
    }
    return true;
}
