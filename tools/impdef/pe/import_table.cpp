#include "import_table.h"

#include "coff_format.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kMaxDescriptors = 4096;
constexpr uint32_t kMaxSlots = 1u << 20;
constexpr uint64_t kMaxNameLength = 4096;

// RaiseException is left out: a continuable exception returns to the caller.
constexpr std::string_view kNoReturn[] = {
    "ExitProcess",
    "ExitThread",
    "FatalAppExitA",
    "FatalAppExitW",
    "FatalExit",
    "RtlExitUserProcess",
    "RtlExitUserThread",
    "_CxxThrowException",
    "_Exit",
    "__longjmp",
    "_amsg_exit",
    "_exit",
    "_invalid_parameter_noinfo_noreturn",
    "_longjmp",
    "abort",
    "exit",
    "longjmp",
    "quick_exit",
};

bool ReadString(ByteView file, const PeImage& image, uint32_t rva, std::string* out) {
    uint64_t offset = 0;
    uint64_t rawEnd = 0;
    return MapRva(image, rva, &offset, &rawEnd) &&
           ReadCString(file, offset, std::min(rawEnd, offset + kMaxNameLength), out);
}

bool ReadRvaU32(ByteView file, const PeImage& image, uint32_t rva, uint32_t* value) {
    uint64_t offset = 0;
    uint64_t rawEnd = 0;
    return MapRva(image, rva, &offset, &rawEnd) && offset + 4 <= rawEnd &&
           ReadU32(file, offset, value);
}

std::string ImportName(ByteView file, const PeImage& image, uint32_t thunk) {
    if ((thunk & kImportByOrdinal32) != 0) {
        return "#" + std::to_string(thunk & 0xFFFF);
    }
    std::string name;
    return ReadString(file, image, thunk + 2, &name) ? name : std::string("?");
}

} // namespace

std::unordered_map<uint32_t, std::string> ReadImportSlots(ByteView file, const PeImage& image) {
    std::unordered_map<uint32_t, std::string> slots;
    if (image.is64 || image.importRva == 0) {
        return slots;
    }
    const uint32_t base = static_cast<uint32_t>(image.imageBase);
    for (uint32_t d = 0; d < kMaxDescriptors && slots.size() < kMaxSlots; ++d) {
        const uint32_t at = image.importRva + d * kImportDescriptorSize;
        uint32_t names = 0, dllName = 0, firstSlot = 0;
        std::string dll;
        if (!ReadRvaU32(file, image, at, &names) || !ReadRvaU32(file, image, at + 12, &dllName) ||
            !ReadRvaU32(file, image, at + 16, &firstSlot) || dllName == 0 ||
            !ReadString(file, image, dllName, &dll)) {
            break;
        }
        const uint32_t lookup = names != 0 ? names : firstSlot;
        uint32_t thunk = 0;
        for (uint32_t i = 0; slots.size() < kMaxSlots &&
                             ReadRvaU32(file, image, lookup + 4 * i, &thunk) && thunk != 0;
             ++i) {
            slots.emplace(base + firstSlot + 4 * i, dll + "!" + ImportName(file, image, thunk));
        }
    }
    return slots;
}

bool ImportNeverReturns(std::string_view import) {
    const std::string_view name = import.substr(import.find('!') + 1);
    for (std::string_view never : kNoReturn) {
        if (name == never) {
            return true;
        }
    }
    return false;
}
