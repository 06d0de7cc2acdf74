#include "x86_decoder.h"

#include <algorithm>

namespace {

// Operand shapes by opcode, one letter each, laid out as the opcode maps of the Intel manual
// (rows 0x00..0xF0). '.' nothing follows, 'm' ModRM, 'b' imm8, 'w' imm16, 'z' imm16/32 by
// operand size, 'B' ModRM + imm8, 'Z' ModRM + imm16/32, 'o' an address (moffs), 'f' far
// pointer, 'e' imm16 + imm8, 'p' prefix, 's' decoded by hand, 'x' invalid.
constexpr char kOneByteMap[] = "mmmmbz..mmmmbz.s"
                               "mmmmbz..mmmmbz.."
                               "mmmmbzp.mmmmbzp."
                               "mmmmbzp.mmmmbzp."
                               "................"
                               "................"
                               "..smppppzZbB...."
                               "bbbbbbbbbbbbbbbb"
                               "BZBBmmmmmmmmmmmm"
                               "..........f....."
                               "oooo....bz......"
                               "bbbbbbbbzzzzzzzz"
                               "BBw.ssBZe.w..b.."
                               "mmmmbb..mmmmmmmm"
                               "bbbbbbbbzzfb...."
                               "p.pp..ss......mm";

constexpr char kTwoByteMap[] = "mmmmx.....x.xm.B"
                               "mmmmmmmmmmmmmmmm"
                               "mmmmxxxxmmmmmmmm"
                               "......x.sxsxxxxx"
                               "mmmmmmmmmmmmmmmm"
                               "mmmmmmmmmmmmmmmm"
                               "mmmmmmmmmmmmmmmm"
                               "BBBBmmm.mmxxmmmm"
                               "zzzzzzzzzzzzzzzz"
                               "mmmmmmmmmmmmmmmm"
                               "...mBmxx...mBmmm"
                               "mmmmmmmmmmBmmmmm"
                               "mmBmBBBm........"
                               "mmmmmmmmmmmmmmmm"
                               "mmmmmmmmmmmmmmmm"
                               "mmmmmmmmmmmmmmmm";

constexpr unsigned char kOperandSize = 0x66;
constexpr unsigned char kAddressSize = 0x67;

struct Cursor {
    const unsigned char* code;
    size_t available; // at most kMaxInsnLength
    size_t pos;
    bool operand16;
    bool address16;
    size_t modrmAt; // 0 until a ModRM byte is read
    int8_t mod, reg, rm;
    MemoryOperand memory;
};

bool Has(const Cursor& c, size_t count) {
    return c.pos + count <= c.available;
}

bool Skip(Cursor* c, size_t count) {
    if (!Has(*c, count)) {
        return false;
    }
    c->pos += count;
    return true;
}

uint32_t Little(const Cursor& c, size_t at, size_t size) {
    return LittleEndian(c.code + at, size);
}

// Reads an immediate of size bytes; value receives it.
bool Immediate(Cursor* c, size_t size, uint32_t* value) {
    if (!Has(*c, size)) {
        return false;
    }
    *value = Little(*c, c->pos, size);
    c->pos += size;
    return true;
}

size_t ImmZSize(const Cursor& c) {
    return c.operand16 ? 2 : 4;
}

// The ModRM byte and what follows it (SIB, displacement).
bool ModRm(Cursor* c, unsigned char* modrm) {
    if (!Has(*c, 1)) {
        return false;
    }
    c->modrmAt = c->pos;
    *modrm = c->code[c->pos++];
    const unsigned mod = *modrm >> 6, rm = *modrm & 7;
    c->mod = static_cast<int8_t>(mod);
    c->reg = static_cast<int8_t>((*modrm >> 3) & 7);
    c->rm = static_cast<int8_t>(rm);
    c->memory = MemoryOperand{};
    if (mod == 3) {
        return true;
    }
    c->memory.present = true;
    if (c->address16) {
        const size_t disp = mod == 1 ? 1 : mod == 2 || (mod == 0 && rm == 6) ? 2 : 0;
        return Skip(c, disp);
    }
    size_t disp = mod == 1 ? 1 : mod == 2 ? 4 : 0;
    if (rm == 4) {
        if (!Has(*c, 1)) {
            return false;
        }
        const unsigned char sib = c->code[c->pos++];
        const unsigned base = sib & 7u, index = (sib >> 3) & 7u;
        c->memory.index = index == 4 ? -1 : static_cast<int>(index);
        c->memory.scale = 1 << (sib >> 6);
        if (mod == 0 && base == 5) {
            disp = 4;
        } else {
            c->memory.base = static_cast<int>(base);
        }
    } else if (mod == 0 && rm == 5) {
        disp = 4;
    } else {
        c->memory.base = static_cast<int>(rm);
    }
    if (!Has(*c, disp)) {
        return false;
    }
    const uint32_t value = Little(*c, c->pos, disp);
    c->memory.displacement = disp == 1 ? static_cast<int8_t>(value) : static_cast<int32_t>(value);
    c->pos += disp;
    return true;
}

// Reads the ModR/M, displacement and immediate bytes the map letter calls for.
bool ReadOperandBytes(Cursor* c, char shape, unsigned char* modrm, uint32_t* imm) {
    switch (shape) {
    case '.':
        return true;
    case 'm':
        return ModRm(c, modrm);
    case 'b':
        return Immediate(c, 1, imm);
    case 'w':
        return Immediate(c, 2, imm);
    case 'z':
        return Immediate(c, ImmZSize(*c), imm);
    case 'B':
        return ModRm(c, modrm) && Immediate(c, 1, imm);
    case 'Z':
        return ModRm(c, modrm) && Immediate(c, ImmZSize(*c), imm);
    case 'o':
        return Skip(c, c->address16 ? 2 : 4);
    case 'f':
        return Skip(c, ImmZSize(*c) + 2);
    case 'e':
        return Skip(c, 3);
    default:
        return false;
    }
}

int32_t SignExtend(uint32_t value, size_t size) {
    if (size == 1) {
        return static_cast<int8_t>(value);
    }
    if (size == 2) {
        return static_cast<int16_t>(value);
    }
    return static_cast<int32_t>(value);
}

// VEX (C4, C5) and EVEX (62) encodings; in 32-bit code they replace LES, LDS and BOUND only
// when the next byte would be a register ModRM.
bool IsVectorEscape(const Cursor& c) {
    return Has(c, 1) && (c.code[c.pos] & 0xC0) == 0xC0;
}

bool VectorInsn(Cursor* c, unsigned char escape) {
    unsigned map = 1;
    size_t payload = escape == 0xC5 ? 1 : escape == 0xC4 ? 2 : 3;
    if (escape != 0xC5) {
        map = c->code[c->pos] & (escape == 0xC4 ? 0x1F : 0x03);
    }
    if (!Skip(c, payload) || !Has(*c, 1) || map < 1 || map > 3) {
        return false;
    }
    const unsigned char opcode = c->code[c->pos++];
    unsigned char modrm = 0;
    uint32_t imm = 0;
    if (map == 1 && opcode == 0x77) {
        return true; // vzeroupper, vzeroall
    }
    const bool imm8 = map == 3 || (map == 1 && kTwoByteMap[opcode] == 'B');
    return ModRm(c, &modrm) && (!imm8 || Immediate(c, 1, &imm));
}

InsnFlow TwoByteFlow(unsigned char op) {
    if (op >= 0x80 && op <= 0x8F) {
        return InsnFlow::Branch;
    }
    switch (op) {
    case 0x0B:
    case 0xB9:
    case 0xFF:
        return InsnFlow::Stop;
    case 0x05:
    case 0x07:
    case 0x34:
    case 0x35:
        return InsnFlow::FarFlow;
    default:
        return InsnFlow::Next;
    }
}

bool TwoByteInsn(Cursor* c, X86Insn* insn) {
    if (!Has(*c, 1)) {
        return false;
    }
    const unsigned char op = c->code[c->pos++];
    unsigned char modrm = 0;
    uint32_t imm = 0;
    if (op == 0x38 || op == 0x3A) {
        return Skip(c, 1) && ModRm(c, &modrm) && (op == 0x38 || Immediate(c, 1, &imm));
    }
    const char shape = kTwoByteMap[op];
    if (shape == 'x' || !ReadOperandBytes(c, shape, &modrm, &imm)) {
        return false;
    }
    insn->flow = TwoByteFlow(op);
    if (insn->flow == InsnFlow::Branch) {
        insn->displacement = SignExtend(imm, ImmZSize(*c));
    }
    return true;
}

// FF /2../5: indirect calls and jumps.
void IndirectFlow(const Cursor& c, size_t modrmAt, X86Insn* insn) {
    const unsigned char modrm = c.code[modrmAt];
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7, rm = modrm & 7;
    if (reg == 3 || reg == 5) {
        insn->flow = InsnFlow::FarFlow;
    }
    if (reg != 4) {
        return;
    }
    insn->flow = InsnFlow::JumpRegister;
    if (c.address16 || mod != 0) {
        return;
    }
    if (rm == 5) {
        insn->flow = InsnFlow::JumpPointer;
        insn->address = Little(c, modrmAt + 1, 4);
        return;
    }
    const unsigned char sib = c.code[modrmAt + 1];
    const bool tableForm = rm == 4 && (sib & 7) == 5 && (sib >> 6) == 2 && ((sib >> 3) & 7) != 4;
    if (tableForm) {
        insn->flow = InsnFlow::JumpTable;
        insn->address = Little(c, modrmAt + 2, 4);
    }
}

// cmp reg, imm (80/81/83 /7 with a register operand, 3C, 3D).
void NoteCompare(const Cursor& c, unsigned char op, unsigned char modrm, uint32_t imm,
                 X86Insn* insn) {
    const bool group =
        (op == 0x80 || op == 0x81 || op == 0x83) && (modrm >> 6) == 3 && ((modrm >> 3) & 7) == 7;
    if (!group && op != 0x3C && op != 0x3D) {
        return;
    }
    insn->comparesToImmediate = true;
    insn->immediate = imm;
    if (op == 0x83) {
        insn->immediate = static_cast<uint32_t>(SignExtend(imm, 1)) & (c.operand16 ? 0xFFFF : ~0u);
    }
}

InsnFlow OneByteFlow(unsigned char op, const unsigned char* next, size_t left) {
    if ((op >= 0x70 && op <= 0x7F) || (op >= 0xE0 && op <= 0xE3)) {
        return InsnFlow::Branch;
    }
    switch (op) {
    case 0xC3:
        return InsnFlow::Return;
    case 0xC2:
        return InsnFlow::ReturnPop;
    case 0xE8:
        return InsnFlow::Call;
    case 0xE9:
    case 0xEB:
        return InsnFlow::Jump;
    case 0xCC:
    case 0xF1:
    case 0xF4:
        return InsnFlow::Stop;
    case 0xCD: // int 29h ends the process
        return left > 0 && next[0] == 0x29 ? InsnFlow::Stop : InsnFlow::Next;
    case 0x9A:
    case 0xCA:
    case 0xCB:
    case 0xCF:
    case 0xEA:
        return InsnFlow::FarFlow;
    default:
        return InsnFlow::Next;
    }
}

// FE and FF are defined for some ModRM reg fields only: FE /0../1, FF /0../6, and far call
// and jmp (FF /3, /5) take a memory operand.
bool GroupRegDefined(unsigned char op, unsigned char modrm) {
    const unsigned reg = (modrm >> 3) & 7;
    if (op == 0xFE) {
        return reg < 2;
    }
    return reg != 7 && !((reg == 3 || reg == 5) && (modrm >> 6) == 3);
}

bool OneByteOperands(Cursor* c, unsigned char op, unsigned char* modrm, uint32_t* imm) {
    if (op == 0xC4 || op == 0xC5 || op == 0x62) {
        return IsVectorEscape(*c) ? VectorInsn(c, op) : ModRm(c, modrm);
    }
    if (op == 0xFE || op == 0xFF) {
        return ModRm(c, modrm) && GroupRegDefined(op, *modrm);
    }
    if (op == 0xF6 || op == 0xF7) {
        if (!ModRm(c, modrm)) {
            return false;
        }
        const bool test = ((*modrm >> 3) & 7) < 2;
        return !test || Immediate(c, op == 0xF6 ? 1 : ImmZSize(*c), imm);
    }
    return ReadOperandBytes(c, kOneByteMap[op], modrm, imm);
}

} // namespace

