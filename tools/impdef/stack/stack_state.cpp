#include "stack_state.h"

#include "register_use.h"

#include <algorithm>

namespace {

bool HoldsFirst(const StackState& s, int reg) {
    return reg >= 0 && ((s.holdsFirst >> reg) & 1u) != 0;
}

// A structure returned through a hidden pointer is written through it, or the pointer is
// handed to a function that returns the structure (its own first argument).
void NoteUseOfFirst(StackState* s, const Instruction& in, const MemoryOperand& m, bool toTop) {
    const int op = OneByteOpcodeOf(in);
    const int reg = in.reg;
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
    const bool load = op == 0x8A || op == 0x8B || (in.opcode >= 0x1B6 && in.opcode <= 0x1BF);
    const int32_t size = op == 0x88 || op == 0xC6 ? 1 : in.x.operand16 ? 2 : 4;
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
bool MoveAddress(StackState* s, const Instruction& in, StackPlace place, StackAddress at,
                 Effect* effect) {
    const int op = in.x.operand16 ? -1 : OneByteOpcodeOf(in);
    const int reg = in.reg, rm = in.rm;
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
bool ReadsSourceOnly(const Instruction& in) {
    const int op = OneByteOpcodeOf(in);
    return (op >= 0 && op < 0x40 && (op & 7) < 4) || op == 0x84 || op == 0x85;
}

} // namespace

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

void TrackFirstArgument(StackState* s, const Instruction& in, const MemoryOperand& m,
                        bool firstLoad, bool toTop) {
    // Most paths hold the first argument in no register: the registers' use is then not needed.
    const uint8_t writes = s->holdsFirst != 0 ? in.registers.writes : 0;
    const int op = OneByteOpcodeOf(in);
    uint8_t holds = s->holdsFirst & static_cast<uint8_t>(~writes);
    NoteUseOfFirst(s, in, m, toTop);
    if (!in.x.operand16 && (op == 0x8B || op == 0x89)) {
        const int reg = in.reg, rm = in.rm;
        if (op == 0x8B && firstLoad) {
            holds |= static_cast<uint8_t>(1u << reg);
        } else if (rm >= 0 && HoldsFirst(*s, op == 0x8B ? rm : reg)) {
            holds |= static_cast<uint8_t>(1u << (op == 0x8B ? reg : rm));
        }
    }
    s->holdsFirst = holds;
}

Effect MoveStack(StackState* s, const Instruction& in, const MemoryOperand& m, StackPlace place,
                 StackAddress at) {
    int32_t value = 0;
    const int arithmetic = in.espArithmetic;
    value = in.espImmediate;
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
    const int accessing = OneByteOpcodeOf(in);
    if (place == StackPlace::Stack && accessing != 0x8B && accessing != 0x8D) { // lea reads nothing
        ForgetSlots(s, at, in.accessSize); // written over (or so taken)
    } else if (place == StackPlace::LocalArray && accessing != 0x8B && accessing != 0x8D) {
        ForgetSlots(s, at, -at.offset); // any element up to the return address
    }
    Effect effect = Effect::Next;
    if (MoveAddress(s, in, place, at, &effect)) {
        return effect;
    }
    const int op = OneByteOpcodeOf(in);
    if (op == 0xC8 || op == 0x61) { // enter, popad
        return Effect::CannotTell;
    }
    const int32_t pushed = in.pushed;
    Esp(s) = Plus(Esp(s), -pushed);
    s->pushed = pushed > 0 ? s->pushed + static_cast<uint32_t>(pushed)
                           : s->pushed - std::min(s->pushed, static_cast<uint32_t>(-pushed));
    if (pushed > 0) {
        ForgetSlots(s, Esp(s), pushed);
    }
    const RegisterUse use = in.registers;
    const unsigned addressing =
        (m.base >= 0 ? 1u << m.base : 0u) | (m.index >= 0 ? 1u << m.index : 0u);
    // Any other use of a stack address as a value hands it to what the walk does not follow,
    // and may change it: only the common ALU and test forms are sure to leave their source
    // alone (the stack cookie's `xor eax, ebp` or `xor eax, esp`).
    const unsigned escaping = use.reads & ~addressing & s->stackRegs;
    const unsigned changed = (ReadsSourceOnly(in) ? 0 : escaping) | use.writes;
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

bool UsesEsp(const Instruction& in) {
    const MemoryOperand& memory = in.memory;
    const RegisterUse use = in.registers;
    const int op = OneByteOpcodeOf(in);
    return (((use.reads | use.writes) >> kEsp) & 1u) != 0 || memory.base == kEsp ||
           in.pushed != 0 || in.x.flow == InsnFlow::Call || in.indirectCall ||
           in.x.flow == InsnFlow::Return || in.x.flow == InsnFlow::ReturnPop || op == 0xC8 ||
           op == 0xC9;
}
