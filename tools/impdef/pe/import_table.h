#pragma once
// The functions a 32-bit image imports, by the address of the slot the loader fills for each:
// code that jumps or calls through that slot goes to that function.

#include "byte_reader.h"
#include "pe_image.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// "KERNEL32.dll!ExitProcess" ("KERNEL32.dll!#12" for an import by ordinal) by the slot's
// virtual address, image base included. Empty for PE32+ images; what a damaged import
// directory holds before the damage is kept.
std::unordered_map<uint32_t, std::string> ReadImportSlots(ByteView file, const PeImage& image);

// True for the imports that never return to their caller: they end the process or the
// thread, or leave by longjmp or by throwing.
bool ImportNeverReturns(std::string_view import);
