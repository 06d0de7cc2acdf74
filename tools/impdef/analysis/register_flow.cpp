#include "register_flow.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int64_t kFrameReach = int64_t{1} << 24; // offsets beyond are no frame followed

int64_t Low(const Flow& f, int8_t base, int64_t offset) {
    return f.baseLow[base] + offset;
}

int64_t High(const Flow& f, int8_t base, int64_t offset) {
    return f.baseHigh[base] + offset;
}

// Whether the byte may lie at or above the address.
bool MayBeAbove(const Flow& f, const FrameByte& b, const FrameByte& address) {
    return b.base == address.base
               ? b.offset >= address.offset
               : High(f, b.base, b.offset) >= Low(f, address.base, address.offset);
}

void Escape(Flow* f, const Value& address) {
    f->escaped.push_back({address.base, address.offset, false});
}

// Elsewhere: through a register that may hold a frame address stored; Fixed: an address in the
// image, no frame.
enum class FramePlace { None, Slot, AnyFrame, Elsewhere, Fixed };

struct Target {
    FramePlace place;
    int8_t base;
    int32_t offset;
};

// Where a memory operand lies; *used when its address is formed from a tainted register.
Target Resolve(const Flow& f, const MemoryOperand& m, bool* used) {
    *used = false;
    if (!m.present) {
        return {FramePlace::None, kNoBase, 0};
    }
    const Value none;
    const Value& base = m.base >= 0 ? f.regs[m.base] : none;
    const Value& index = m.index >= 0 ? f.regs[m.index] : none;
    *used = base.taint != 0 || index.taint != 0;
    const int64_t offset = int64_t{base.offset} + m.displacement;
    if (base.base != kNoBase && m.index < 0 && std::abs(offset) < kFrameReach) {
        return {FramePlace::Slot, base.base, static_cast<int32_t>(offset)};
    }
    const bool stack = base.base != kNoBase || index.base != kNoBase || m.base == kEsp ||
                       m.base == kEbp || m.index == kEbp;
    const FramePlace other = m.base < 0 && m.index < 0 ? FramePlace::Fixed : FramePlace::Elsewhere;
    return {stack ? FramePlace::AnyFrame : other, kNoBase, 0};
}

uint32_t AllBytes(int size) {
    return size >= 32 ? ~0u : (1u << size) - 1;
}

// Which of the size bytes at the target may be tainted (bit n: byte n).
uint32_t Load(const Flow& f, const Target& t, int size) {
    uint32_t mask = 0;
    for (const FrameByte& b : f.frame) {
        if (t.place == FramePlace::Slot) {
            for (int i = 0; i < size; ++i) {
                mask |= MayOverlap(f, b, t.base, int64_t{t.offset} + i, 1) ? 1u << i : 0;
            }
        } else if (t.place == FramePlace::AnyFrame ||
                   (t.place == FramePlace::Elsewhere && MayBeAboveAny(f, b, f.escaped))) {
            mask = AllBytes(size);
        }
    }
    return mask;
}

// Stores size bytes, the tainted ones in mask; true when a tainted byte goes where it cannot be
// followed: memory outside the frame, or a frame slot not known.
bool Store(Flow* f, const Target& t, int size, uint32_t mask, const Value& value,
           bool room = false) {
    if (value.base != kNoBase) {
        Escape(f, value);
    }
    if (t.place != FramePlace::Slot) {
        return mask != 0;
    }
    for (int i = 0; i < size; ++i) {
        const FrameByte byte{t.base, t.offset + i, room};
        const auto same = std::find_if(f->frame.begin(), f->frame.end(), [&](const FrameByte& b) {
            return b.base == byte.base && b.offset == byte.offset;
        });
        if (same != f->frame.end()) {
            f->frame.erase(same);
        }
        if ((mask >> i & 1) != 0) {
            f->frame.push_back(byte);
        }
    }
    return false;
}

// A register operand of 1, 2 or 4 bytes: AH, CH, DH and BH are byte 1 of their register.
struct Part {
    int reg;
    uint8_t mask;
    int shift;
};

Part PartOf(int n, int size) {
    if (size == 1) {
        return n < 4 ? Part{n, 0x1, 0} : Part{n - 4, 0x2, 1};
    }
    return {n, static_cast<uint8_t>(size == 2 ? 0x3 : 0xF), 0};
}

uint8_t TaintOf(const Flow& f, const Part& p) {
    return static_cast<uint8_t>((f.regs[p.reg].taint & p.mask) >> p.shift);
}

