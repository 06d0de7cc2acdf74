#include "table_bounds.h"

#include "register_use.h"

#include <algorithm>

namespace {

constexpr uint32_t kMaxByteTable = 1024;
constexpr uint8_t kAllRegisters = 0xFF;

struct ModRm {
    unsigned mod, reg, rm;
};

ModRm ModRmOf(const X86Insn& insn) {
    if (insn.modrmAt == 0) {
        return {3, 0, 0};
    }
    return {static_cast<unsigned>(insn.mod), static_cast<unsigned>(insn.reg),
            static_cast<unsigned>(insn.rm)};
}

bool SameMemory(const MemoryOperand& x, const MemoryOperand& y) {
    return x.present == y.present && x.base == y.base && x.index == y.index && x.scale == y.scale &&
           x.displacement == y.displacement;
}

// ESP, or EBP as the frame: copied in every prologue, never a table's index.
bool IsFrameRegister(unsigned reg) {
    return reg == 4 || reg == 5;
}

// A part's kind shifted right by 4 is its width in bytes.
constexpr uint8_t kFromByte = 0x10, kFromWord = 0x20, kFromWhole = 0x40;

void SetBound(RegisterBounds* bounds, unsigned reg, uint32_t largest) {
    bounds->extendedFrom[reg] = 0;
    for (uint8_t& from : bounds->extendedFrom) {
        from = from != 0 && (from & 7u) == reg ? 0 : from;
    }
    bounds->largest[reg] = largest;
    bounds->lowPart[reg] = kUnbounded;
    bounds->widthOnly &= static_cast<uint8_t>(~(1u << reg));
    if (largest != kUnbounded) {
        bounds->known |= static_cast<uint8_t>(1u << reg);
    }
}

// reg holds a part of another register (from: its kind | the register), zero-extended and
// shifted right. Both become known, so that a write to either ends the relation.
void Relate(RegisterBounds* bounds, unsigned reg, unsigned from, unsigned shift) {
    bounds->extendedFrom[reg] = static_cast<uint8_t>(from);
    bounds->shiftedBy[reg] = static_cast<uint8_t>(shift);
    bounds->known |= static_cast<uint8_t>(1u << reg | 1u << (from & 7u));
}

// A compare of reg's low width bytes with imm bounds the registers holding that part or a
// narrower one, each shifted as it is.
void BoundCopies(RegisterBounds* bounds, unsigned reg, unsigned width, uint32_t imm) {
    for (unsigned d = 0; d < 8; ++d) {
        const uint8_t from = bounds->extendedFrom[d];
        if (from != 0 && (from & 7u) == reg && (from >> 4) <= width) {
            bounds->largest[d] = std::min(bounds->largest[d], imm >> bounds->shiftedBy[d]);
            bounds->widthOnly &= static_cast<uint8_t>(~(1u << d));
        }
    }
}

// shr reg, count: the bound shifts with the value, and so does a part reg holds.
void ShiftRight(RegisterBounds* bounds, unsigned reg, unsigned count) {
    const uint8_t from = bounds->extendedFrom[reg];
    const unsigned shift = std::min(31u, bounds->shiftedBy[reg] + count);
    SetBound(bounds, reg, bounds->largest[reg] >> count);
    if (from != 0 && (from & 7u) != reg) {
        Relate(bounds, reg, from, shift);
    }
}

// The constant of cmp or and: imm8, imm16 or imm32 at the end, 83's sign-extended.
uint32_t ImmediateOf(const unsigned char* bytes, const X86Insn& insn, unsigned width) {
    const unsigned char op = bytes[insn.opcodeAt];
    const unsigned char* end = bytes + insn.length;
    if (op == 0x83) {
        const uint32_t value = static_cast<uint32_t>(static_cast<int8_t>(end[-1]));
        return width == 4 ? value : value & (width == 2 ? 0xFFFFu : 0xFFu);
    }
    return LittleEndian(end - width, width);
}

// The operand width of an instruction whose low opcode bit picks byte or full size.
unsigned WidthOf(const X86Insn& insn, unsigned char op) {
    return (op & 1) == 0 ? 1 : insn.operand16 ? 2 : 4;
}

// cmp with a constant: of a whole register, of its low part, or of memory. False for any
// other instruction.
bool Compare(const unsigned char* bytes, const X86Insn& insn, RegisterBounds* bounds) {
    const unsigned char op = bytes[insn.opcodeAt];
    const bool group =
        (op >= 0x80 && op <= 0x83 && op != 0x82) && insn.modrmAt != 0 && ModRmOf(insn).reg == 7;
    if (insn.map != InsnMap::OneByte || (!group && op != 0x3C && op != 0x3D)) {
        return false;
    }
    const unsigned width = op == 0x83 ? (insn.operand16 ? 2 : 4) : WidthOf(insn, op);
    const uint32_t imm = ImmediateOf(bytes, insn, width);
    const ModRm m = group ? ModRmOf(insn) : ModRm{3, 7, 0};
    bounds->lastCompared = imm;
    if (m.mod != 3) {
        bounds->compared = insn.memory;
        bounds->comparedMod = insn.mod;
        bounds->comparedRm = insn.rm;
        bounds->hasCompared = true;
        bounds->comparedWidth = static_cast<uint8_t>(width);
        bounds->comparedLargest = imm;
        bounds->comparedNow = true;
        return true;
    }
    if (width == 1 && m.rm >= 4) {
        return true; // AH to BH
    }
    if (width == 4) {
        BoundCopies(bounds, m.rm, 4, imm);
        SetBound(bounds, m.rm, imm);
        return true;
    }
    // The low part; when the rest is known to be zero, the whole.
    const uint32_t partMask = width == 1 ? 0xFFu : 0xFFFFu;
    bounds->lowPart[m.rm] = imm;
    bounds->known |= static_cast<uint8_t>(1u << m.rm);
    if (bounds->largest[m.rm] <= partMask) {
        bounds->largest[m.rm] = std::min(bounds->largest[m.rm], imm);
    }
    BoundCopies(bounds, m.rm, width, imm);
    return true;
}

// A load of the memory operand just compared: the constant bounds what it loads.
uint32_t ComparedLoad(const X86Insn& insn, const RegisterBounds& bounds, unsigned width,
                      uint32_t otherwise) {
    const bool same = bounds.hasCompared && insn.modrmAt != 0 && insn.mod == bounds.comparedMod &&
                      insn.rm == bounds.comparedRm && width == bounds.comparedWidth &&
                      SameMemory(insn.memory, bounds.compared);
    return same ? std::min(otherwise, bounds.comparedLargest) : otherwise;
}

// The largest byte of table[0..count): what a load from it indexed up to count - 1 can give.
uint32_t LargestByte(TableReads* reads, uint32_t tableRva, uint32_t count) {
    if (*reads->left < count) {
        return 0xFF;
    }
    *reads->left -= count;
    unsigned char largest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        // the byte from its aligned dword, which lies in the same section
        const uint32_t at = tableRva + i;
        uint32_t dword = 0;
        if (!reads->readU32(at & ~3u, &dword)) {
            return 0xFF;
        }
        largest = std::max(largest, static_cast<unsigned char>(dword >> (8 * (at & 3))));
    }
    return largest;
}

