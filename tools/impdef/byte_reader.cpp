#include "byte_reader.h"

#include "paged_file.h"

#include <algorithm>
#include <cstring>

bool HasRange(ByteView bytes, uint64_t offset, uint64_t length) {
    return offset <= bytes.size && length <= bytes.size - offset;
}

bool ReadBytes(ByteView bytes, uint64_t offset, uint64_t length, unsigned char* out) {
    if (!HasRange(bytes, offset, length)) {
        return false;
    }
    if (bytes.paged != nullptr) {
        return ReadPaged(bytes.paged, offset, out, static_cast<size_t>(length)) == length;
    }
    std::memcpy(out, bytes.data + offset, static_cast<size_t>(length));
    return true;
}

bool ReadU16(ByteView bytes, uint64_t offset, uint16_t* out) {
    unsigned char p[2];
    if (!ReadBytes(bytes, offset, 2, p)) {
        return false;
    }
    *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool ReadU32(ByteView bytes, uint64_t offset, uint32_t* out) {
    unsigned char p[4];
    if (!ReadBytes(bytes, offset, 4, p)) {
        return false;
    }
    *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
}

bool ReadCString(ByteView bytes, uint64_t offset, uint64_t limit, std::string* out) {
    const uint64_t end = std::min(limit, bytes.size);
    out->clear();
    unsigned char chunk[256];
    for (uint64_t at = offset; at < end;) {
        const uint64_t count = std::min<uint64_t>(sizeof chunk, end - at);
        if (!ReadBytes(bytes, at, count, chunk)) {
            return false;
        }
        const void* nul = std::memchr(chunk, 0, static_cast<size_t>(count));
        const size_t used = nul ? static_cast<const unsigned char*>(nul) - chunk : count;
        out->append(reinterpret_cast<const char*>(chunk), used);
        if (nul != nullptr) {
            return true;
        }
        at += count;
    }
    return false;
}
