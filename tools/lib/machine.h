#pragma once
// The target machines an import library can be made for.
#include "coff_format.h"

#include <cstdint>

enum class Machine { X86, X64 };

// The COFF machine number of the target.
inline uint16_t CoffMachine(Machine machine) {
    return machine == Machine::X86 ? kMachineI386 : kMachineAmd64;
}
