#pragma once
// Builds small PE32 and PE32+ images in memory with a chosen export table, and says where
// each structure lies so that tests can damage it.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum class SlotKind { Code, Data, Forward, Empty };

struct TestSlot {
    SlotKind kind;
    std::vector<std::string> names;
    std::string forwardTo; // for SlotKind::Forward
};

struct TestImagePlan {
    bool is64 = false;
    uint16_t machine = 0; // 0: i386, or AMD64 when is64
    // A load configuration in .data that points to hybrid metadata, as an ARM64X DLL's does.
    bool hybridMetadata = false;
    uint32_t ordinalBase = 1;
    std::string internalName = "test.dll";
    std::vector<TestSlot> slots;
    // Code of slot i (up to 16 bytes); a code slot not given here holds a plain ret.
    std::map<size_t, std::vector<unsigned char>> code;
};

// File offsets of the structures in a built image.
struct TestImageLayout {
    uint32_t peHeader;       // "PE\0\0"
    uint32_t optionalHeader; // its magic
    uint32_t exportDataDirectory;
    uint32_t sectionTable;
    uint32_t exportDirectory;
    uint32_t functions;
    uint32_t namePointers;
    uint32_t nameOrdinals;
    uint32_t strings;
    uint32_t exportSectionRva; // RVA of the export section's first byte
    uint32_t exportSectionOffset;
};

std::vector<unsigned char> BuildTestImage(const TestImagePlan& plan, TestImageLayout* layout);

void Put16(std::vector<unsigned char>* bytes, uint32_t offset, uint16_t value);
void Put32(std::vector<unsigned char>* bytes, uint32_t offset, uint32_t value);

// A PE32 image with one export of each kind, used as the start of most damage cases.
TestImagePlan TypicalPlan();
