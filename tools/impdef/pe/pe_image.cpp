#include "pe_image.h"

#include "coff_format.h"
#include "def_machine_mark.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint16_t kDosMagic = 0x5A4D; // "MZ"
constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kPeHeaderOffsetField = 0x3C;
constexpr uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kLoadConfigDirectory = 10;
// In a 64-bit load configuration: the field that points to an ARM64X image's hybrid metadata,
// present when the configuration's own size reaches past it.
constexpr uint64_t kHybridMetadataField = 200;

std::string Truncated(const char* what) {
    return std::string("is truncated: the ") + what + " runs past the end of the file";
}

// Optional header layout: where the data directory count and the directories start.
struct OptionalLayout {
    uint64_t directoryCountField;
    uint64_t directoriesStart;
};

bool ReadDosHeader(ByteView file, uint64_t* peOffset, std::string* error) {
    uint16_t magic = 0;
    if (file.size == 0) {
        *error = "not a PE file (the file is empty)";
        return false;
    }
    if (!ReadU16(file, 0, &magic)) {
        *error = Truncated("DOS header");
        return false;
    }
    if (magic != kDosMagic) {
        *error = "not a PE file (no MZ signature)";
        return false;
    }
    uint32_t offset = 0;
    if (!HasRange(file, 0, kDosHeaderSize) || !ReadU32(file, kPeHeaderOffsetField, &offset)) {
        *error = Truncated("DOS header");
        return false;
    }
    *peOffset = offset;
    return true;
}

bool ReadFileHeader(ByteView file, uint64_t peOffset, PeImage* image, uint16_t* sectionCount,
                    uint16_t* optionalSize, std::string* error) {
    uint32_t signature = 0;
    if (!ReadU32(file, peOffset, &signature)) {
        *error = "is truncated: the PE header offset points past the end of the file";
        return false;
    }
    if (signature != kPeSignature) {
        *error = "not a PE file (no PE signature)";
        return false;
    }
    const uint64_t header = peOffset + 4;
    if (!HasRange(file, header, kFileHeaderSize)) {
        *error = Truncated("COFF file header");
        return false;
    }
    ReadU16(file, header, &image->machine);
    ReadU16(file, header + 2, sectionCount);
    ReadU16(file, header + 16, optionalSize);
    return true;
}

bool ReadOptionalHeader(ByteView file, uint64_t start, uint16_t size, PeImage* image,
                        std::string* error) {
    ByteView optional = file;
    optional.size = std::min(file.size, start + size);
    uint16_t magic = 0;
    if (!ReadU16(optional, start, &magic)) {
        *error = Truncated("optional header");
        return false;
    }
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        char text[80];
        std::snprintf(text, sizeof text, "not a PE file (unknown optional header magic 0x%X)",
                      magic);
        *error = text;
        return false;
    }
    image->is64 = magic == kPe32PlusMagic;
    const OptionalLayout layout = image->is64 ? OptionalLayout{108, 112} : OptionalLayout{92, 96};
    uint32_t directoryCount = 0;
    uint32_t base = 0;
    uint32_t baseHigh = 0;
    if (!ReadU32(optional, start + (image->is64 ? 24 : 28), &base) ||
        (image->is64 && !ReadU32(optional, start + 28, &baseHigh)) ||
        !ReadU32(optional, start + 60, &image->sizeOfHeaders) ||
        !ReadU32(optional, start + layout.directoryCountField, &directoryCount)) {
        *error = Truncated("optional header");
        return false;
    }
    image->imageBase = (static_cast<uint64_t>(baseHigh) << 32) | base;
    image->exportRva = 0;
    image->exportSize = 0;
    image->importRva = 0;
    image->importSize = 0;
    image->loadConfigRva = 0;
    if (directoryCount == 0) {
        return true;
    }
    // The export directory is data directory 0.
    const uint64_t directories = start + layout.directoriesStart;
    if (!ReadU32(optional, directories, &image->exportRva) ||
        !ReadU32(optional, directories + 4, &image->exportSize)) {
        *error = Truncated("optional header's data directories");
        return false;
    }
    // The import directory (1) only helps to read the code: a file without it is no error.
    if (directoryCount > 1 && ReadU32(optional, directories + 8, &image->importRva) &&
        !ReadU32(optional, directories + 12, &image->importSize)) {
        image->importRva = 0;
    }
    // The load configuration (10) only tells a hybrid ARM64X DLL.
    if (directoryCount > kLoadConfigDirectory &&
        !ReadU32(optional, directories + 8 * kLoadConfigDirectory, &image->loadConfigRva)) {
        image->loadConfigRva = 0;
    }
    return true;
}

