#pragma once
// A minimal COFF object file writer: sections with relocations, symbols, string table.
#include "byte_writer.h"

#include <cstdint>
#include <string>
#include <vector>

struct CoffRelocation {
    uint32_t offset;
    uint32_t symbolIndex;
    uint16_t type;
};

struct CoffSection {
    std::string name; // at most 8 bytes
    uint32_t characteristics;
    Bytes data;
    std::vector<CoffRelocation> relocations;
};

struct CoffSymbol {
    std::string name;
    uint32_t value;
    int16_t sectionNumber; // 1-based; 0: undefined
    uint8_t storageClass;
    // A weak external's default: the index of the symbol it stands for when nothing defines
    // it; -1 for other symbols.
    int32_t weakDefault = -1;
};

constexpr uint8_t kSymClassExternal = 2;
constexpr uint8_t kSymClassStatic = 3;
constexpr uint8_t kSymClassSection = 104;
constexpr uint8_t kSymClassWeakExternal = 105;

// The object's bytes: file header, section headers, each section's data and relocations,
// symbol table, string table.
Bytes WriteCoffObject(uint16_t machine, const std::vector<CoffSection>& sections,
                      const std::vector<CoffSymbol>& symbols);
