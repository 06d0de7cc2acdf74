#pragma once
// Which general registers an instruction reads and which it sets whole, as far as its encoding
// shows for the common integer instructions. It serves to see whether a function reads ECX or
// EDX before setting them: the registers that fastcall and thiscall pass arguments in.

#include "x86_decoder.h"

#include <cstdint>

// Bit n stands for register n: EAX 0, ECX 1, EDX 2, EBX 3, ESP 4, EBP 5, ESI 6, EDI 7.
constexpr uint8_t kEcx = 1 << 1;
constexpr uint8_t kEdx = 1 << 2;

struct RegisterUse {
    uint8_t reads;
    uint8_t writes; // set, whole or in part: the function has given it a value of its own
};

// bytes: the instruction's bytes, as decoded into insn; padding uses no register.
RegisterUse RegistersUsed(const unsigned char* bytes, const X86Insn& insn);
