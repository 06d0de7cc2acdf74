#pragma once
// Finds how a 32-bit function returns by following its code from the entry through every
// path it can bound: all paths ending in `ret N` with one N > 0 make it stdcall with N bytes of
// arguments; all ending in a plain `ret` make it cdecl or stdcall without arguments, which the
// code cannot tell apart. Paths that leave through an imported function are left to the ones
// that return. Anything else is unknown, with the reason.
//
// The code of a DLL is decoded once, into a graph of blocks shared by all its exports, and
// what each block can lead to is summed up once; the functions called are decoded, once, only
// as far as it takes to see whether they can return. The time grows with the code, not with
// the number of exports that reach it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

enum class CallKind { NotExamined, Stdcall, PlainReturn, Unknown };

struct CallFinding {
    CallKind kind;
    // Stdcall; Unknown with neverReturns: the bytes of arguments its code reads, when it
    // shows them exactly (0 otherwise)
    uint32_t argumentBytes;
    std::string reason;     // Unknown: why, worded to follow "calling convention unknown: "
    bool nameTaken = false; // Stdcall: the DLL exports the decorated name itself as well
    // PlainReturn: its code reads no stack argument, so a stdcall caller's _name@0 fits too.
    bool noStackArguments = false;
    // Stdcall: its code hands back its first argument in eax, as a function returning a
    // structure through a hidden pointer does, whose decoration counts 4 bytes less.
    bool mayReturnStructure = false;
    // Unknown: no path returns. Either call works then; only the name a caller links differs.
    bool neverReturns = false;
};

// The instructions decoded so far and what each leads to (call_analysis.cpp).
struct CodeAnalysis;
std::shared_ptr<CodeAnalysis> NewCodeAnalysis();

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
    // Shared by the copies of the image: each instruction is examined once.
    std::shared_ptr<CodeAnalysis> analysis = NewCodeAnalysis();
};

// The gap between the two export entries around the last RVA looked up, [from, to): code
// runs between two entries for long stretches, so most look-ups take two comparisons.
struct EntryGap {
    uint32_t from = 1;
    uint32_t to = 0;
};

// Whether rva is one of image.entries.
bool IsExportEntry(const CodeImage& image, uint32_t rva, EntryGap* gap);

CallFinding FindCallKind(const CodeImage& image, uint32_t entry);

// How the function returns, without asking whether it takes arguments in registers.
CallFinding FindReturnKind(const CodeImage& image, uint32_t entry);

// The targets of the jump through a table at rva, when the code decoded so far shows them all.
bool JumpTableTargets(const CodeImage& image, uint32_t rva, std::vector<uint32_t>* targets);

// Whether the function at rva can return (decoded as far as it takes, once per DLL).
bool FunctionCanReturn(const CodeImage& image, uint32_t rva);
