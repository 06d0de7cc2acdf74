#include "import_objects.h"

#include "coff_format.h"
#include "coff_object.h"

const char* const kNullImportDescriptorSymbol = "__NULL_IMPORT_DESCRIPTOR";

namespace {

constexpr uint32_t kIdataFlags = kSectionInitializedData | kSectionRead | kSectionWrite;

// Fields of an import directory entry that point at other sections.
constexpr uint32_t kLookupTableField = 0;
constexpr uint32_t kNameField = 12;
constexpr uint32_t kAddressTableField = 16;

uint16_t ImageRelativeRelocation(Machine machine) {
    if (machine == Machine::X86)
        return 0x0007;                       // IMAGE_REL_I386_DIR32NB
    return machine == Machine::X64 ? 0x0003  // IMAGE_REL_AMD64_ADDR32NB
                                   : 0x0002; // IMAGE_REL_ARM64_ADDR32NB
}

size_t ThunkSize(Machine machine) {
    return machine == Machine::X86 ? 4 : 8;
}

uint32_t ThunkAlignment(Machine machine) {
    return machine == Machine::X86 ? kSectionAlign4 : kSectionAlign8;
}

} // namespace

std::string DllStem(const std::string& dllName) {
    return dllName.substr(0, dllName.rfind('.'));
}

std::string ImportDescriptorSymbol(const std::string& dllName) {
    return "__IMPORT_DESCRIPTOR_" + DllStem(dllName);
}

std::string NullThunkSymbol(const std::string& dllName) {
    return "\x7f" + DllStem(dllName) + "_NULL_THUNK_DATA";
}

Bytes MakeImportDescriptorObject(const std::string& dllName, Machine machine) {
    // .idata$2: the DLL's import directory entry; .idata$6: the DLL's name, even-sized.
    CoffSection directory{
        ".idata$2", kIdataFlags | kSectionAlign4, Bytes(kImportDescriptorSize, 0), {}};
    CoffSection name{".idata$6", kIdataFlags | kSectionAlign2, Bytes(), {}};
    PutText(name.data, dllName, true);
    if (name.data.size() % 2 != 0)
        name.data.push_back(0);
    // Symbol indexes as the relocations use them: 2 the name, 3 the lookup table (.idata$4),
    // 4 the address table (.idata$5); the linker puts those two together per DLL.
    const uint16_t type = ImageRelativeRelocation(machine);
    directory.relocations = {
        {kNameField, 2, type}, {kLookupTableField, 3, type}, {kAddressTableField, 4, type}};
    const std::vector<CoffSymbol> symbols = {
        {ImportDescriptorSymbol(dllName), 0, 1, kSymClassExternal},
        {".idata$2", kIdataFlags, 1, kSymClassSection},
        {".idata$6", 0, 2, kSymClassStatic},
        {".idata$4", kIdataFlags, 0, kSymClassSection},
        {".idata$5", kIdataFlags, 0, kSymClassSection},
        {kNullImportDescriptorSymbol, 0, 0, kSymClassExternal},
        {NullThunkSymbol(dllName), 0, 0, kSymClassExternal},
    };
    return WriteCoffObject(CoffMachine(machine), {directory, name}, symbols);
}

Bytes MakeNullImportDescriptorObject(Machine machine) {
    // .idata$3: the all-zero entry that ends the import directory.
    const CoffSection terminator{
        ".idata$3", kIdataFlags | kSectionAlign4, Bytes(kImportDescriptorSize, 0), {}};
    return WriteCoffObject(CoffMachine(machine), {terminator},
                           {{kNullImportDescriptorSymbol, 0, 1, kSymClassExternal}});
}

Bytes MakeNullThunkObject(const std::string& dllName, Machine machine) {
    // The zero entries that end the DLL's address table (.idata$5) and lookup table (.idata$4).
    const uint32_t flags = kIdataFlags | ThunkAlignment(machine);
    const CoffSection addresses{".idata$5", flags, Bytes(ThunkSize(machine), 0), {}};
    const CoffSection lookups{".idata$4", flags, Bytes(ThunkSize(machine), 0), {}};
    return WriteCoffObject(CoffMachine(machine), {addresses, lookups},
                           {{NullThunkSymbol(dllName), 0, 1, kSymClassExternal}});
}

Bytes MakeWeakAliasObject(const std::string& alias, const std::string& target, Machine machine) {
    // @feat.00 bit 0: the object is safe for /SAFESEH (it holds no code), as x86 links demand.
    constexpr int16_t kAbsolute = -1;
    return WriteCoffObject(CoffMachine(machine), {},
                           {{"@feat.00", 1, kAbsolute, kSymClassStatic},
                            {target, 0, 0, kSymClassExternal},
                            {alias, 0, 0, kSymClassWeakExternal, 1}});
}

void PutShortImportObject(Bytes& out, const ImportEntry& entry, const std::string& dllName,
                          Machine machine) {
    PutU16(out, 0x0000); // Sig1: IMAGE_FILE_MACHINE_UNKNOWN
    PutU16(out, 0xFFFF); // Sig2
    PutU16(out, 0);      // version
    PutU16(out, CoffMachine(machine));
    PutU32(out, 0); // time stamp: none, so the output is reproducible
    PutU32(out, static_cast<uint32_t>(entry.symbolName.size() + 1 + dllName.size() + 1));
    PutU16(out, entry.ordinalOrHint);
    // Type in bits 0-1, Name Type in bits 2-4.
    PutU16(out, static_cast<uint16_t>(static_cast<uint16_t>(entry.type) |
                                      static_cast<uint16_t>(entry.nameType) << 2));
    PutText(out, entry.symbolName, true);
    PutText(out, dllName, true);
}
