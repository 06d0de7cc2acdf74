// Reading the resources of the built Morvane.exe, loaded as a data file, through bounds-checked
// helpers: every read names its offset and fails instead of reading past the end.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// Morvane.exe loaded as a data file, once per test program; nullptr when it cannot be loaded.
HMODULE MorvaneImage();

// The bytes of one resource under language 2052 (Chinese, PRC), or an empty view when there
// is none. The bytes belong to the loaded image.
std::string_view ResourceBytes(HMODULE image, LPCSTR type, int id);

bool ReadU8(std::string_view bytes, uint64_t offset, uint8_t& out);
bool ReadU16(std::string_view bytes, uint64_t offset, uint16_t& out);
bool ReadU32(std::string_view bytes, uint64_t offset, uint32_t& out);
bool ReadI16(std::string_view bytes, uint64_t offset, int16_t& out);

// A NUL-terminated UTF-16 string at offset; next is the offset after its NUL.
bool ReadWideString(std::string_view bytes, uint64_t offset, std::u16string& out, uint64_t& next);

// The offset rounded up to the next multiple of four, as the dialog and version formats pad.
uint64_t AlignToDword(uint64_t offset);
