#pragma once
// How many entries a jump table has, from what the code before the jump shows of its index:
// a compare with a constant before a conditional jump (`cmp reg, N; ja default`), a mask
// (`and reg, 0xF`), or a load of one byte, from a byte table indexed by a bounded register
// when the index goes through such a table first (`movzx eax, byte [T2 + esi]`). A compare
// bounds the copies of what it compares too, shifted ones included (`mov eax, esi; shr eax,
// 16; cmp esi, 0x10FFFF`).

#include "instruction.h"

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr uint32_t kUnbounded = ~0u;

// The largest value each general register can hold at a point of a path, or kUnbounded
// (EAX 0, ECX 1, ... EDI 7).
struct RegisterBounds {
    uint32_t largest[8];
    uint32_t lowPart[8]; // of its low 16 or 8 bits, compared on their own (`cmp ax, N`)
    // A memory operand just compared with a constant (`cmp word [ecx], N; ja default`), for a
    // load of it that follows.
    MemoryOperand compared; // with the ModRM mod and r/m that encode it
    int8_t comparedMod, comparedRm;
    bool hasCompared;
    uint8_t comparedWidth; // bytes
    uint32_t comparedLargest;
    uint8_t widthOnly; // registers whose bound is only the width of a zero-extended load
    // By register: the register whose low byte (0x10 | n), word (0x20 | n) or whole (0x40 | n)
    // it holds zero-extended and shifted right by shiftedBy, so that a later compare of that
    // part bounds it too; 0 for none.
    uint8_t extendedFrom[8];
    uint8_t shiftedBy[8];
    uint8_t known;         // registers that may have a bound or a bound of their low part
    bool comparedNow;      // the last instruction compared memory
    uint32_t lastCompared; // the constant of the last compare on the path, of anything
};

RegisterBounds NoBounds();

// The image's data (32-bit values by RVA, which any section may hold), and how many more
// table entries may be read in this DLL, all paths together: each costs about what an
// instruction does.
struct TableReads {
    const std::function<bool(uint32_t rva, uint32_t* value)>& readU32;
    uint32_t imageBase;
    size_t* left;
};

// The bounds after insn (its bytes) has run; a call counts as setting EAX, ECX and EDX.
void TrackBounds(TableReads* reads, const Instruction& instruction, RegisterBounds* bounds);

// The largest index of a jump through a table (`jmp [table + reg*4]`), or kUnbounded: the
// index register's own bound; failing that (or when it is only a load's width), the last
// compare on the path, as the compiler may have compared a copy of the index, or the index
// before spilling it. guessed: the bound is that compare's, which may bound something else
// (the index of a byte table read through another register).
uint32_t TableBound(const Instruction& jump, const RegisterBounds& bounds, bool* guessed);
