#pragma once
// The parts of a PE32 or PE32+ image that the export reader needs: the section table and
// the export directory's place, and the mapping of RVAs to file offsets.

#include "byte_reader.h"

#include <cstdint>
#include <string>
#include <vector>

struct PeSection {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
    uint32_t characteristics;
};

struct PeImage {
    bool is64; // PE32+
    uint16_t machine;
    uint32_t sizeOfHeaders;
    uint64_t imageBase;
    uint32_t exportRva; // 0 when the image has no export directory
    uint32_t exportSize;
    uint32_t importRva; // 0 when the image has no import directory
    uint32_t importSize;
    uint32_t loadConfigRva; // 0 when the image has no load configuration
    std::vector<PeSection> sections;
};

// Checks the headers in file order and fills image. On failure error holds the reason, worded
// to follow "<file>: ".
bool ParsePeImage(ByteView file, PeImage* image, std::string* error);

// Maps an RVA to a file offset. rawEnd receives the end of the raw data that backs the RVA's
// region (section or headers), which may lie past the end of a truncated file. Fails when
// no region holds the RVA.
bool MapRva(const PeImage& image, uint32_t rva, uint64_t* offset, uint64_t* rawEnd);

// The section whose virtual range holds the RVA, or null.
const PeSection* FindSection(const PeImage& image, uint32_t rva);

// The machine's name as Lib's /MACHINE option spells it (X86, X64, ARM64), or its number in
// hex (0x01C4) for a machine Lib makes no library for. An ARM64EC DLL says X64 in its header.
std::string MachineName(uint16_t machine);

// True for an ARM64X DLL: an ARM64 image whose load configuration points to hybrid metadata,
// so that x64 (ARM64EC) code may load it as well.
bool IsArm64xHybrid(ByteView file, const PeImage& image);

// True if code can run from the section (execute permission or code contents).
bool IsExecutable(const PeSection& section);