// movzx r32, byte [disp32 + index]: the index register, or 8 when the address has another
// shape. at receives disp32.
unsigned ByteTableIndex(const X86Insn& insn, uint32_t* at) {
    const ModRm m = ModRmOf(insn);
    const MemoryOperand& memory = insn.memory;
    *at = static_cast<uint32_t>(memory.displacement);
    if (m.mod == 2 && m.rm != 4 && memory.base == static_cast<int>(m.rm)) {
        return m.rm;
    }
    if (m.rm == 4 && m.mod == 0 && memory.base < 0 && memory.scale == 1 && memory.index >= 0) {
        return static_cast<unsigned>(memory.index);
    }
    return 8;
}

// movzx r32, r/m8: at most 255, or the largest entry of a byte table the load reads with a
// bounded index.
uint32_t ByteLoadBound(TableReads* reads, const X86Insn& insn, const RegisterBounds& bounds) {
    const ModRm m = ModRmOf(insn);
    if (m.mod == 3) {
        return m.rm < 4 ? std::min<uint32_t>(0xFF, bounds.lowPart[m.rm]) : 0xFF;
    }
    uint32_t table = 0;
    const unsigned index = ByteTableIndex(insn, &table);
    if (index == 8 || bounds.largest[index] >= kMaxByteTable) {
        return 0xFF;
    }
    return LargestByte(reads, table - reads->imageBase, bounds.largest[index] + 1);
}