void Write(Flow* f, const Part& p, uint32_t taint) {
    Value& v = f->regs[p.reg];
    v.taint = static_cast<uint8_t>((v.taint & ~p.mask) | ((taint << p.shift) & p.mask));
    v.base = kNoBase;
    f->untouched &= static_cast<uint8_t>(~(1u << p.reg));
}

void Copy(Flow* f, const Part& from, const Part& to) {
    const Value source = f->regs[from.reg];
    Write(f, to, TaintOf(*f, from));
    if (from.mask == 0xF && to.mask == 0xF) {
        f->regs[to.reg].base = source.base;
        f->regs[to.reg].offset = source.offset;
    }
}

Target StackTop(const Flow& f, int32_t below) {
    const Value& esp = f.regs[kEsp];
    return esp.base == kNoBase ? Target{FramePlace::AnyFrame, kNoBase, 0}
                               : Target{FramePlace::Slot, esp.base, esp.offset - below};
}

bool Push(Flow* f, int size, uint32_t taint, const Value& value, bool room = false) {
    const Target top = StackTop(*f, size);
    f->regs[kEsp].offset -= size;
    return Store(f, top, size, taint, value, room);
}

uint32_t Pop(Flow* f, int size) {
    const uint32_t taint = Load(*f, StackTop(*f, 0), size);
    f->regs[kEsp].offset += size;
    return taint;
}

// What the instruction at hand works on.
struct Insn {
    const Instruction& ins;
    int op;   // the one-byte opcode, 0x100 + the two-byte one, or -1
    int reg;  // the ModRM reg field, or -1
    int rm;   // the register operand of ModRM, or -1 for memory or none
    int size; // operand bytes: 1, 2 or 4
    Target memory;
};

// mov between registers, or between a register and memory.
Effect Move(Flow* f, const Insn& in) {
    const bool toRm = (in.op & 2) == 0;
    const Part reg = PartOf(in.reg, in.size);
    if (in.rm >= 0) {
        const Part rm = PartOf(in.rm, in.size);
        Copy(f, toRm ? reg : rm, toRm ? rm : reg);
        return Effect::Continue;
    }
    if (toRm) {
        return UseIf(Store(f, in.memory, in.size, TaintOf(*f, reg), f->regs[reg.reg]));
    }
    Write(f, reg, Load(*f, in.memory, in.size));
    return Effect::Continue;
}

// An operand set to a value of the function's own.
Effect Overwrite(Flow* f, const Insn& in) {
    if (in.rm >= 0) {
        Write(f, PartOf(in.rm, in.size), 0);
        return Effect::Continue;
    }
    return UseIf(Store(f, in.memory, in.size, 0, Value{}));
}

// movzx, movsx.
void Extend(Flow* f, const Insn& in) {
    const int from = (in.op & 1) != 0 ? 2 : 1;
    const uint32_t taint =
        in.rm >= 0 ? TaintOf(*f, PartOf(in.rm, from)) : Load(*f, in.memory, from);
    const bool sign = (in.op & 8) != 0;
    Write(f, PartOf(in.reg, in.size), sign && taint != 0 ? 0xF : taint);
}

void LoadAddress(Flow* f, const Insn& in) {
    Write(f, PartOf(in.reg, in.size), 0);
    if (in.memory.place == FramePlace::Slot && in.size == 4) {
        f->regs[in.reg].base = in.memory.base;
        f->regs[in.reg].offset = in.memory.offset;
    }
}

Effect PushOperand(Flow* f, const Insn& in) {
    if (in.rm >= 0) {
        return UseIf(Push(f, in.size, TaintOf(*f, PartOf(in.rm, in.size)), f->regs[in.rm]));
    }
    return UseIf(Push(f, in.size, Load(*f, in.memory, in.size), Value{}));
}

// pop r/m: the destination's address counts ESP after the pop.
Effect PopOperand(Flow* f, const Insn& in) {
    const uint32_t taint = Pop(f, in.size);
    if (in.rm >= 0) {
        Write(f, PartOf(in.rm, in.size), taint);
        return Effect::Continue;
    }
    bool used = false;
    const Target to = Resolve(*f, in.ins.memory, &used);
    return UseIf(used || Store(f, to, in.size, taint, Value{}));
}

