#include "stack_arguments.h"

#include "code_graph.h"
#include "register_use.h"
#include "stack_instructions.h"
#include "x86_decoder.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <unordered_set>
#include <vector>

namespace {

// Instructions followed per export (a path is followed again only from a jump or branch
// target it reaches in another stack state).
constexpr size_t kMaxSteps = 8192;
// A jump or branch target reached in more states than this is taken for a loop that moves ESP
// on each turn in a way the walk does not see through (the walk would go on until its steps ran
// out). Of the walks of Wine's DLLs that end, three reach 10 to 89 states at a target, the rest
// at most 8; those three give up now (mscoree's _CorExeMain loses its _name@0).
constexpr uint16_t kMaxStatesAtTarget = 8;
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

StackAddress Plus(StackAddress a, int32_t bytes) {
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

struct StackWalk {
    const CodeImage& image;
    CodeAnalysis* analysis;
    WalkQuestion question;
    StackWalkMemo* memo;
    std::vector<StackState> pending;
    std::unordered_set<StackState, StateHash> seen;  // states at the targets
    std::unordered_map<uint32_t, uint16_t> statesAt; // how many of them, by target
    std::unordered_set<uint32_t> targets;            // of the jumps and branches met so far
    std::vector<uint32_t> tableTargets;              // scratch
    StackPaths found;
    EntryGap entryGap;
};

bool Tracked(const StackState& s, int reg) {
    return reg >= 0 && ((s.stackRegs >> reg) & 1u) != 0;
}

void Track(StackState* s, int reg, StackAddress value) {
    s->stackRegs = static_cast<uint8_t>(s->stackRegs | 1u << reg);
    s->regs[static_cast<size_t>(reg)] = value;
}

void Untrack(StackState* s, int reg) {
    s->stackRegs = static_cast<uint8_t>(s->stackRegs & ~(1u << reg));
    s->regs[static_cast<size_t>(reg)] = {};
}

StackAddress& Esp(StackState* s) {
    return s->regs[kEsp];
}

// A stack address leaves the registers the walk follows: a pointer at or above the first
// argument reaches the arguments.
void Escape(StackState* s, StackAddress address) {
    s->readsArgument |= address.offset + 1 > kFirstArgument;
    s->argumentsEscape |= address.offset + 1 > kFirstArgument;
}

// LocalArray: an indexed address whose fixed part lies below the return address.
enum class StackPlace { NotStack, Stack, LocalArray, Unknown };

// Where a memory operand lies; espBias: how far ESP moves before the address is formed. For a
// local array, at is where its fixed part points.
StackPlace PlaceOf(const StackState& s, const MemoryOperand& m, int32_t espBias, StackAddress* at) {
    if (!m.present || (!Tracked(s, m.base) && !Tracked(s, m.index))) {
        return StackPlace::NotStack;
    }
    if (Tracked(s, m.index)) {
        return StackPlace::Unknown;
    }
    *at =
        Plus(s.regs[static_cast<size_t>(m.base)], m.displacement + (m.base == kEsp ? espBias : 0));
    if (m.index >= 0) {
        return at->offset < 0 ? StackPlace::LocalArray : StackPlace::Unknown;
    }
    return StackPlace::Stack;
}

bool HoldsFirst(const StackState& s, int reg) {
    return reg >= 0 && ((s.holdsFirst >> reg) & 1u) != 0;
}

// A structure returned through a hidden pointer is written through it, or the pointer is
// handed to a function that returns the structure (its own first argument).
void NoteUseOfFirst(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                    const MemoryOperand& m, bool toTop) {
    const int op = OneByteOpcode(bytes, insn);
    const int reg = RegField(bytes, insn);
    if ((op >= 0x50 && op <= 0x57) || (m.present && toTop && op != 0x8B && op != 0x8A)) {
        s->firstOnTop = (op >= 0x50 && op <= 0x57 && HoldsFirst(*s, op & 7)) ||
                        (op == 0x89 && HoldsFirst(*s, reg));
    }
    if (op == 0x89 && m.present && !toTop && HoldsFirst(*s, reg)) {
        return; // stored elsewhere: an argument of a later call, or a copy of it
    }
    if (!HoldsFirst(*s, m.base) && !HoldsFirst(*s, m.index)) {
        return;
    }
    const bool load = op == 0x8A || op == 0x8B ||
                      (insn.map == InsnMap::TwoByte && bytes[insn.opcodeAt + 1] >= 0xB6 &&
                       bytes[insn.opcodeAt + 1] <= 0xBF);
    const int32_t size = op == 0x88 || op == 0xC6 ? 1 : insn.operand16 ? 2 : 4;
    if (load && m.index < 0) {
        return;
    }
    if ((op == 0x88 || op == 0x89 || op == 0xC6 || op == 0xC7) && m.index < 0 &&
        m.displacement >= 0 && m.displacement + size <= 0xFF) {
        s->firstWritten =
            static_cast<uint8_t>(std::max<int32_t>(s->firstWritten, m.displacement + size));
        return;
    }
    s->firstEscapes = true;
}

// Tracks which registers hold the first argument through loads and copies; firstLoad: the
// instruction's memory operand is exactly the first argument.
void TrackFirstArgument(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                        const MemoryOperand& m, bool firstLoad, bool toTop) {
    // Most paths hold the first argument in no register: the registers' use is then not needed.
    const uint8_t writes = s->holdsFirst != 0 ? RegistersUsed(bytes, insn).writes : 0;
    const int op = OneByteOpcode(bytes, insn);
    uint8_t holds = s->holdsFirst & static_cast<uint8_t>(~writes);
    NoteUseOfFirst(s, bytes, insn, m, toTop);
    if (!insn.operand16 && (op == 0x8B || op == 0x89)) {
        const int reg = RegField(bytes, insn), rm = RmRegister(bytes, insn);
        if (op == 0x8B && firstLoad) {
            holds |= static_cast<uint8_t>(1u << reg);
        } else if (rm >= 0 && HoldsFirst(*s, op == 0x8B ? rm : reg)) {
            holds |= static_cast<uint8_t>(1u << (op == 0x8B ? reg : rm));
        }
    }
    s->holdsFirst = holds;
}

enum class Effect { Next, CannotTell };

// Whether address lies in the size bytes from start (both from the same alignment of ESP).
bool Within(StackAddress address, StackAddress start, int32_t size) {
    return address.slack == start.slack && address.offset >= start.offset &&
           address.offset < start.offset + size;
}

const Slot* FindSlot(const StackState& s, StackAddress at) {
    for (size_t i = 0; i < s.slotCount; ++i) {
        if (s.slots[i].at == at) {
            return &s.slots[i];
        }
    }
    return nullptr;
}

// Forgets the slots that the size bytes at start overlap (a slot of another alignment too).
void ForgetSlots(StackState* s, StackAddress start, int32_t size) {
    size_t kept = 0;
    for (size_t i = 0; i < s->slotCount; ++i) {
        const Slot slot = s->slots[i];
        const bool overlaps =
            slot.at.slack != start.slack ||
            (slot.at.offset + 4 > start.offset && slot.at.offset < start.offset + size);
        if (!overlaps) {
            s->slots[kept++] = slot;
        }
    }
    std::fill(s->slots.begin() + static_cast<std::ptrdiff_t>(kept), s->slots.end(), Slot{});
    s->slotCount = static_cast<uint8_t>(kept);
}

// Keeps a stack address stored at `at`; with all slots taken, it is handed to what the walk
// does not follow.
void SetSlot(StackState* s, StackAddress at, StackAddress value) {
    ForgetSlots(s, at, 4);
    if (s->slotCount == kMaxSlots) {
        Escape(s, value);
    } else {
        s->slots[s->slotCount++] = {at, value};
    }
}

// pop reg (or the pop half of leave): the saved stack address if the slot at ESP holds one.
Effect PopRegister(StackState* s, int reg) {
    const Slot* slot = FindSlot(*s, Esp(s));
    const bool known = slot != nullptr;
    const StackAddress value = known ? slot->value : StackAddress{};
    Esp(s) = Plus(Esp(s), 4);
    if (reg == kEsp) {
        Esp(s) = value;
        return known ? Effect::Next : Effect::CannotTell;
    }
    if (known) {
        Track(s, reg, value);
    } else {
        Untrack(s, reg);
    }
    return Effect::Next;
}

// push reg: a stack address pushed is kept as the slot's.
void PushRegister(StackState* s, int reg) {
    const StackAddress value = s->regs[static_cast<size_t>(reg)];
    const bool known = Tracked(*s, reg);
    Esp(s) = Plus(Esp(s), -4);
    s->pushed += 4;
    if (known) {
        SetSlot(s, Esp(s), value);
    } else {
        ForgetSlots(s, Esp(s), 4);
    }
}

// mov, lea and the stack instructions that move stack addresses between registers and the
// slot; false when the instruction is none of them.
bool MoveAddress(StackState* s, const unsigned char* bytes, const X86Insn& insn, StackPlace place,
                 StackAddress at, Effect* effect) {
    const int op = insn.operand16 ? -1 : OneByteOpcode(bytes, insn);
    const int reg = RegField(bytes, insn), rm = RmRegister(bytes, insn);
    *effect = Effect::Next;
    if (op >= 0x50 && op <= 0x57) {
        PushRegister(s, op & 7);
    } else if (op >= 0x58 && op <= 0x5F) {
        s->pushed -= std::min(s->pushed, 4u);
        *effect = PopRegister(s, op & 7);
    } else if (op == 0xC9) { // leave
        if (!Tracked(*s, kEbp)) {
            *effect = Effect::CannotTell;
        } else {
            Esp(s) = s->regs[kEbp];
            *effect = PopRegister(s, kEbp);
        }
    } else if (op == 0x8D || (op == 0x8B && rm < 0)) { // lea reg, [m]; mov reg, [m]
        const Slot* slot = op == 0x8B && place == StackPlace::Stack ? FindSlot(*s, at) : nullptr;
        if (op == 0x8D && place == StackPlace::Stack) {
            Track(s, reg, at);
        } else if (slot != nullptr) {
            Track(s, reg, slot->value);
        } else if (reg == kEsp) {
            *effect = Effect::CannotTell;
        } else {
            Untrack(s, reg);
        }
    } else if ((op == 0x8B || op == 0x89) && rm >= 0) { // mov reg, reg
        const int to = op == 0x8B ? reg : rm, from = op == 0x8B ? rm : reg;
        if (Tracked(*s, from)) {
            Track(s, to, s->regs[static_cast<size_t>(from)]);
        } else if (to == kEsp) {
            *effect = Effect::CannotTell;
        } else {
            Untrack(s, to);
        }
    } else if (op == 0x89 && Tracked(*s, reg)) { // mov [m], reg holding a stack address
        if (place == StackPlace::Stack) {
            SetSlot(s, at, s->regs[static_cast<size_t>(reg)]);
        } else {
            Escape(s, s->regs[static_cast<size_t>(reg)]);
        }
    } else {
        return false;
    }
    return true;
}

// Whether the instruction is `op r, r/m` of add to cmp, or test: it writes at most its
// destination, which RegistersUsed gives.
bool ReadsSourceOnly(const unsigned char* bytes, const X86Insn& insn) {
    const int op = OneByteOpcode(bytes, insn);
    return (op >= 0 && op < 0x40 && (op & 7) < 4) || op == 0x84 || op == 0x85;
}

// What the instruction does to ESP and the registers followed, other than as a call or return.
Effect MoveStack(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                 const MemoryOperand& m, StackPlace place, StackAddress at) {
    int32_t value = 0;
    const int arithmetic = EspArithmetic(bytes, insn, &value);
    if (arithmetic == 0 || arithmetic == 5) { // add, sub
        Esp(s) = Plus(Esp(s), arithmetic == 0 ? value : -value);
        s->pushed = arithmetic == 5 ? 0 : s->pushed; // what was pushed before locals is saved
        return Effect::Next;
    }
    if (arithmetic == 4) { // and esp, mask: aligned down by up to ~mask bytes
        Esp(s).slack += ~static_cast<uint32_t>(value);
        return Esp(s).slack <= kMaxSlack ? Effect::Next : Effect::CannotTell;
    }
    if (arithmetic >= 0) { // cmp; or, adc, sbb, xor: not followed
        return arithmetic == 7 ? Effect::Next : Effect::CannotTell;
    }
    const int accessing = OneByteOpcode(bytes, insn);
    if (place == StackPlace::Stack && accessing != 0x8B && accessing != 0x8D) { // lea reads nothing
        ForgetSlots(s, at, AccessSize(bytes, insn)); // written over (or so taken)
    } else if (place == StackPlace::LocalArray && accessing != 0x8B && accessing != 0x8D) {
        ForgetSlots(s, at, -at.offset); // any element up to the return address
    }
    Effect effect = Effect::Next;
    if (MoveAddress(s, bytes, insn, place, at, &effect)) {
        return effect;
    }
    const int op = OneByteOpcode(bytes, insn);
    if (op == 0xC8 || op == 0x61) { // enter, popad
        return Effect::CannotTell;
    }
    const int32_t pushed = PushedBytes(bytes, insn);
    Esp(s) = Plus(Esp(s), -pushed);
    s->pushed = pushed > 0 ? s->pushed + static_cast<uint32_t>(pushed)
                           : s->pushed - std::min(s->pushed, static_cast<uint32_t>(-pushed));
    if (pushed > 0) {
        ForgetSlots(s, Esp(s), pushed);
    }
    const RegisterUse use = RegistersUsed(bytes, insn);
    const unsigned addressing =
        (m.base >= 0 ? 1u << m.base : 0u) | (m.index >= 0 ? 1u << m.index : 0u);
    // Any other use of a stack address as a value hands it to what the walk does not follow,
    // and may change it: only the common ALU and test forms are sure to leave their source
    // alone (the stack cookie's `xor eax, ebp` or `xor eax, esp`).
    const unsigned escaping = use.reads & ~addressing & s->stackRegs;
    const unsigned changed = (ReadsSourceOnly(bytes, insn) ? 0 : escaping) | use.writes;
    if (((changed >> kEsp) & 1u) != 0) {
        return Effect::CannotTell;
    }
    for (int reg = 0; changed >> reg != 0; ++reg) {
        if ((escaping >> reg & 1u) != 0) {
            Escape(s, s->regs[static_cast<size_t>(reg)]);
        }
        if ((changed >> reg & 1u) != 0) {
            Untrack(s, reg);
        }
    }
    return Effect::Next;
}

bool Untouched(const StackState& s) {
    StackState fresh;
    fresh.rva = s.rva;
    return !(s < fresh) && !(fresh < s);
}

void MergePaths(StackPaths* into, const StackPaths& from) {
    into->cannotTell |= from.cannotTell;
    into->returned |= from.returned;
    into->readsArgument |= from.readsArgument;
    into->returnsFirst &= from.returnsFirst;
    into->firstWritten = std::max(into->firstWritten, from.firstWritten);
    into->firstEscapes |= from.firstEscapes;
    into->certainRead |= from.certainRead;
    into->settled |= from.settled;
    into->argumentEnd = std::max(into->argumentEnd, from.argumentEnd);
    into->guessedEnd = std::max(into->guessedEnd, from.guessedEnd);
    into->vagueRead |= from.vagueRead;
    into->localArray |= from.localArray;
}

uint64_t MemoKey(uint32_t entry, WalkQuestion question) {
    return uint64_t{entry} << 1 | (question == WalkQuestion::ReadsArgument ? 1u : 0u);
}

// A path at another export's entry that has done nothing yet goes on as the walk from there
// went: it takes that walk's findings.
bool TakeWalked(StackWalk* walk, const StackState& s) {
    if (walk->memo == nullptr || !Untouched(s)) {
        return false;
    }
    const auto known = walk->memo->byEntry.find(MemoKey(s.rva, walk->question));
    if (known == walk->memo->byEntry.end()) {
        return false;
    }
    MergePaths(&walk->found, known->second);
    return true;
}

// Whether the state is new at its target; too many there make the walk give up.
bool NewStateAtTarget(StackWalk* walk, const StackState& s) {
    if (!walk->seen.insert(s).second) {
        return false;
    }
    if (++walk->statesAt[s.rva] > kMaxStatesAtTarget) {
        walk->found.cannotTell = true;
    }
    return true;
}

// A path continues at a jump or branch target, unless it was there in the same state.
void QueuePath(StackWalk* walk, const StackState& s) {
    walk->targets.insert(s.rva);
    if (!(IsExportEntry(walk->image, s.rva, &walk->entryGap) && TakeWalked(walk, s)) &&
        NewStateAtTarget(walk, s)) {
        walk->pending.push_back(s);
    }
}

// The end of a path that does not return (its reads count all the same).
void End(StackWalk* walk, const StackState& s) {
    walk->found.readsArgument |= s.readsArgument;
    walk->found.vagueRead |= s.argumentsEscape;
}

// Where a path reads the stack at or above the first argument, as the highest byte reached:
// exact on a path without guesses; otherwise noted apart, or as vague.
void NoteArgumentRead(StackPaths* found, const StackState& s, StackAddress at, int32_t size) {
    const int32_t end = at.offset + size;
    if (end <= kFirstArgument) {
        return;
    }
    if (at.slack != 0 || end > 0xFFFF) {
        found->vagueRead = true;
    } else if (s.guessed) {
        found->guessedEnd = std::max<uint32_t>(found->guessedEnd, static_cast<uint32_t>(end));
    } else {
        found->argumentEnd = std::max<uint32_t>(found->argumentEnd, static_cast<uint32_t>(end));
    }
}

// Continues a path at next, or ends it at another export's entry (the code before did not
// return). Where paths meet again after a branch, a state seen there is not taken again (the
// paths would double at each branch).
void FallThrough(StackWalk* walk, StackState& s, uint32_t next) {
    s.rva = next;
    if (IsExportEntry(walk->image, next, &walk->entryGap)) {
        if (!TakeWalked(walk, s)) {
            End(walk, s);
        }
    } else if (walk->targets.count(next) == 0 || NewStateAtTarget(walk, s)) {
        walk->pending.push_back(s);
    }
}

void Return(StackWalk* walk, StackState& s) {
    if (s.regs[kEsp].slack != 0) {
        walk->found.cannotTell = true;
    } else if (s.regs[kEsp].offset == 0) {
        if (Tracked(s, 0)) {
            Escape(&s, s.regs[0]); // handed back in EAX
        }
        walk->found.returned = true;
        walk->found.readsArgument |= s.readsArgument;
        walk->found.returnsFirst &= (s.holdsFirst & RegisterMask(kEax)) != 0;
        walk->found.settled |=
            walk->question == WalkQuestion::ReturnsFirst && !walk->found.returnsFirst;
        walk->found.firstWritten = std::max(walk->found.firstWritten, s.firstWritten);
        walk->found.firstEscapes |= s.firstEscapes;
    }
}

// The callee returns having popped up to what was pushed for it; a stack address among its
// arguments is handed to it; EAX, ECX and EDX are its. A stack address left in ECX or EDX is
// not taken as handed over: gcc's realigned frames keep the argument pointer in ECX.
void AfterCall(StackState* s) {
    const StackAddress esp = s->regs[kEsp];
    for (size_t i = 0; i < s->slotCount; ++i) {
        if (Within(s->slots[i].at, esp, static_cast<int32_t>(s->pushed))) {
            Escape(s, s->slots[i].value);
        }
    }
    for (int reg = 0; reg < 3; ++reg) {
        Untrack(s, reg);
    }
    s->firstEscapes |= s->firstOnTop;
    s->firstOnTop = false;
    s->calleePop = std::min(s->pushed, kMaxCalleePop);
    s->calleeStored = std::min(s->stored, kMaxCalleePop);
    s->stored = 0;
    s->pushed = 0;
    s->holdsFirst &= static_cast<uint8_t>(~kCallerSaved);
}

// One instruction of a path whose callee pops are settled.
void Step(StackWalk* walk, StackState& s, const unsigned char* bytes, const X86Insn& insn) {
    const MemoryOperand m = MemoryOf(bytes, insn);
    const int op = OneByteOpcode(bytes, insn);
    StackAddress at;
    const StackPlace place = PlaceOf(s, m, op == 0x8F ? 4 : 0, &at);
    if (place == StackPlace::Unknown) {
        walk->found.cannotTell = true;
        return;
    }
    walk->found.localArray |= place == StackPlace::LocalArray;
    const StackAddress esp = s.regs[kEsp];
    if (place == StackPlace::Stack && at.slack == esp.slack && at.offset >= esp.offset &&
        (op == 0x89 || op == 0xC7 || op == 0x88 || op == 0xC6)) {
        const int32_t end = at.offset - esp.offset + AccessSize(bytes, insn);
        s.stored = std::max(s.stored, static_cast<uint32_t>(std::min(end, 0xFFFF)));
    }
    if (place == StackPlace::Stack && op != 0x8D) {
        s.readsArgument |= at.offset + AccessSize(bytes, insn) > kFirstArgument;
        NoteArgumentRead(&walk->found, s, at, AccessSize(bytes, insn));
    }
    walk->found.vagueRead |= s.argumentsEscape;
    const bool exact = place == StackPlace::Stack && at.slack == 0;
    TrackFirstArgument(&s, bytes, insn, m, exact && at.offset == kFirstArgument,
                       place == StackPlace::Stack && at == s.regs[kEsp]);
    const StackAddress espBefore = s.regs[kEsp];
    if (MoveStack(&s, bytes, insn, m, place, at) == Effect::CannotTell) {
        walk->found.cannotTell = true;
        return;
    }
    if (walk->question == WalkQuestion::ReadsArgument && s.readsArgument && !s.guessed) {
        walk->found.certainRead = true;
        return;
    }
    if (!(s.regs[kEsp] == espBefore) && !(op >= 0x50 && op <= 0x57)) {
        s.firstOnTop = false;
    }
    const uint32_t next = s.rva + insn.length;
    const uint32_t target = next + static_cast<uint32_t>(insn.displacement);
    switch (insn.flow) {
    case InsnFlow::Next:
        if (IsIndirectCall(bytes, insn)) {
            AfterCall(&s);
            if (!CallInstructionReturns(walk->image, bytes, insn)) {
                End(walk, s); // an import that never returns
                return;
            }
        }
        FallThrough(walk, s, next);
        return;
    case InsnFlow::Branch: {
        StackState taken = s;
        taken.rva = target;
        walk->targets.insert(target); // for the fall-through to meet it as a target
        FallThrough(walk, s, next);
        QueuePath(walk, taken);
        return;
    }
    case InsnFlow::Jump:
        s.rva = target;
        QueuePath(walk, s);
        return;
    case InsnFlow::Call: {
        if (!CalleeCanReturn(&walk->analysis->callees, walk->image, target)) {
            AfterCall(&s); // what it is handed counts
            End(walk, s);  // a call that never returns
            return;
        }
        AfterCall(&s);
        FallThrough(walk, s, next);
        return;
    }
    case InsnFlow::Return:
    case InsnFlow::ReturnPop:
        Return(walk, s);
        return;
    case InsnFlow::Stop:
        End(walk, s);
        return;
    case InsnFlow::JumpPointer:
        if (walk->image.imports.count(insn.address) != 0) {
            End(walk, s); // a tail jump to an import: left to the paths that return
            return;
        }
        break;
    case InsnFlow::JumpTable:
        if (TableJumpTargets(walk->analysis->graph, s.rva, &walk->tableTargets)) {
            for (uint32_t to : walk->tableTargets) {
                StackState taken = s;
                taken.rva = to;
                QueuePath(walk, taken);
            }
            return;
        }
        break;
    case InsnFlow::JumpRegister:
    case InsnFlow::FarFlow:
        break;
    }
    walk->found.cannotTell = true;
}

// Whether the instruction uses ESP in any way (its value, an address from it, the stack).
bool UsesEsp(const unsigned char* bytes, const X86Insn& insn, const MemoryOperand& memory) {
    const RegisterUse use = RegistersUsed(bytes, insn);
    const int op = OneByteOpcode(bytes, insn);
    return (((use.reads | use.writes) >> kEsp) & 1u) != 0 || memory.base == kEsp ||
           PushedBytes(bytes, insn) != 0 || insn.flow == InsnFlow::Call ||
           IsIndirectCall(bytes, insn) || insn.flow == InsnFlow::Return ||
           insn.flow == InsnFlow::ReturnPop || op == 0xC8 || op == 0xC9;
}

// Settles what the last call popped, when this instruction is the first to use ESP after it.
void SettleCalleePop(StackWalk* walk, StackState& s, const unsigned char* bytes,
                     const X86Insn& insn) {
    int32_t value = 0;
    if ((s.calleePop == 0 && s.calleeStored == 0) || !UsesEsp(bytes, insn, MemoryOf(bytes, insn))) {
        Step(walk, s, bytes, insn);
        return;
    }
    const uint32_t most = s.calleePop;
    const uint32_t passed = std::max(s.calleePop, s.calleeStored);
    s.calleePop = s.calleeStored = 0;
    const int arithmetic = EspArithmetic(bytes, insn, &value);
    if (arithmetic == 0 && value > 0 && static_cast<uint32_t>(value) <= most) {
        Step(walk, s, bytes, insn); // add esp, N: the caller cleans up
        return;
    }
    // sub esp, N, or push reg for 4 after arguments stored rather than pushed: gcc taking back
    // the room of the arguments a stdcall callee popped
    const int op = OneByteOpcode(bytes, insn);
    const int32_t retaken = arithmetic == 5 ? value : most == 0 && op >= 0x50 && op <= 0x57 ? 4 : 0;
    if (retaken > 0 && retaken % 4 == 0 && static_cast<uint32_t>(retaken) <= passed) {
        s.regs[kEsp] = Plus(s.regs[kEsp], retaken);
        s.guessed = true;
        Step(walk, s, bytes, insn);
        return;
    }
    if (most == 0) {
        Step(walk, s, bytes, insn);
        return;
    }
    for (uint32_t pop = 0; pop <= most && !walk->found.cannotTell; pop += 4) {
        StackState guess = s;
        guess.regs[kEsp] = Plus(guess.regs[kEsp], static_cast<int32_t>(pop));
        guess.guessed = true;
        Step(walk, guess, bytes, insn);
    }
}

// Counts a step against what all walks may take; true when none is left.
bool OutOfSteps(StackWalkMemo* memo) {
    if (memo == nullptr || memo->stepsLeft == 0) {
        return memo != nullptr;
    }
    --memo->stepsLeft;
    return false;
}

} // namespace

StackArgumentUse FindStackArgumentUse(const CodeImage& image, CodeAnalysis* analysis,
                                      uint32_t entry, WalkQuestion question, StackWalkMemo* memo) {
    StackWalk walk{image, analysis, question, memo, {}, {}, {}, {}, {}, {}, {}};
    StackPaths& found = walk.found;
    StackState start;
    start.rva = entry;
    CodeWindow window;
    walk.seen.insert(start);
    walk.pending.push_back(start);
    for (size_t steps = 0;
         !walk.pending.empty() && !found.cannotTell && !found.certainRead && !found.settled;
         ++steps) {
        if (steps == kMaxSteps || OutOfSteps(memo)) {
            found.cannotTell = true;
            break;
        }
        StackState s = walk.pending.back();
        walk.pending.pop_back();
        size_t got = 0;
        const unsigned char* bytes = CodeAt(image, &window, s.rva, &got);
        X86Insn insn; // DecodeX86 sets every field first
        if (got == 0 || !DecodeX86(bytes, got, &insn) || HasAddressSizePrefix(bytes, insn)) {
            found.cannotTell = true;
            break;
        }
        SettleCalleePop(&walk, s, bytes, insn);
    }
    if (memo != nullptr) {
        memo->byEntry[MemoKey(entry, question)] = found;
    }
    // Structures of 1, 2, 4 or 8 bytes come back in EAX (and EDX), not through a pointer.
    const uint8_t written = found.firstWritten;
    const bool structureSized =
        found.firstEscapes ||
        (written != 0 && written != 1 && written != 2 && written != 4 && written != 8);
    if (found.certainRead || found.settled) {
        return {true, true, false, 0}; // what was wanted is known
    }
    const bool followed = !found.cannotTell && found.returned;
    // Without a return, the arguments read, when every read was seen exactly.
    const bool readsExactly = !found.cannotTell && !found.returned && !found.vagueRead &&
                              !found.localArray && found.guessedEnd <= found.argumentEnd;
    const uint32_t bytesRead =
        found.argumentEnd > kFirstArgument ? (found.argumentEnd - kFirstArgument + 3) / 4 * 4 : 0;
    return {followed, followed && found.readsArgument,
            followed && found.returnsFirst && structureSized, readsExactly ? bytesRead : 0};
}
