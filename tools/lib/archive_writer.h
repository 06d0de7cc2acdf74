#pragma once
// The archive (.lib) container of an import library: signature, first and second linker
// members (the symbol index), the longnames member, then the objects.
#include "byte_writer.h"

#include <string>
#include <string_view>
#include <vector>

// Views of what the caller keeps alive until the archive is written.
struct ArchiveMember {
    std::string_view name; // the member's file name
    const uint8_t* data;   // the object
    size_t size;
    std::string_view symbols[2]; // the public symbols it defines
    size_t symbolCount;
};

// Writes the archive to sink. Returns false with a message, before writing anything, when the
// members do not fit the format: more than 65535 objects, or an archive of 4 GiB or more.
bool WriteArchive(const std::vector<ArchiveMember>& members, const ByteSink& sink,
                  std::string* error);