// add, sub, and of an immediate to a frame address; false when it is no such instruction.
bool MoveFrameAddress(Flow* f, const Insn& in) {
    if ((in.op != 0x81 && in.op != 0x83) || in.rm < 0 || in.size != 4 ||
        f->regs[in.rm].base == kNoBase) {
        return false;
    }
    const int32_t value = in.ins.groupImmediate;
    Value& v = f->regs[in.rm];
    const int64_t moved = int64_t{v.offset} + (in.reg == 0 ? value : -int64_t{value});
    if ((in.reg == 0 || in.reg == 5) && std::abs(moved) < kFrameReach) {
        v.offset = static_cast<int32_t>(moved);
    } else if (in.reg == 4 && in.rm == kEsp && value < 0 && f->bases < kMaxBases) {
        f->baseLow[f->bases] = Low(*f, v.base, v.offset) + value + 1;
        f->baseHigh[f->bases] = High(*f, v.base, v.offset);
        v = Value{0, static_cast<int8_t>(f->bases++), 0};
    } else if (in.reg != 7) {
        v.base = kNoBase;
    }
    return true;
}

// Group opcodes, whose ModRM reg field is no register.
bool IsGroup(int op) {
    return op == 0x80 || op == 0x82 || op == 0xC0 || op == 0xC6 || op == 0xD0 || op == 0xD2 ||
           op == 0xF6 || op == 0xFE;
}

// Whether any of the registers, read as size bytes (the low two when fewer than 4), is tainted.
bool ReadsTaint(const Flow& f, uint8_t registers, int size) {
    const uint8_t bytes = size == 4 ? 0xF : 0x3;
    for (int r = 0; r < 8; ++r) {
        if ((registers >> r & 1) != 0 && (f.regs[r].taint & bytes) != 0) {
            return true;
        }
    }
    return false;
}

bool IsCompare(const Insn& in) {
    const bool group = in.op == 0x80 || in.op == 0x81 || in.op == 0x83;
    return (in.op >= 0x38 && in.op <= 0x3D) || in.op == 0x84 || in.op == 0x85 ||
           (group && in.reg == 7) || ((in.op == 0xF6 || in.op == 0xF7) && in.reg == 0);
}

bool IsStringOperation(int op) {
    return (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF);
}

// Any other instruction, by the registers it reads and sets: a tainted register or frame byte
// it reads is a use. Only the registers set whole or in their low half lose their taint; all
// it may change lose their frame addresses.
Effect Other(Flow* f, const Insn& in) {
    const RegisterUse use = in.ins.registers;
    uint8_t reads = use.reads;
    // The byte operands themselves, AL apart from AH (cmpxchg reads AL besides).
    if (in.size == 1 && !IsGroup(in.op) && in.op != 0x1B0) {
        for (int n : {in.reg, in.rm}) {
            if (n >= 0 && TaintOf(*f, PartOf(n, 1)) != 0) {
                return Effect::Use;
            }
            reads &= static_cast<uint8_t>(n >= 0 ? ~(1u << PartOf(n, 1).reg) : ~0u);
        }
    }
    if (ReadsTaint(*f, reads, in.size)) {
        return Effect::Use;
    }
    if (const int stored = in.ins.storedWithoutReading) {
        return UseIf(Store(f, in.memory, stored, 0, Value{}));
    }
    const bool x87 = in.op >= 0xD8 && in.op <= 0xDF;
    const int width = in.ins.x.map == InsnMap::OneByte && !x87 ? in.size : in.ins.accessSize;
    if (in.memory.place != FramePlace::None && Load(*f, in.memory, width) != 0) {
        return Effect::Use;
    }
    const int32_t pushed = in.ins.pushed;
    if (in.op == 0x60 || in.op == 0x61 || in.op == 0xC8 ||
        (IsStringOperation(in.op) && Live(*f, false))) {
        return Effect::Unfollowed; // pusha, popa, enter, or memory to memory
    }
    if ((pushed > 0 && Push(f, pushed, 0, Value{})) || (pushed < 0 && Pop(f, -pushed) != 0)) {
        return Effect::Use;
    }
    for (int r = 0; r < 8; ++r) {
        if ((use.writes >> r & 1) == 0) {
            continue;
        }
        // Of a byte operation only `xor dl, dl` and the like tell which byte they set.
        const bool known = in.size != 1 || (in.rm >= 0 && in.rm == in.reg && !IsGroup(in.op));
        Write(f, !known ? Part{r, 0, 0} : in.size == 1 ? PartOf(in.rm, 1) : PartOf(r, in.size), 0);
    }
    if (!IsCompare(in)) {
        for (int r : {in.reg, in.rm}) {
            if (r >= 0) {
                f->regs[in.size == 1 ? PartOf(r, 1).reg : r].base = kNoBase;
            }
        }
        for (int r = kEax; r <= kEbx; ++r) {
            f->regs[r].base = kNoBase; // cpuid, cmpxchg8b, lods... set them unseen
        }
        if (IsStringOperation(in.op)) {
            f->regs[kEsi].base = f->regs[kEdi].base = kNoBase;
        }
    }
    return Effect::Continue;
}

} // namespace

