#pragma once
// Appending fixed-width fields to a byte buffer, in the byte orders the archive and COFF
// formats use.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes& out, uint16_t value);
void PutU32(Bytes& out, uint32_t value);
void PutU32BigEndian(Bytes& out, uint32_t value);
void PutZeros(Bytes& out, size_t count);
// The text's bytes, followed by a NUL when nulTerminated.
void PutText(Bytes& out, const std::string& text, bool nulTerminated);
// The text left-aligned in a field of width bytes, padded with pad; longer text is cut.
void PutField(Bytes& out, const std::string& text, size_t width, char pad);
// Overwrites four little-endian bytes at offset: for fields known only after later data.
void PatchU32(Bytes& out, size_t offset, uint32_t value);

// Where finished bytes go: appended to bytes when it is set, else written to file (whose
// errors the caller sees through ferror).
struct ByteSink {
    Bytes* bytes = nullptr;
    std::FILE* file = nullptr;
};

// Hands the pending bytes to the sink and empties pending.
void Drain(Bytes& pending, const ByteSink& sink);
