#include "coff_object.h"

#include "coff_format.h"

namespace {

constexpr uint32_t kRelocationSize = 10;
constexpr size_t kShortNameSize = 8;
constexpr uint32_t kStringTableSizeField = 4;
constexpr uint32_t kSymbolRecordSize = 18;
// A weak external searches for its default as an alias, not in libraries.
constexpr uint32_t kWeakExternSearchAlias = 3;

uint32_t Size(const Bytes& bytes) {
    return static_cast<uint32_t>(bytes.size());
}

// A symbol name of up to 8 bytes sits in the record; a longer one goes to the string table.
void PutSymbolName(Bytes& out, const std::string& name, Bytes& strings) {
    if (name.size() <= kShortNameSize) {
        PutField(out, name, kShortNameSize, '\0');
        return;
    }
    PutU32(out, 0);
    PutU32(out, kStringTableSizeField + Size(strings)); // offsets count the size field
    PutText(strings, name, true);
}

} // namespace

Bytes WriteCoffObject(uint16_t machine, const std::vector<CoffSection>& sections,
                      const std::vector<CoffSymbol>& symbols) {
    uint32_t offset = kFileHeaderSize + kSectionHeaderSize * static_cast<uint32_t>(sections.size());
    Bytes out;
    // File header; the symbol table's place is filled in below.
    PutU16(out, machine);
    PutU16(out, static_cast<uint16_t>(sections.size()));
    PutU32(out, 0); // time stamp: none, so the output is reproducible
    const size_t symbolTablePointer = out.size();
    PutU32(out, 0);
    uint32_t records = 0;
    for (const CoffSymbol& symbol : symbols)
        records += symbol.weakDefault < 0 ? 1 : 2;
    PutU32(out, records);
    PutU16(out, 0); // no optional header
    PutU16(out, 0);
    // Section headers; each section's data is followed by its relocations.
    for (const CoffSection& section : sections) {
        const uint32_t relocationsSize =
            kRelocationSize * static_cast<uint32_t>(section.relocations.size());
        PutField(out, section.name, kShortNameSize, '\0');
        PutU32(out, 0); // virtual size
        PutU32(out, 0); // virtual address
        PutU32(out, Size(section.data));
        PutU32(out, section.data.empty() ? 0 : offset);
        PutU32(out, relocationsSize == 0 ? 0 : offset + Size(section.data));
        PutU32(out, 0); // no line numbers
        PutU16(out, static_cast<uint16_t>(section.relocations.size()));
        PutU16(out, 0);
        PutU32(out, section.characteristics);
        offset += Size(section.data) + relocationsSize;
    }
    // Section data and relocations.
    for (const CoffSection& section : sections) {
        out.insert(out.end(), section.data.begin(), section.data.end());
        for (const CoffRelocation& relocation : section.relocations) {
            PutU32(out, relocation.offset);
            PutU32(out, relocation.symbolIndex);
            PutU16(out, relocation.type);
        }
    }
    // Symbol table, then the string table: its size (which counts itself) and the names.
    PatchU32(out, symbolTablePointer, Size(out));
    Bytes strings;
    for (const CoffSymbol& symbol : symbols) {
        PutSymbolName(out, symbol.name, strings);
        PutU32(out, symbol.value);
        PutU16(out, static_cast<uint16_t>(symbol.sectionNumber));
        PutU16(out, 0); // type: not a function
        out.push_back(symbol.storageClass);
        out.push_back(symbol.weakDefault < 0 ? 0 : 1); // auxiliary records
        if (symbol.weakDefault >= 0) {
            PutU32(out, static_cast<uint32_t>(symbol.weakDefault));
            PutU32(out, kWeakExternSearchAlias);
            PutZeros(out, kSymbolRecordSize - 8);
        }
    }
    PutU32(out, kStringTableSizeField + Size(strings));
    out.insert(out.end(), strings.begin(), strings.end());
    return out;
}
