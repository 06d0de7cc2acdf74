#pragma once
// Which general registers an instruction reads and which it sets whole, as far as its encoding
// shows for the common integer instructions. It serves to see whether a function reads ECX or
// EDX before setting them: the registers that fastcall and thiscall pass arguments in.

#include "registers.h"
#include "x86_decoder.h"

#include <cstdint>

struct RegisterUse { // masks (RegisterMask)
    uint8_t reads;
    uint8_t writes; // set, whole or in part: the function has given it a value of its own
};

// bytes: the instruction's bytes, as decoded into insn; padding uses no register.
RegisterUse RegistersUsed(const unsigned char* bytes, const X86Insn& insn);
