#include "byte_reader.h"

#include <algorithm>
#include <cstring>

bool HasRange(ByteView bytes, uint64_t offset, uint64_t length) {
    return offset <= bytes.size && length <= bytes.size - offset;
}

bool ReadU16(ByteView bytes, uint64_t offset, uint16_t* out) {
    if (!HasRange(bytes, offset, 2)) {
        return false;
    }
    const unsigned char* p = bytes.data + offset;
    *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool ReadU32(ByteView bytes, uint64_t offset, uint32_t* out) {
    if (!HasRange(bytes, offset, 4)) {
        return false;
    }
    const unsigned char* p = bytes.data + offset;
    *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
}

bool ReadCString(ByteView bytes, uint64_t offset, uint64_t limit, std::string* out) {
    const uint64_t end = std::min(limit, bytes.size);
    if (offset >= end) {
        return false;
    }
    const unsigned char* start = bytes.data + offset;
    const void* nul = std::memchr(start, 0, static_cast<size_t>(end - offset));
    if (nul == nullptr) {
        return false;
    }
    out->assign(reinterpret_cast<const char*>(start),
                static_cast<const unsigned char*>(nul) - start);
    return true;
}
