#pragma once
// What the code of an exported function shows of its calling convention: the verdict the
// analyses reach and the .def writer writes.

#include <cstdint>
#include <string>

enum class ConventionKind { NotExamined, Stdcall, PlainReturn, Unknown };

struct ConventionFinding {
    ConventionKind kind;
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