bool ReadSectionTable(ByteView file, uint64_t start, uint16_t count, PeImage* image,
                      std::string* error) {
    if (!HasRange(file, start, count * kSectionHeaderSize)) {
        *error = Truncated("section table");
        return false;
    }
    image->sections.resize(count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t entry = start + i * kSectionHeaderSize;
        PeSection& section = image->sections[i];
        ReadU32(file, entry + 8, &section.virtualSize);
        ReadU32(file, entry + 12, &section.virtualAddress);
        ReadU32(file, entry + 16, &section.rawSize);
        ReadU32(file, entry + 20, &section.rawOffset);
        ReadU32(file, entry + 36, &section.characteristics);
    }
    return true;
}

uint64_t VirtualExtent(const PeSection& section) {
    return section.virtualSize != 0 ? section.virtualSize : section.rawSize;
}

} // namespace

bool ParsePeImage(ByteView file, PeImage* image, std::string* error) {
    uint64_t peOffset = 0;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    if (!ReadDosHeader(file, &peOffset, error) ||
        !ReadFileHeader(file, peOffset, image, &sectionCount, &optionalSize, error)) {
        return false;
    }
    const uint64_t optionalStart = peOffset + 4 + kFileHeaderSize;
    return ReadOptionalHeader(file, optionalStart, optionalSize, image, error) &&
           ReadSectionTable(file, optionalStart + optionalSize, sectionCount, image, error);
}

const PeSection* FindSection(const PeImage& image, uint32_t rva) {
    for (const PeSection& section : image.sections) {
        if (rva >= section.virtualAddress &&
            rva - static_cast<uint64_t>(section.virtualAddress) < VirtualExtent(section)) {
            return &section;
        }
    }
    return nullptr;
}

bool MapRva(const PeImage& image, uint32_t rva, uint64_t* offset, uint64_t* rawEnd) {
    if (const PeSection* section = FindSection(image, rva)) {
        *offset = static_cast<uint64_t>(section->rawOffset) + (rva - section->virtualAddress);
        *rawEnd = static_cast<uint64_t>(section->rawOffset) + section->rawSize;
        return true;
    }
    if (rva < image.sizeOfHeaders) {
        *offset = rva;
        *rawEnd = image.sizeOfHeaders;
        return true;
    }
    return false;
}

std::string MachineName(uint16_t machine) {
    if (machine == kMachineI386)
        return kMachineNameX86;
    if (machine == kMachineAmd64)
        return kMachineNameX64;
    if (machine == kMachineArm64)
        return kMachineNameArm64;
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", machine);
    return text;
}

bool IsArm64xHybrid(ByteView file, const PeImage& image) {
    uint64_t offset = 0;
    uint64_t rawEnd = 0;
    uint32_t size = 0;
    uint32_t metadataLow = 0;
    uint32_t metadataHigh = 0;
    return image.machine == kMachineArm64 && image.is64 && image.loadConfigRva != 0 &&
           MapRva(image, image.loadConfigRva, &offset, &rawEnd) && ReadU32(file, offset, &size) &&
           size >= kHybridMetadataField + 8 && offset + kHybridMetadataField + 8 <= rawEnd &&
           ReadU32(file, offset + kHybridMetadataField, &metadataLow) &&
           ReadU32(file, offset + kHybridMetadataField + 4, &metadataHigh) &&
           (metadataLow | metadataHigh) != 0;
}

bool IsExecutable(const PeSection& section) {
    return (section.characteristics & (kSectionExecute | kSectionCode)) != 0;
}
