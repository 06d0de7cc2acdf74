#pragma once
// The code of a 32-bit DLL as the analyses see it: its executable bytes by RVA, its data for
// tables, its imports and the entries of its exported functions.

#include "instruction.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// At most this many instructions are followed in one DLL; beyond, the code is unknown.
constexpr size_t kMaxInstructions = size_t{1} << 21;

struct CodeImage {
    // Copies up to `want` bytes of executable code at rva into out; returns how many (0 when
    // rva is no code the file holds).
    std::function<size_t(uint32_t rva, unsigned char* out, size_t want)> code;
    // Reads a 32-bit value at rva from any section (for jump tables).
    std::function<bool(uint32_t rva, uint32_t* value)> readU32;
    uint32_t imageBase;
    // The RVAs the executable sections span, [codeStart, codeEnd); both 0 when not known.
    uint32_t codeStart = 0;
    uint32_t codeEnd = 0;
    // Sorted entries of the exported functions: code that falls through onto one of them
    // right after a call has left its function (the call did not return).
    std::vector<uint32_t> entries;
    // The imported functions by the virtual address of their slots ("KERNEL32.dll!Sleep").
    std::unordered_map<uint32_t, std::string> imports;
    // How many instructions may be followed in this DLL, all exports together.
    size_t instructionBudget = kMaxInstructions;
};

// The gap between the two export entries around the last RVA looked up, [from, to): code
// runs between two entries for long stretches, so most look-ups take two comparisons.
struct EntryGap {
    uint32_t from = 1;
    uint32_t to = 0;
};

// Whether rva is one of image.entries.
bool IsExportEntry(const CodeImage& image, uint32_t rva, EntryGap* gap);

// Code read ahead, so that one read of the image serves several instructions.
struct CodeWindow {
    uint32_t rva = 0;
    size_t count = 0;
    unsigned char bytes[64];
};

// The code at rva, got bytes of it up to the window's end (0 when rva is no code).
const unsigned char* CodeAt(const CodeImage& image, CodeWindow* window, uint32_t rva, size_t* got);

enum class Decoded { Instruction, NoCode, Invalid };

// The instruction at rva: the one place the analyses decode code. NoCode: rva is no code the
// image holds; Invalid: its bytes are no instruction.
Decoded DecodeAt(const CodeImage& image, CodeWindow* window, uint32_t rva, Instruction* out,
                 Detail detail = Detail::Everything);