// Registers an instruction may change, erring towards too many: the bounds of the others
// still hold after it.
uint8_t MayWrite(const unsigned char* bytes, const X86Insn& insn) {
    uint8_t writes = RegistersUsed(bytes, insn).writes;
    if (insn.map == InsnMap::Other) {
        return kAllRegisters;
    }
    const unsigned char op = bytes[insn.opcodeAt];
    if (insn.modrmAt != 0) {
        const ModRm m = ModRmOf(insn);
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        const bool understood =
            insn.map == InsnMap::OneByte &&
            ((op < 0x40 && (op & 7) < 4) || (op >= 0x84 && op <= 0x8B) || op == 0x8D);
        // the register field extends the opcode: x87, groups, nop and prefetch forms
        const bool extension = insn.map == InsnMap::OneByte
                                   ? (op >= 0x80 && op <= 0x83) || op == 0x8F || op == 0xC0 ||
                                         op == 0xC1 || op == 0xC6 || op == 0xC7 ||
                                         (op >= 0xD0 && op <= 0xDF) || op >= 0xF6
                                   : op2 <= 0x01 || op2 == 0x18 || op2 == 0x1F || op2 == 0xAE ||
                                         op2 == 0xBA || op2 == 0xC7;
        const bool x87 = insn.map == InsnMap::OneByte && op >= 0xD8 && op <= 0xDF;
        if (!understood) {
            writes |= static_cast<uint8_t>((extension ? 0u : 1u << m.reg) |
                                           (m.mod == 3 && !x87 ? 1u << m.rm : 0u));
        }
        const bool fnstswAx = x87 && m.mod == 3 && m.reg == 4 && m.rm == 0;
        return fnstswAx ? writes | RegisterMask(kEax) : writes; // fnstsw ax
    }
    if (insn.map == InsnMap::TwoByte) {
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        return op2 >= 0x80 && op2 <= 0x8F ? writes : kAllRegisters;
    }
    const bool understood = (op >= 0x40 && op <= 0x5F) || (op >= 0x90 && op <= 0x99) ||
                            (op >= 0xB8 && op <= 0xBF) || (op >= 0x70 && op <= 0x7F) ||
                            op == 0x68 || op == 0x6A || op == 0x9C || op == 0x9D || op == 0xA8 ||
                            op == 0xA9 || op == 0xE9 || op == 0xEB || op == 0xC2 || op == 0xC3 ||
                            op == 0xCC || op == 0xF5 || (op >= 0xF8 && op <= 0xFD);
    if (op < 0x40 && ((op & 7) == 4 || (op & 7) == 5)) {
        return writes |
               ((op >> 3) == 7 ? 0 : RegisterMask(kEax)); // arithmetic on AL or EAX with a constant
    }
    return understood ? writes : kAllRegisters;
}

void Forget(RegisterBounds* bounds, uint8_t registers) {
    registers &= bounds->known;
    if (registers == 0) {
        return;
    }
    bounds->known &= static_cast<uint8_t>(~registers);
    for (unsigned reg = 0; reg < 8; ++reg) {
        if ((registers >> reg) & 1) {
            SetBound(bounds, reg, kUnbounded);
        }
    }
}

