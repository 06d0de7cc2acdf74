#pragma once
// The target machines an import library can be made for.
#include "coff_format.h"

#include <cstdint>

enum class Machine { X86, X64, Arm64 };

// The COFF machine number of the target.
inline uint16_t CoffMachine(Machine machine) {
    if (machine == Machine::X86)
        return kMachineI386;
    return machine == Machine::X64 ? kMachineAmd64 : kMachineArm64;
}

// The target's name as /MACHINE spells it.
inline const char* MachineName(Machine machine) {
    if (machine == Machine::X86)
        return "X86";
    return machine == Machine::X64 ? "X64" : "ARM64";
}
