#include "test_image.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kPeOffset = 0x40;
constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kTextRva = 0x1000, kDataRva = 0x2000, kExportRva = 0x3000;
constexpr uint32_t kTextOffset = 0x200, kDataOffset = 0x400, kExportOffset = 0x600;
constexpr uint32_t kCodeSection = 0x60000020, kDataSection = 0xC0000040,
                   kReadOnlySection = 0x40000040;

uint32_t AlignUp(uint32_t value) {
    return (value + kFileAlign - 1) / kFileAlign * kFileAlign;
}

void PutSection(std::vector<unsigned char>* bytes, uint32_t at, const char* name, uint32_t rva,
                uint32_t size, uint32_t offset, uint32_t characteristics) {
    std::copy(name, name + std::char_traits<char>::length(name), bytes->begin() + at);
    Put32(bytes, at + 8, size);
    Put32(bytes, at + 12, rva);
    Put32(bytes, at + 16, AlignUp(size));
    Put32(bytes, at + 20, offset);
    Put32(bytes, at + 36, characteristics);
}

uint32_t SlotAddress(const TestSlot& slot, uint32_t index, uint32_t forwarderRva) {
    switch (slot.kind) {
    case SlotKind::Code:
        return kTextRva + 0x10 * index;
    case SlotKind::Data:
        return kDataRva + 4 * index;
    case SlotKind::Forward:
        return forwarderRva;
    case SlotKind::Empty:
        break;
    }
    return 0;
}

// The export section: directory, address table, name pointers, name ordinals, then strings.
// Returns its size.
uint32_t PutExportSection(std::vector<unsigned char>* bytes, const TestImagePlan& plan,
                          TestImageLayout* layout) {
    std::map<std::string, uint16_t> names; // the name pointer table is sorted
    for (size_t i = 0; i < plan.slots.size(); ++i) {
        for (const std::string& name : plan.slots[i].names) {
            names[name] = static_cast<uint16_t>(i);
        }
    }
    const uint32_t count = static_cast<uint32_t>(plan.slots.size());
    const uint32_t nameCount = static_cast<uint32_t>(names.size());
    layout->exportDirectory = kExportOffset;
    layout->functions = kExportOffset + 40;
    layout->namePointers = layout->functions + 4 * count;
    layout->nameOrdinals = layout->namePointers + 4 * nameCount;
    layout->strings = layout->nameOrdinals + 2 * nameCount;
    const auto rva = [](uint32_t offset) { return offset - kExportOffset + kExportRva; };
    uint32_t next = layout->strings;
    const auto putString = [&](const std::string& text) {
        bytes->resize(std::max<size_t>(bytes->size(), next + text.size() + 1));
        std::copy(text.begin(), text.end(), bytes->begin() + next);
        (*bytes)[next + text.size()] = 0;
        const uint32_t at = rva(next);
        next += static_cast<uint32_t>(text.size()) + 1;
        return at;
    };
    bytes->resize(layout->strings);
    Put32(bytes, kExportOffset + 12, putString(plan.internalName));
    Put32(bytes, kExportOffset + 16, plan.ordinalBase);
    Put32(bytes, kExportOffset + 20, count);
    Put32(bytes, kExportOffset + 24, nameCount);
    Put32(bytes, kExportOffset + 28, rva(layout->functions));
    Put32(bytes, kExportOffset + 32, rva(layout->namePointers));
    Put32(bytes, kExportOffset + 36, rva(layout->nameOrdinals));
    for (uint32_t i = 0; i < count; ++i) {
        const TestSlot& slot = plan.slots[i];
        const uint32_t forwarder = slot.kind == SlotKind::Forward ? putString(slot.forwardTo) : 0;
        Put32(bytes, layout->functions + 4 * i, SlotAddress(slot, i, forwarder));
    }
    uint32_t index = 0;
    for (const auto& [name, slot] : names) {
        Put32(bytes, layout->namePointers + 4 * index, putString(name));
        Put16(bytes, layout->nameOrdinals + 2 * index, slot);
        ++index;
    }
    return next - kExportOffset;
}

} // namespace