uint32_t LittleEndian(const unsigned char* at, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;) {
        value = (value << 8) | at[i];
    }
    return value;
}

bool DecodeX86(const unsigned char* code, size_t available, X86Insn* insn) {
    *insn = X86Insn{0,  InsnFlow::Next,   0,     0,    0, false, 0, 0, 0, -1, -1, -1,
                    {}, InsnMap::OneByte, false, false};
    Cursor c{code, std::min(available, kMaxInsnLength), 0, false, false, 0, -1, -1, -1, {}};
    while (Has(c, 1) && kOneByteMap[code[c.pos]] == 'p') {
        c.operand16 |= code[c.pos] == kOperandSize;
        c.address16 |= code[c.pos] == kAddressSize;
        insn->repeated |= code[c.pos] == 0xF2 || code[c.pos] == 0xF3;
        ++c.pos;
    }
    if (!Has(c, 1)) {
        return false;
    }
    insn->opcodeAt = static_cast<uint8_t>(c.pos);
    insn->operand16 = c.operand16;
    const unsigned char op = code[c.pos++];
    if (op == 0x0F && Has(c, 1)) {
        const unsigned char next = code[c.pos];
        insn->map = next == 0x38 || next == 0x3A ? InsnMap::Other : InsnMap::TwoByte;
    } else if ((op == 0xC4 || op == 0xC5 || op == 0x62) && IsVectorEscape(c)) {
        insn->map = InsnMap::Other;
    }
    bool decoded = false;
    if (op == 0x0F) {
        decoded = TwoByteInsn(&c, insn);
    } else {
        const size_t modrmAt = c.pos;
        unsigned char modrm = 0;
        uint32_t imm = 0;
        decoded = OneByteOperands(&c, op, &modrm, &imm);
        if (decoded) {
            insn->flow = OneByteFlow(op, code + modrmAt, c.pos - modrmAt);
            const size_t immSize = op == 0xE8 || op == 0xE9 ? ImmZSize(c) : 1;
            insn->displacement = SignExtend(imm, immSize);
            insn->popBytes = op == 0xC2 ? static_cast<uint16_t>(imm) : 0;
            NoteCompare(c, op, modrm, imm, insn);
            if (op == 0xFF) {
                IndirectFlow(c, modrmAt, insn);
            }
        }
    }
    if (!decoded) {
        return false;
    }
    if (insn->flow != InsnFlow::Jump && insn->flow != InsnFlow::Branch &&
        insn->flow != InsnFlow::Call) {
        insn->displacement = 0;
    }
    insn->length = static_cast<uint8_t>(c.pos);
    insn->modrmAt = static_cast<uint8_t>(c.modrmAt);
    insn->mod = c.mod;
    insn->reg = c.reg;
    insn->rm = c.rm;
    insn->memory = c.memory;
    return true;
}
