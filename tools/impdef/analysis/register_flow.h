#pragma once
// The values ECX and EDX held on a function's entry, followed through registers (byte by
// byte) and the slots of its stack frame, and what each instruction does to them
// (argument_registers.cpp follows the path).

#include "instruction.h"

#include <cstdint>
#include <vector>

constexpr int kMaxEntryInsns = 64;
constexpr int8_t kNoBase = -1;
constexpr int kMaxBases = 4; // the entry's ESP and three realignments (and esp, -N)
constexpr int64_t kAllAbove = INT64_MAX / 4;

// A register's value: the bytes of it that carry bits of the entry's ECX or EDX (bit n: byte
// n), and, when base is set, the frame address it holds.
struct Value {
    uint8_t taint = 0;
    int8_t base = kNoBase;
    int32_t offset = 0;
};

// A byte of the stack frame that carries bits of the entry's ECX or EDX. `push ecx` on a
// register not yet touched is also how compilers make room for a local: such a slot counts
// only when read back, or as an argument of a function known to take it.
struct FrameByte {
    int8_t base;
    int32_t offset;
    bool room;
};

struct Flow {
    Value regs[8];
    uint8_t untouched = kArgumentRegisters; // still the caller's, never written
    std::vector<FrameByte> frame;
    // Where each base lies from the entry's ESP, [low, high]: `and esp, -N` moves ESP down by
    // up to N - 1 bytes.
    int64_t baseLow[kMaxBases] = {};
    int64_t baseHigh[kMaxBases] = {};
    int bases = 1;
    // Frame addresses stored: memory read elsewhere may be the frame from one of them up.
    std::vector<FrameByte> escaped;
};

// Whether the byte may lie in [offset, offset + size) from base.
bool MayOverlap(const Flow& f, const FrameByte& b, int8_t base, int64_t offset, int64_t size);

// Anything tainted left; `untouched`: counting the registers not yet written and the room
// pushed from them too.
bool Live(const Flow& f, bool untouched);

// Whether the byte may lie at or above any of the addresses.
bool MayBeAboveAny(const Flow& f, const FrameByte& b, const std::vector<FrameByte>& addresses);

enum class Effect { Continue, Use, Unfollowed };

inline Effect UseIf(bool used) {
    return used ? Effect::Use : Effect::Continue;
}

// A call's own operand, where it takes the function's address from.
bool CallReadsTaint(const Flow& f, const Instruction& call);

// What an instruction other than a call does to the values: a use of them ends the path.
Effect Execute(Flow* f, const Instruction& instruction);
