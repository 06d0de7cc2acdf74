#include "byte_reader.h"

#include "paged_file.h"

#include <algorithm>
#include <cstring>

bool HasRange(ByteView bytes, uint64_t offset, uint64_t length) {
    return offset <= bytes.size && length <= bytes.size - offset;
}

namespace {

// The bytes at offset that lie together in memory, up to limit: all of them in memory, or
// the rest of a page of a file.
const unsigned char* Span(ByteView bytes, uint64_t offset, uint64_t limit, size_t* available) {
    if (bytes.paged == nullptr) {
        *available = static_cast<size_t>(limit - offset);
        return bytes.data + offset;
    }
    const unsigned char* span = PagedSpan(bytes.paged, offset, available);
    *available = static_cast<size_t>(std::min<uint64_t>(*available, limit - offset));
    return span;
}

} // namespace

bool ReadBytes(ByteView bytes, uint64_t offset, uint64_t length, unsigned char* out) {
    if (!HasRange(bytes, offset, length)) {
        return false;
    }
    const uint64_t end = offset + length;
    while (offset < end) {
        size_t available = 0;
        const unsigned char* span = Span(bytes, offset, end, &available);
        if (span == nullptr) {
            return false;
        }
        std::memcpy(out, span, available);
        out += available;
        offset += available;
    }
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
    while (offset < end) {
        size_t available = 0;
        const unsigned char* span = Span(bytes, offset, end, &available);
        if (span == nullptr) {
            return false;
        }
        const void* nul = std::memchr(span, 0, available);
        const size_t used = nul ? static_cast<const unsigned char*>(nul) - span : available;
        out->append(reinterpret_cast<const char*>(span), used);
        if (nul != nullptr) {
            return true;
        }
        offset += available;
    }
    return false;
}