bool MayOverlap(const Flow& f, const FrameByte& b, int8_t base, int64_t offset, int64_t size) {
    if (b.base == base) {
        return b.offset >= offset && b.offset - offset < size;
    }
    return High(f, b.base, b.offset) >= Low(f, base, offset) &&
           Low(f, b.base, b.offset) - High(f, base, offset) < size;
}

bool Live(const Flow& f, bool untouched) {
    for (int r = 0; r < 8; ++r) {
        if (f.regs[r].taint != 0 && (untouched || (f.untouched >> r & 1) == 0)) {
            return true;
        }
    }
    return std::any_of(f.frame.begin(), f.frame.end(),
                       [&](const FrameByte& b) { return untouched || !b.room; });
}

bool MayBeAboveAny(const Flow& f, const FrameByte& b, const std::vector<FrameByte>& addresses) {
    return std::any_of(addresses.begin(), addresses.end(),
                       [&](const FrameByte& address) { return MayBeAbove(f, b, address); });
}

bool CallReadsTaint(const Flow& f, const Instruction& call) {
    bool used = false;
    const Target at = Resolve(f, call.memory, &used);
    return used || ReadsTaint(f, call.registers.reads, 4) ||
           (at.place != FramePlace::None && Load(f, at, 4) != 0);
}

Effect Execute(Flow* f, const Instruction& instruction) {
    if (instruction.addressSizePrefix) {
        return Effect::Unfollowed;
    }
    const int op = instruction.opcode;
    const int size = instruction.operandSize;
    Insn in{instruction, op, instruction.reg, instruction.rm, size, {}};
    if (op == 0x11F || op == 0x118) {
        return Effect::Continue; // nop [address], prefetch: no access
    }
    const MemoryOperand& m = instruction.memory;
    if (op == 0x8D && m.index < 0 && m.base >= 0 && m.displacement == 0) {
        Copy(f, PartOf(m.base, 4), PartOf(in.reg, size)); // lea esi, [esi]: padding
        return Effect::Continue;
    }
    bool used = false;
    in.memory = Resolve(*f, m, &used);
    if (used) {
        return Effect::Use;
    }
    if (op >= 0x50 && op <= 0x57) {
        const int r = op - 0x50;
        const bool room = (f->untouched >> r & 1) != 0;
        return UseIf(Push(f, size, TaintOf(*f, PartOf(r, size)), f->regs[r], room));
    }
    if (op >= 0x58 && op <= 0x5F) {
        Write(f, PartOf(op - 0x58, size), Pop(f, size));
        return Effect::Continue;
    }
    if (op == 0xC6 || op == 0xC7 || (op >= 0x190 && op <= 0x19F)) { // mov r/m, imm; setcc
        return Overwrite(f, in);
    }
    if (op >= 0xB0 && op <= 0xB7) { // mov r8, imm
        Write(f, PartOf(op - 0xB0, 1), 0);
        return Effect::Continue;
    }
    if (MoveFrameAddress(f, in)) {
        return Effect::Continue;
    }
    switch (op) {
    case 0x88:
    case 0x89:
    case 0x8A:
    case 0x8B:
        return Move(f, in);
    case 0x8D:
        LoadAddress(f, in);
        return Effect::Continue;
    case 0x68:
    case 0x6A:
        return UseIf(Push(f, size, 0, Value{}));
    case 0x8F:
        return PopOperand(f, in);
    case 0xC9: // leave
        f->regs[kEsp] = f->regs[kEbp];
        Write(f, PartOf(kEbp, size), Pop(f, size));
        return Effect::Continue;
    case 0x1B6:
    case 0x1B7:
    case 0x1BE:
    case 0x1BF:
        Extend(f, in);
        return Effect::Continue;
    default:
        break;
    }
    if (op == 0xFF && in.reg == 6) {
        return PushOperand(f, in);
    }
    return Other(f, in);
}
