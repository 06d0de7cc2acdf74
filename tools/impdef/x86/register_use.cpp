#include "register_use.h"

#include "padding.h"

#include <algorithm>

namespace {

uint8_t Reg32(unsigned n) {
    return static_cast<uint8_t>(1u << (n & 7));
}

// AL, CL, DL, BL, AH, CH, DH, BH belong to EAX, ECX, EDX, EBX.
uint8_t Reg8(unsigned n) {
    return Reg32(n < 4 ? n : n - 4);
}

struct ModRmFields {
    unsigned mod, reg, rm;
    uint8_t memory; // registers that form a memory operand's address
};

ModRmFields ModRmOf(const X86Insn& insn) {
    if (insn.modrmAt == 0) {
        return ModRmFields{3, 0, 0, 0};
    }
    const MemoryOperand& m = insn.memory;
    const unsigned mod = static_cast<unsigned>(insn.mod);
    const uint8_t memory = static_cast<uint8_t>((m.base >= 0 ? Reg32(m.base) : 0) |
                                                (m.index >= 0 ? Reg32(m.index) : 0));
    return ModRmFields{mod, static_cast<unsigned>(insn.reg), static_cast<unsigned>(insn.rm),
                       mod == 3 ? uint8_t(0) : memory};
}

// The r/m operand as a register, or nothing when it is memory.
uint8_t RmReg(const ModRmFields& o, bool byte) {
    return o.mod != 3 ? 0 : byte ? Reg8(o.rm) : Reg32(o.rm);
}

uint8_t RegReg(const ModRmFields& o, bool byte) {
    return byte ? Reg8(o.reg) : Reg32(o.reg);
}

RegisterUse Arithmetic(unsigned char op, const ModRmFields& o) {
    const bool byte = (op & 1) == 0;
    const unsigned kind = op >> 3;
    const uint8_t reg = RegReg(o, byte), rm = RmReg(o, byte);
    if ((kind == 3 || kind == 5 || kind == 6) && o.mod == 3 && o.reg == o.rm) {
        return {0, reg}; // sbb, sub or xor of a register with itself
    }
    const uint8_t destination = (op & 2) != 0 ? reg : rm;
    return {static_cast<uint8_t>(reg | rm | o.memory), kind == 7 ? uint8_t(0) : destination};
}

RegisterUse GroupThree(unsigned char op, const ModRmFields& o) {
    const bool byte = op == 0xF6;
    const uint8_t rm = static_cast<uint8_t>(RmReg(o, byte) | o.memory);
    if (o.reg >= 4 && o.reg <= 5) { // mul, imul: EDX:EAX = EAX * r/m
        return {static_cast<uint8_t>(rm | Reg32(0)), RegisterMask(kEdx)};
    }
    if (o.reg >= 6) { // div, idiv
        return {static_cast<uint8_t>(rm | Reg32(0) | (byte ? 0 : RegisterMask(kEdx))), 0};
    }
    return {rm, 0};
}

RegisterUse OneByte(unsigned char op, const ModRmFields& o, const X86Insn& insn) {
    const bool byte = (op & 1) == 0;
    if (op < 0x40 && (op & 7) < 4) {
        return Arithmetic(op, o);
    }
    if (op < 0x40 && (op & 6) == 4) { // AL or EAX with an immediate
        return {1, static_cast<uint8_t>(op >> 3 == 7 ? 0 : 1)};
    }
    const uint8_t low = Reg32(op & 7u);
    if (op >= 0x40 && op <= 0x4F) { // inc, dec
        return {low, low};
    }
    if (op >= 0x58 && op <= 0x5F) { // pop
        return {0, low};
    }
    if (op >= 0xB8 && op <= 0xBF) { // mov reg, imm
        return {0, low};
    }
    if (op >= 0x91 && op <= 0x97) { // xchg eax, reg
        return {static_cast<uint8_t>(low | 1), static_cast<uint8_t>(low | 1)};
    }
    switch (op) {
    case 0x84:
    case 0x85:
    case 0x86:
    case 0x87: // test, xchg
        return {static_cast<uint8_t>(RegReg(o, byte) | RmReg(o, byte) | o.memory),
                op >= 0x86 ? static_cast<uint8_t>(RegReg(o, byte) | RmReg(o, byte)) : uint8_t(0)};
    case 0x88:
    case 0x89: // mov r/m, reg
        return {static_cast<uint8_t>(RegReg(o, byte) | o.memory), RmReg(o, byte)};
    case 0x8A:
    case 0x8B: // mov reg, r/m
        return {static_cast<uint8_t>(RmReg(o, byte) | o.memory), RegReg(o, byte)};
    case 0x8D: // lea
        return {o.memory, RegReg(o, false)};
    case 0x69:
    case 0x6B: // imul reg, r/m, imm
        return {static_cast<uint8_t>(RmReg(o, false) | o.memory), RegReg(o, false)};
    case 0x99: // cdq
        return {1, RegisterMask(kEdx)};
    case 0x98: // cwde
        return {1, 1};
    case 0xA0:
    case 0xA1: // mov eax, [address]
        return {0, 1};
    case 0xA2:
    case 0xA3: // mov [address], eax
    case 0xA8:
    case 0xA9: // test eax, imm
        return {1, 0};
    case 0x8E: // mov sreg, r/m16
    case 0xFE: // inc, dec r/m8
        return {static_cast<uint8_t>(RmReg(o, op == 0xFE) | o.memory), 0};
    case 0xC7: // mov r/m, imm
        return {o.memory, RmReg(o, false)};
    case 0x80:
    case 0x81:
    case 0x83:
    case 0xC0:
    case 0xC1:
    case 0xD0:
    case 0xD1:
        return {static_cast<uint8_t>(RmReg(o, op == 0x80 || op == 0xC0 || op == 0xD0) | o.memory),
                0};
    case 0xD2:
    case 0xD3: // shifts by CL
        return {static_cast<uint8_t>(RmReg(o, op == 0xD2) | o.memory | RegisterMask(kEcx)), 0};
    case 0xF6:
    case 0xF7:
        return GroupThree(op, o);
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE3: // loop, jecxz
        return {RegisterMask(kEcx), 0};
    case 0xFF: // inc, dec, call, jmp through r/m; a push of it tells nothing; a call leaves
               // EAX, ECX and EDX to the callee
        return {static_cast<uint8_t>((o.reg == 6 ? 0 : RmReg(o, false)) | o.memory),
                static_cast<uint8_t>(o.reg == 2 ? 1 | RegisterMask(kEcx) | RegisterMask(kEdx) : 0)};
    default:
        break;
    }
    const bool stringOp = (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF);
    return {static_cast<uint8_t>(o.memory | (stringOp && insn.repeated ? RegisterMask(kEcx) : 0)),
            0};
}

RegisterUse TwoByte(unsigned char op, const ModRmFields& o) {
    if (op == 0xB6 || op == 0xB7 || op == 0xBE || op == 0xBF) { // movzx, movsx
        const uint8_t source = o.mod != 3 ? 0 : (op & 1) == 0 ? Reg8(o.rm) : Reg32(o.rm);
        return {static_cast<uint8_t>(source | o.memory), RegReg(o, false)};
    }
    if ((op >= 0x40 && op <= 0x4F) || op == 0xAF || op == 0xA3 || op == 0xAB || op == 0xB3 ||
        op == 0xBB || op == 0xA4 || op == 0xAC || op == 0x6E) {
        // cmov, imul, bt*, shld, shrd, movd xmm, r/m32
        const uint8_t reg = op == 0x6E ? 0 : RegReg(o, false);
        return {static_cast<uint8_t>(reg | RmReg(o, false) | o.memory), 0};
    }
    if (op == 0xA5 || op == 0xAD) { // shld, shrd by CL
        return {static_cast<uint8_t>(RegReg(o, false) | RmReg(o, false) | o.memory |
                                     RegisterMask(kEcx)),
                0};
    }
    if (op >= 0x90 && op <= 0x9F) { // setcc
        return {o.memory, RmReg(o, true)};
    }
    if (op >= 0xC8 && op <= 0xCF) { // bswap
        return {Reg32(op & 7u), Reg32(op & 7u)};
    }
    switch (op) {
    case 0x2A:
    case 0xB8:
    case 0xBA:
    case 0xBC:
    case 0xBD:
    case 0xC4: // cvtsi2sd, popcnt, bt imm, bsf, bsr, pinsrw: a general register in r/m
        return {static_cast<uint8_t>(RmReg(o, false) | o.memory), 0};
    case 0xB0:
    case 0xB1: // cmpxchg compares with EAX
        return {static_cast<uint8_t>(RegReg(o, op == 0xB0) | RmReg(o, op == 0xB0) | o.memory | 1),
                0};
    case 0xC0:
    case 0xC1: // xadd
    case 0xC3: // movnti
        return {static_cast<uint8_t>(RegReg(o, op == 0xC0) | RmReg(o, op == 0xC0) | o.memory), 0};
    case 0xC7: // cmpxchg8b compares EDX:EAX and stores ECX:EBX
        return {static_cast<uint8_t>(o.memory | (o.reg == 1 ? 0x0F : 0)), 0};
    case 0xA2: // cpuid
        return {1 | RegisterMask(kEcx), 0x0F};
    default:
        break;
    }
    return {o.memory, 0};
}

// or reg, -1 and and reg, 0: the register is set whatever it held (gcc -Os sets -1 so).
bool SetsConstant(const unsigned char* bytes, const X86Insn& insn, const ModRmFields& o) {
    const unsigned char op = bytes[insn.opcodeAt];
    if (o.mod != 3 || (op != 0x80 && op != 0x81 && op != 0x83) || (o.reg != 1 && o.reg != 4)) {
        return false;
    }
    const size_t size = op == 0x81 ? (insn.operand16 ? 2 : 4) : 1;
    const unsigned char* immediate = bytes + insn.length - size;
    const unsigned char fill = o.reg == 1 ? 0xFF : 0x00;
    return std::all_of(immediate, immediate + size, [fill](unsigned char b) { return b == fill; });
}

} // namespace

RegisterUse RegistersUsed(const unsigned char* bytes, const X86Insn& insn) {
    // lea ecx, [ecx+0] aligns a loop: no value of the register is used.
    if (IsPadding(bytes, insn)) {
        return {0, 0};
    }
    const ModRmFields operands = ModRmOf(insn);
    switch (insn.map) {
    case InsnMap::OneByte:
        if (SetsConstant(bytes, insn, operands)) {
            return {0, RmReg(operands, bytes[insn.opcodeAt] == 0x80)};
        }
        return OneByte(bytes[insn.opcodeAt], operands, insn);
    case InsnMap::TwoByte:
        return TwoByte(bytes[insn.opcodeAt + 1], operands);
    case InsnMap::Other:
        break;
    }
    return {operands.memory, 0};
}