void Put16(std::vector<unsigned char>* bytes, uint32_t offset, uint16_t value) {
    (*bytes)[offset] = static_cast<unsigned char>(value);
    (*bytes)[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void Put32(std::vector<unsigned char>* bytes, uint32_t offset, uint32_t value) {
    Put16(bytes, offset, static_cast<uint16_t>(value));
    Put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

std::vector<unsigned char> BuildTestImage(const TestImagePlan& plan, TestImageLayout* layout) {
    std::vector<unsigned char> bytes(kExportOffset, 0);
    const uint32_t exportSize = PutExportSection(&bytes, plan, layout);
    bytes.resize(kExportOffset + AlignUp(exportSize), 0);
    for (size_t i = 0; i < plan.slots.size(); ++i) {
        const auto given = plan.code.find(i);
        const std::vector<unsigned char> code =
            given != plan.code.end() ? given->second : std::vector<unsigned char>{0xC3};
        if (plan.slots[i].kind == SlotKind::Code && 0x10 * i + code.size() <= 0x200) {
            std::copy(code.begin(), code.end(), bytes.begin() + kTextOffset + 0x10 * i);
        }
    }

    // DOS header
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(&bytes, 0x3C, kPeOffset);
    // PE signature and COFF file header
    layout->peHeader = kPeOffset;
    bytes[kPeOffset] = 'P';
    bytes[kPeOffset + 1] = 'E';
    const uint32_t file = kPeOffset + 4;
    const uint16_t optionalSize = plan.is64 ? 240 : 224;
    Put16(&bytes, file, plan.machine != 0 ? plan.machine : plan.is64 ? 0x8664 : 0x14C);
    Put16(&bytes, file + 2, 3); // sections
    Put16(&bytes, file + 16, optionalSize);
    Put16(&bytes, file + 18, 0x2102); // executable, 32-bit, DLL
    // Optional header: magic, headers' size, 16 data directories, the first the exports
    const uint32_t optional = file + 20;
    layout->optionalHeader = optional;
    Put16(&bytes, optional, plan.is64 ? 0x20B : 0x10B);
    Put32(&bytes, optional + 60, kTextOffset);
    Put32(&bytes, optional + (plan.is64 ? 108 : 92), 16);
    layout->exportDataDirectory = optional + (plan.is64 ? 112 : 96);
    Put32(&bytes, layout->exportDataDirectory, kExportRva);
    Put32(&bytes, layout->exportDataDirectory + 4, exportSize);
    if (plan.hybridMetadata) {
        // Data directory 10 at .data+0x100: a 64-bit load configuration whose hybrid metadata
        // pointer (offset 200) is set.
        constexpr uint32_t kLoadConfig = 0x100, kLoadConfigSize = 0x140;
        Put32(&bytes, layout->exportDataDirectory + 8 * 10, kDataRva + kLoadConfig);
        Put32(&bytes, layout->exportDataDirectory + 8 * 10 + 4, kLoadConfigSize);
        Put32(&bytes, kDataOffset + kLoadConfig, kLoadConfigSize);
        Put32(&bytes, kDataOffset + kLoadConfig + 200, kDataRva + 0x1F0);
    }
    // Section table
    layout->sectionTable = optional + optionalSize;
    PutSection(&bytes, layout->sectionTable, ".text", kTextRva, 0x200, kTextOffset, kCodeSection);
    PutSection(&bytes, layout->sectionTable + 40, ".data", kDataRva, 0x200, kDataOffset,
               kDataSection);
    PutSection(&bytes, layout->sectionTable + 80, ".edata", kExportRva, exportSize, kExportOffset,
               kReadOnlySection);
    layout->exportSectionRva = kExportRva;
    layout->exportSectionOffset = kExportOffset;
    return bytes;
}

TestImagePlan TypicalPlan() {
    TestImagePlan plan;
    plan.slots = {
        {SlotKind::Code, {"Alpha"}, ""},
        {SlotKind::Data, {"Counter"}, ""},
        {SlotKind::Code, {}, ""},
        {SlotKind::Empty, {}, ""},
        {SlotKind::Forward, {"Beta"}, "OTHER.Gamma"},
        {SlotKind::Code, {"Delta", "DeltaAlias"}, ""},
    };
    return plan;
}
