#pragma once
// What an x86 instruction does to the stack, as far as its encoding shows: its memory operand,
// how many bytes it pushes or pops, an immediate added to ESP. For following ESP through a
// function (stack_arguments.cpp).

#include "registers.h"
#include "x86_decoder.h"

#include <cstdint>

struct MemoryOperand {
    bool present = false;
    int base = -1; // -1: none
    int index = -1;
    int32_t displacement = 0;
};

MemoryOperand MemoryOf(const unsigned char* bytes, const X86Insn& insn);

// The most bytes an instruction's memory operand may span (x87 up to 10, vectors up to 32).
int32_t AccessSize(const unsigned char* bytes, const X86Insn& insn);

// The one-byte-map opcode, or -1 for the other maps.
int OneByteOpcode(const unsigned char* bytes, const X86Insn& insn);

// The reg field of the ModRM byte, or -1 when there is none.
int RegField(const unsigned char* bytes, const X86Insn& insn);

// The register operand of an instruction without a memory operand (ModRM mod 3), or -1.
int RmRegister(const unsigned char* bytes, const X86Insn& insn);

// Group 1 (add, or, ..., cmp) with an immediate on ESP: the operation (0 add, 4 and, 5 sub,
// 7 cmp, ...) and the immediate, or -1.
int EspArithmetic(const unsigned char* bytes, const X86Insn& insn, int32_t* value);

// How many bytes the instruction pushes (negative: pops), apart from calls and returns.
int32_t PushedBytes(const unsigned char* bytes, const X86Insn& insn);

// call through a register or memory (the decoder lets it fall through, as it returns).
bool IsIndirectCall(const unsigned char* bytes, const X86Insn& insn);

bool HasAddressSizePrefix(const unsigned char* bytes, const X86Insn& insn);
