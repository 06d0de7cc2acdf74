#pragma once
// Finds how a 32-bit function returns by following its code from the entry through every
// path it can bound: all paths ending in `ret N` with one N > 0 make it stdcall with N bytes of
// arguments; all ending in a plain `ret` make it cdecl or stdcall without arguments, which the
// code cannot tell apart. Anything else is unknown, with the reason.

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
    uint32_t argumentBytes; // Stdcall
    std::string reason;     // Unknown: why, worded to follow "calling convention unknown: "
    bool nameTaken = false; // Stdcall: the DLL exports the decorated name itself as well
    // PlainReturn: its code reads no stack argument, so a stdcall caller's _name@0 fits too.
    bool noStackArguments = false;
    // Stdcall: its code hands back its first argument in eax, as a function returning a
    // structure through a hidden pointer does, whose decoration counts 4 bytes less.
    bool mayReturnStructure = false;
};

struct CodeImage {
    // Copies up to `want` bytes of executable code at rva into out; returns how many (0 when
    // rva is no code the file holds).
    std::function<size_t(uint32_t rva, unsigned char* out, size_t want)> code;
    // Reads a 32-bit value at rva from any section (for jump tables).
    std::function<bool(uint32_t rva, uint32_t* value)> readU32;
    uint32_t imageBase;
    // Sorted entries of the exported functions: code that falls through onto one of them
    // has left its function (after a call that does not return).
    std::vector<uint32_t> entries;
    // Whether each called function examined so far can return, shared by all walks.
    std::shared_ptr<std::unordered_map<uint32_t, bool>> callReturns =
        std::make_shared<std::unordered_map<uint32_t, bool>>();
};

CallFinding FindCallKind(const CodeImage& image, uint32_t entry);