// movzx r32, r/m8 or r/m16.
uint32_t ZeroExtendBound(TableReads* reads, const unsigned char* bytes, const X86Insn& insn,
                         const RegisterBounds& bounds) {
    const bool byte = bytes[insn.opcodeAt + 1] == 0xB6;
    const uint32_t most = byte ? 0xFFu : 0xFFFFu;
    const ModRm m = ModRmOf(insn);
    if (m.mod == 3) {
        return byte && m.rm >= 4 ? most : std::min(most, bounds.lowPart[m.rm]);
    }
    const uint32_t loaded = ComparedLoad(insn, bounds, byte ? 1 : 2, most);
    return byte ? std::min(loaded, ByteLoadBound(reads, insn, bounds)) : loaded;
}

// cmp, and, mov and movzx; false for any other instruction.
bool Bounds(TableReads* reads, const unsigned char* bytes, const X86Insn& insn,
            RegisterBounds* bounds) {
    if (Compare(bytes, insn, bounds)) {
        return true;
    }
    const unsigned char op = bytes[insn.opcodeAt];
    if (insn.operand16 || insn.map == InsnMap::Other) {
        return false;
    }
    if (insn.map == InsnMap::TwoByte) {
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        if (op2 != 0xB6 && op2 != 0xB7) {
            return false;
        }
        const unsigned reg = ModRmOf(insn).reg;
        const uint32_t largest = ZeroExtendBound(reads, bytes, insn, *bounds);
        SetBound(bounds, reg, largest);
        if (largest == (op2 == 0xB6 ? 0xFFu : 0xFFFFu)) {
            bounds->widthOnly |= static_cast<uint8_t>(1u << reg);
        }
        const ModRm m = ModRmOf(insn);
        if (m.mod == 3 && (op2 == 0xB7 || m.rm < 4)) {
            Relate(bounds, reg, (op2 == 0xB6 ? kFromByte : kFromWord) | m.rm, 0);
        }
        return true;
    }
    if (op == 0x25) { // and eax, imm32
        SetBound(bounds, 0, std::min(bounds->largest[0], ImmediateOf(bytes, insn, 4)));
        return true;
    }
    if (insn.modrmAt == 0) {
        return false;
    }
    const ModRm m = ModRmOf(insn);
    if ((op == 0x31 || op == 0x33) && m.mod == 3 && m.reg == m.rm && !IsFrameRegister(m.rm)) {
        SetBound(bounds, m.rm, 0); // xor reg, reg
        return true;
    }
    // mov r8, byte [table + index] into the low byte of a register cleared before: how Visual
    // C++ 6 reads a byte table, where later compilers use movzx.
    if (op == 0x8A && m.mod != 3 && m.reg < 4 && (bounds->known >> m.reg & 1) != 0 &&
        bounds->largest[m.reg] == 0) {
        SetBound(bounds, m.reg, ByteLoadBound(reads, insn, *bounds));
        return true;
    }
    if ((op == 0x81 || op == 0x83) && m.mod == 3 && m.reg == 4) { // and reg, imm
        SetBound(bounds, m.rm, std::min(bounds->largest[m.rm], ImmediateOf(bytes, insn, 4)));
        return true;
    }
    if ((op == 0x8B || op == 0x89) && m.mod == 3) {
        const unsigned to = op == 0x8B ? m.reg : m.rm, from = op == 0x8B ? m.rm : m.reg;
        if (IsFrameRegister(to) || IsFrameRegister(from)) {
            return false; // mov ebp, esp and the like: no table index
        }
        SetBound(bounds, to, bounds->largest[from]);
        if (to != from) {
            Relate(bounds, to, kFromWhole | from, 0);
        }
        return true;
    }
    if ((op == 0xC1 || op == 0xD1) && m.mod == 3 && m.reg == 5) { // shr reg, imm8 or 1
        ShiftRight(bounds, m.rm, op == 0xD1 ? 1u : bytes[insn.length - 1] & 31u);
        return true;
    }
    if (op == 0x8B) { // mov reg, [the dword just compared]
        SetBound(bounds, m.reg, ComparedLoad(insn, *bounds, 4, kUnbounded));
        return true;
    }
    return false;
}

} // namespace

