#pragma once
// One decoded instruction: what the analyses ask of it, worked out once from its bytes by
// DecodeInstruction, so that they read this record rather than the bytes.

#include "register_use.h"
#include "registers.h"
#include "x86_decoder.h"

#include <cstddef>
#include <cstdint>

struct Instruction {
    X86Insn x;       // length, flow and targets, prefixes, where the opcode and ModRM bytes lie
    int opcode;      // the one-byte opcode, 0x100 | the two-byte one, or -1 (the other maps)
    int reg;         // the ModRM reg field, or -1 without ModRM
    int rm;          // the register operand of ModRM (mod 3), or -1 for memory or none
    int operandSize; // 1, 2 or 4 bytes
    MemoryOperand memory; // present when it has one
    int32_t accessSize;   // the most bytes the memory operand may span
    RegisterUse registers;
    int32_t pushed; // bytes pushed (negative: popped), apart from calls and returns
    // Group 1 on ESP with an immediate: the operation (0 add, 4 and, 5 sub, 7 cmp, ...), or -1;
    // espImmediate: the immediate.
    int espArithmetic;
    int32_t espImmediate;
    int32_t groupImmediate; // 0x81 or 0x83 on a register: the immediate, sign-extended
    // An x87 or SSE store: the bytes written to memory, of which it reads nothing; else 0.
    int storedWithoutReading;
    bool indirectCall; // call through a register or memory (it falls through, as it returns)
    bool addressSizePrefix;
    bool padding; // nop, lea or mov of a register to itself: uses no register (Everything)
    const unsigned char* bytes; // for x86/'s own questions (table bounds); valid while decoded
};

// The one-byte-map opcode, or -1 for the other maps.
inline int OneByteOpcodeOf(const Instruction& in) {
    return in.opcode < 0x100 ? in.opcode : -1;
}

// How much of the record to fill. Operands: x, opcode, reg, rm, memory, indirectCall and
// bytes, what a walk of the flow asks (the code graph decodes each instruction of a DLL);
// Everything: all of it, for the walks that follow registers and the stack.
enum class Detail { Operands, Everything };

// Decodes the instruction at code[0]; available is how many bytes are there. False when the
// bytes are no valid instruction, or it runs past available or 15 bytes.
bool DecodeInstruction(const unsigned char* code, size_t available, Instruction* out,
                       Detail detail = Detail::Everything);

// Whether the instruction is alignment padding (for a record of either detail).
bool IsPadding(const Instruction& in);
