#pragma once
// The numbers of the PE/COFF format that both tools use: qen_impdef reads them in a DLL, Lib
// writes them in the objects of an import library.

#include <cstdint>

// The Machine field of the file header.
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
// One entry of the import directory.
constexpr uint32_t kImportDescriptorSize = 20;

// Section characteristics.
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionInitializedData = 0x00000040;
constexpr uint32_t kSectionAlign2 = 0x00200000;
constexpr uint32_t kSectionAlign4 = 0x00300000;
constexpr uint32_t kSectionAlign8 = 0x00400000;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;

// An import lookup entry of a 32-bit image that holds an ordinal, not a name.
constexpr uint32_t kImportByOrdinal32 = 0x80000000;
