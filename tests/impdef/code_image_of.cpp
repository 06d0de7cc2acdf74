#include "code_image_of.h"

#include <algorithm>

CodeImage CodeImageOf(const std::vector<unsigned char>& bytes, std::vector<uint32_t> entries) {
    CodeImage image;
    image.code = [&bytes](uint32_t rva, unsigned char* out, size_t want) -> size_t {
        if (rva < kCodeRva || rva - kCodeRva >= bytes.size()) {
            return 0;
        }
        const size_t got = std::min(want, bytes.size() - (rva - kCodeRva));
        std::copy_n(bytes.begin() + (rva - kCodeRva), got, out);
        return got;
    };
    image.readU32 = [&bytes](uint32_t rva, uint32_t* value) {
        if (rva < kCodeRva || rva - kCodeRva + 4 > bytes.size()) {
            return false;
        }
        const size_t at = rva - kCodeRva;
        *value = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                 static_cast<uint32_t>(bytes[at + 3]) << 24;
        return true;
    };
    image.imageBase = kImageBase;
    image.entries = std::move(entries);
    image.imports = {{kSleep, "KERNEL32.dll!Sleep"},
                     {kBeep, "KERNEL32.dll!Beep"},
                     {kLongjmp, "msvcrt.dll!longjmp"}};
    return image;
}
