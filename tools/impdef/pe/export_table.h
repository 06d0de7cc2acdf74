#pragma once
// The export directory of a PE image as a list of entries in ordinal order.

#include "byte_reader.h"
#include "pe_image.h"

#include <cstdint>
#include <string>
#include <vector>

struct ExportEntry {
    uint32_t ordinal;
    bool named;       // false: exported by ordinal only
    std::string name; // as exported; empty when not named
    bool data;        // the address lies in a section that is not executable
    bool forwarded;
    std::string forwarder; // "DLL.Function" or "DLL.#12" when forwarded
    uint32_t address;      // the RVA the export directory gives
};

struct ExportTable {
    std::string internalName; // the export directory's own DLL name; may be empty
    std::vector<ExportEntry> entries;
};

// Reads the export directory. An address slot with several names gives one entry per name;
// an empty slot (address 0, no name) gives none. On failure error holds the reason, worded to
// follow "<file>: ".
bool ReadExportTable(ByteView file, const PeImage& image, ExportTable* table, std::string* error);
