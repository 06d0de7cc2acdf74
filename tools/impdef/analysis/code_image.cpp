#include "code_image.h"

#include <algorithm>

bool IsExportEntry(const CodeImage& image, uint32_t rva, EntryGap* gap) {
    if (rva >= gap->from && rva < gap->to) {
        return false;
    }
    const auto next = std::lower_bound(image.entries.begin(), image.entries.end(), rva);
    if (next != image.entries.end() && *next == rva) {
        return true;
    }
    gap->from = next == image.entries.begin() ? 0 : *(next - 1) + 1;
    gap->to = next == image.entries.end() ? UINT32_MAX : *next;
    return false;
}

const unsigned char* CodeAt(const CodeImage& image, CodeWindow* window, uint32_t rva, size_t* got) {
    const bool inside = rva >= window->rva && rva - window->rva < window->count;
    if (!inside || window->count - (rva - window->rva) < kMaxInsnLength) {
        window->rva = rva;
        window->count = image.code(rva, window->bytes, sizeof window->bytes);
    }
    *got = window->count - (rva - window->rva);
    return window->bytes + (rva - window->rva);
}

Decoded DecodeAt(const CodeImage& image, CodeWindow* window, uint32_t rva, Instruction* out,
                 Detail detail) {
    size_t got = 0;
    const unsigned char* bytes = CodeAt(image, window, rva, &got);
    if (got == 0) {
        return Decoded::NoCode;
    }
    return DecodeInstruction(bytes, got, out, detail) ? Decoded::Instruction : Decoded::Invalid;
}
