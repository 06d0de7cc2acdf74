#pragma once
// The state of one path of the stack walk: where ESP and the registers that hold stack
// addresses point, as offsets from the entry's ESP, the slots that hold such addresses, and
// what the path has done with the arguments; and what an instruction does to it
// (stack_walk.cpp follows the paths).

#include "instruction.h"
#include "registers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>

// A call is taken to pop at most this many bytes of what was pushed before it.
constexpr uint32_t kMaxCalleePop = 64;
// The most `and esp, mask` may move ESP (a page).
constexpr uint32_t kMaxSlack = 4095;

constexpr int32_t kFirstArgument = 4; // offset from the entry's ESP; the return address is at 0

// An address in the function's stack, as its offset from ESP at the entry. After `and esp,
// mask` the offset is an upper bound: the address lies up to slack bytes below.
struct StackAddress {
    int32_t offset = 0;
    uint32_t slack = 0;

    bool operator<(const StackAddress& o) const {
        return std::tie(offset, slack) < std::tie(o.offset, o.slack);
    }
    bool operator==(const StackAddress& o) const { return offset == o.offset && slack == o.slack; }
};

inline StackAddress Plus(StackAddress a, int32_t bytes) {
    a.offset += bytes;
    return a;
}

// A stack slot holding a stack address.
struct Slot {
    StackAddress at, value;

    bool operator<(const Slot& o) const { return std::tie(at, value) < std::tie(o.at, o.value); }
    bool operator==(const Slot& o) const { return at == o.at && value == o.value; }
};
constexpr size_t kMaxSlots = 4;

// The registers known to hold stack addresses (ESP always, EBP in a frame, a copy of ESP that
// restores it), the stack slots known to hold one (saved registers), and what the path has
// done. After a call the callee may have popped some of what was pushed for it (stdcall) or
// not (cdecl): the next instruction that uses ESP decides, an `add esp, N` meaning the caller
// cleans up, anything else making one path per possible pop. A path whose return finds ESP
// elsewhere than at the return address took a wrong guess and is dropped.
struct StackState {
    uint32_t rva = 0;
    std::array<StackAddress, 8> regs{}; // where stackRegs has the register's bit; else zero
    uint8_t stackRegs = 1u << kEsp;
    std::array<Slot, kMaxSlots> slots{}; // the first slotCount; the rest zero
    uint8_t slotCount = 0;
    uint32_t pushed = 0;    // bytes pushed since the last call
    uint32_t calleePop = 0; // after a call: the most its callee may have popped; 0 when settled
    // Bytes stored at [esp + k] since the last call (gcc's arguments, stored rather than
    // pushed); after a call, how many of them the callee may have popped, until settled.
    uint32_t stored = 0;
    uint32_t calleeStored = 0;
    uint8_t holdsFirst = 0; // registers holding the first stack argument
    bool readsArgument = false;
    // How this path used the first argument as an address: the bytes written at [first + d]
    // by plain stores, and whether it did anything else with it (passed it on, indexed it).
    uint8_t firstWritten = 0;
    bool firstEscapes = false;
    bool firstOnTop = false; // the first argument lies at [esp], as the first argument of a call
    bool guessed = false;    // ESP on this path rests on a guess of what a callee popped
    bool argumentsEscape = false; // an address of the arguments left the walk's sight

    auto Key() const {
        return std::tie(rva, regs, stackRegs, slots, slotCount, pushed, calleePop, stored,
                        calleeStored, holdsFirst, readsArgument, firstWritten, firstEscapes,
                        firstOnTop, guessed, argumentsEscape);
    }
    bool operator<(const StackState& other) const { return Key() < other.Key(); }
    bool operator==(const StackState& other) const { return Key() == other.Key(); }
};

// Mixes the fields that most often tell states at one target apart (equality decides).
struct StateHash {
    size_t operator()(const StackState& s) const {
        uint64_t h = s.rva;
        const auto mix = [&h](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
        for (const StackAddress& r : s.regs) {
            mix(static_cast<uint32_t>(r.offset) | uint64_t{r.slack} << 32);
        }
        for (const Slot& slot : s.slots) {
            mix(static_cast<uint32_t>(slot.at.offset) |
                uint64_t{static_cast<uint32_t>(slot.value.offset)} << 32);
        }
        mix(s.stackRegs | s.slotCount << 8 | s.holdsFirst << 16 | s.firstWritten << 24 |
            uint64_t{s.pushed} << 32);
        mix(s.calleePop | uint64_t{s.stored} << 16 | uint64_t{s.calleeStored} << 32 |
            uint64_t{s.readsArgument} << 48 | uint64_t{s.firstEscapes} << 49 |
            uint64_t{s.firstOnTop} << 50 | uint64_t{s.guessed} << 51 |
            uint64_t{s.argumentsEscape} << 52);
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

inline bool Tracked(const StackState& s, int reg) {
    return reg >= 0 && ((s.stackRegs >> reg) & 1u) != 0;
}

inline void Track(StackState* s, int reg, StackAddress value) {
    s->stackRegs = static_cast<uint8_t>(s->stackRegs | 1u << reg);
    s->regs[static_cast<size_t>(reg)] = value;
}

inline void Untrack(StackState* s, int reg) {
    s->stackRegs = static_cast<uint8_t>(s->stackRegs & ~(1u << reg));
    s->regs[static_cast<size_t>(reg)] = {};
}

inline StackAddress& Esp(StackState* s) {
    return s->regs[kEsp];
}

// A stack address leaves the registers the walk follows: a pointer at or above the first
// argument reaches the arguments.
inline void Escape(StackState* s, StackAddress address) {
    s->readsArgument |= address.offset + 1 > kFirstArgument;
    s->argumentsEscape |= address.offset + 1 > kFirstArgument;
}

// LocalArray: an indexed address whose fixed part lies below the return address.
enum class StackPlace { NotStack, Stack, LocalArray, Unknown };

// Where a memory operand lies; espBias: how far ESP moves before the address is formed. For a
// local array, at is where its fixed part points.
StackPlace PlaceOf(const StackState& s, const MemoryOperand& m, int32_t espBias, StackAddress* at);

// Tracks which registers hold the first argument through loads and copies; firstLoad: the
// instruction's memory operand is exactly the first argument.
void TrackFirstArgument(StackState* s, const Instruction& in, const MemoryOperand& m,
                        bool firstLoad, bool toTop);

enum class Effect { Next, CannotTell };

// What the instruction does to ESP and the registers followed, other than as a call or return.
Effect MoveStack(StackState* s, const Instruction& in, const MemoryOperand& m, StackPlace place,
                 StackAddress at);

// The callee returns having popped up to what was pushed for it; a stack address among its
// arguments is handed to it; EAX, ECX and EDX are its. A stack address left in ECX or EDX is
// not taken as handed over: gcc's realigned frames keep the argument pointer in ECX.
void AfterCall(StackState* s);

// Whether the instruction uses ESP in any way (its value, an address from it, the stack).
bool UsesEsp(const Instruction& in);
