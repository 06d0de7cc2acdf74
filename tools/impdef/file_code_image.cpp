#include "file_code_image.h"

#include "import_table.h"

#include <algorithm>

namespace {

// Room for the ends of paths outside the code: jumps out of it, and tables read past it.
constexpr uint64_t kLeavesOutsideCode = 65536;

// The file bytes backing rva inside a section that passes the filter, as offset and count.
bool SectionBytes(ByteView file, const PeImage& image, uint32_t rva, bool executableOnly,
                  uint64_t* offset, uint64_t* count) {
    const PeSection* section = FindSection(image, rva);
    if (section == nullptr || (executableOnly && !IsExecutable(*section))) {
        return false;
    }
    const uint64_t into = rva - static_cast<uint64_t>(section->virtualAddress);
    if (into >= section->rawSize) {
        return false;
    }
    *offset = section->rawOffset + into;
    const uint64_t rawEnd = static_cast<uint64_t>(section->rawOffset) + section->rawSize;
    const uint64_t end = std::min(rawEnd, file.size);
    *count = *offset < end ? end - *offset : 0;
    return *count != 0;
}

} // namespace

CodeImage FileCodeImage(ByteView file, const PeImage& image, const ExportTable& table) {
    CodeImage code;
    code.code = [file, &image](uint32_t rva, unsigned char* out, size_t want) -> size_t {
        uint64_t offset = 0;
        uint64_t count = 0;
        if (!SectionBytes(file, image, rva, true, &offset, &count)) {
            return 0;
        }
        const size_t got = static_cast<size_t>(std::min<uint64_t>(count, want));
        return ReadBytes(file, offset, got, out) ? got : 0;
    };
    code.readU32 = [file, &image](uint32_t rva, uint32_t* value) {
        uint64_t offset = 0;
        uint64_t count = 0;
        return SectionBytes(file, image, rva, false, &offset, &count) && count >= 4 &&
               ReadU32(file, offset, value);
    };
    code.imageBase = static_cast<uint32_t>(image.imageBase);
    code.imports = ReadImportSlots(file, image);
    // Each instruction starts at a byte of its own: the code's size bounds the work.
    uint64_t codeBytes = kLeavesOutsideCode;
    uint64_t start = ~0u, end = 0;
    for (const PeSection& section : image.sections) {
        if (IsExecutable(section)) {
            codeBytes += section.rawSize;
            start = std::min<uint64_t>(start, section.virtualAddress);
            end = std::max<uint64_t>(end, uint64_t{section.virtualAddress} + section.rawSize);
        }
    }
    code.codeStart = static_cast<uint32_t>(std::min(start, end));
    code.codeEnd = static_cast<uint32_t>(std::min<uint64_t>(end, ~0u));
    code.instructionBudget = static_cast<size_t>(std::min<uint64_t>(codeBytes, kMaxInstructions));
    for (const ExportEntry& entry : table.entries) {
        if (!entry.data && !entry.forwarded) {
            code.entries.push_back(entry.address);
        }
    }
    std::sort(code.entries.begin(), code.entries.end());
    return code;
}
