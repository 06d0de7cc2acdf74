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
