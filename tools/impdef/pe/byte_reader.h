#pragma once
// Bounds-checked reads of little-endian values from an untrusted byte buffer. Offsets are
// 64-bit so that offset + length never wraps; every read fails instead of reading past the end.

#include <cstdint>
#include <string>

struct PagedFile;

// Bytes in memory, or (data null) a file read in pages on demand.
struct ByteView {
    const unsigned char* data;
    uint64_t size;
    PagedFile* paged = nullptr;
};

// True if [offset, offset + length) lies inside the bytes.
bool HasRange(ByteView bytes, uint64_t offset, uint64_t length);
// Copies length bytes at offset into out; fails unless all of them are there.
bool ReadBytes(ByteView bytes, uint64_t offset, uint64_t length, unsigned char* out);
bool ReadU16(ByteView bytes, uint64_t offset, uint16_t* out);
bool ReadU32(ByteView bytes, uint64_t offset, uint32_t* out);
// Reads a NUL-terminated string starting at offset whose NUL lies before limit (and before the
// end of the bytes). Fails when no NUL is found in that range.
bool ReadCString(ByteView bytes, uint64_t offset, uint64_t limit, std::string* out);
