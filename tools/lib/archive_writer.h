#pragma once
// The archive (.lib) container of an import library: signature, first and second linker
// members (the symbol index), the longnames member, then the objects.
#include "byte_writer.h"

#include <string>
#include <vector>

struct ArchiveMember {
    std::string name;                 // the member's file name
    Bytes data;                       // the object
    std::vector<std::string> symbols; // the public symbols it defines
};

// Returns false with a message when the members do not fit the format: more than 65535
// objects, or an archive of 4 GiB or more.
bool WriteArchive(const std::vector<ArchiveMember>& members, Bytes* archive, std::string* error);