RegisterBounds NoBounds() {
    RegisterBounds bounds;
    std::fill(std::begin(bounds.largest), std::end(bounds.largest), kUnbounded);
    std::fill(std::begin(bounds.lowPart), std::end(bounds.lowPart), kUnbounded);
    bounds.compared = MemoryOperand{};
    bounds.comparedMod = bounds.comparedRm = -1;
    bounds.hasCompared = false;
    bounds.comparedWidth = 0;
    bounds.comparedLargest = kUnbounded;
    bounds.widthOnly = 0;
    std::fill(std::begin(bounds.extendedFrom), std::end(bounds.extendedFrom), 0);
    std::fill(std::begin(bounds.shiftedBy), std::end(bounds.shiftedBy), 0);
    bounds.known = 0;
    bounds.comparedNow = false;
    bounds.lastCompared = kUnbounded;
    return bounds;
}

// Whether the instruction can give a register a bound: cmp, and, movzx, shr, xor to zero; or a
// copy of another register, which a compare may bound later.
bool MayBound(const unsigned char* bytes, const X86Insn& insn) {
    const unsigned char op = bytes[insn.opcodeAt];
    if (insn.map == InsnMap::TwoByte) {
        return bytes[insn.opcodeAt + 1] == 0xB6 || bytes[insn.opcodeAt + 1] == 0xB7;
    }
    const ModRm m = ModRmOf(insn);
    const bool registers = insn.modrmAt != 0 && m.mod == 3;
    const bool registerMove = (op == 0x89 || op == 0x8B) && registers && !IsFrameRegister(m.reg) &&
                              !IsFrameRegister(m.rm);
    const bool shiftRight = (op == 0xC1 || op == 0xD1) && registers && m.reg == 5;
    const bool clear =
        (op == 0x31 || op == 0x33) && registers && m.reg == m.rm && !IsFrameRegister(m.rm);
    return insn.map == InsnMap::OneByte &&
           (op == 0x3C || op == 0x3D || op == 0x25 || (op >= 0x80 && op <= 0x83) || registerMove ||
            shiftRight || clear);
}

void TrackBounds(TableReads* reads, const Instruction& instruction, RegisterBounds* bounds) {
    const unsigned char* bytes = instruction.bytes;
    const X86Insn& insn = instruction.x;
    const bool hadCompared = bounds->hasCompared;
    if (bounds->known == 0 && !hadCompared && !MayBound(bytes, insn)) {
        return; // nothing to keep or to learn: most instructions
    }
    bounds->comparedNow = false;
    if (insn.flow == InsnFlow::Call) {
        Forget(bounds, kCallerSaved);
    } else if (!Bounds(reads, bytes, insn, bounds) && bounds->known != 0) {
        Forget(bounds, MayWrite(bytes, insn)); // MayWrite costs: asked only when it matters
    }
    // The memory compared holds its bound until the next instruction other than a branch.
    if (hadCompared && !bounds->comparedNow && insn.flow != InsnFlow::Branch) {
        bounds->hasCompared = false;
    }
}

uint32_t TableBound(const Instruction& jump, const RegisterBounds& bounds, bool* guessed) {
    const unsigned index = static_cast<unsigned>(jump.memory.index);
    const uint32_t own = bounds.largest[index];
    *guessed = !(own != kUnbounded && ((bounds.widthOnly >> index) & 1) == 0);
    return *guessed ? std::min(own, bounds.lastCompared) : own;
}
