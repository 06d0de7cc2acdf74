#include "instruction.h"

#include "padding.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

int OpcodeOf(const unsigned char* bytes, const X86Insn& x) {
    switch (x.map) {
    case InsnMap::OneByte:
        return bytes[x.opcodeAt];
    case InsnMap::TwoByte:
        return 0x100 | bytes[x.opcodeAt + 1];
    case InsnMap::Other:
        break;
    }
    return -1;
}

// Whether the opcode works on bytes: its low bit, for most of the one-byte map.
bool ByteForm(int op) {
    // The others of the one-byte map that work on a byte (a table, not a switch: no jump table
    // in the -O2 code).
    static constexpr unsigned char kByteForms[] = {0x80, 0x82, 0x84, 0x86, 0x88, 0x8A, 0xA0, 0xA2,
                                                   0xA8, 0xC0, 0xC6, 0xD0, 0xD2, 0xF6, 0xFE};
    if (op < 0x40) {
        return (op & 7) == 0 || (op & 7) == 2 || (op & 7) == 4;
    }
    if (op < 0x100) {
        return (op >= 0xB0 && op <= 0xB7) ||
               std::find(std::begin(kByteForms), std::end(kByteForms), op) != std::end(kByteForms);
    }
    return op == 0x1B0 || op == 0x1C0 || (op >= 0x190 && op <= 0x19F); // cmpxchg, xadd, setcc
}

// An immediate of size bytes, an imm8 sign-extended.
int32_t Little(const unsigned char* bytes, size_t size) {
    const uint32_t value = LittleEndian(bytes, size);
    return size == 1 ? static_cast<int8_t>(value) : static_cast<int32_t>(value);
}

// The bytes a store from an x87 or SSE register writes to its memory operand, of which it
// reads nothing; 0 for any other instruction. Visual C++ fills room pushed with ECX so.
int StoredWithoutReading(const unsigned char* bytes, const X86Insn& x, int reg) {
    if (!x.memory.present) {
        return 0;
    }
    if (x.map == InsnMap::OneByte) {
        switch (bytes[x.opcodeAt]) {
        case 0xD9: // fst, fstp m32; fnstcw m16
            return reg == 2 || reg == 3 ? 4 : reg == 7 ? 2 : 0;
        case 0xDB: // fisttp, fist, fistp m32; fstp m80
            return reg >= 1 && reg <= 3 ? 4 : reg == 7 ? 10 : 0;
        case 0xDD: // fisttp m64; fst, fstp m64
            return reg >= 1 && reg <= 3 ? 8 : 0;
        case 0xDF: // fisttp, fist, fistp m16; fistp m64
            return reg >= 1 && reg <= 3 ? 2 : reg == 7 ? 8 : 0;
        default:
            return 0;
        }
    }
    if (x.map != InsnMap::TwoByte) {
        return 0;
    }
    bool f3 = false, f2 = false;
    for (size_t i = 0; i < x.opcodeAt; ++i) {
        f3 = f3 || bytes[i] == 0xF3;
        f2 = f2 || bytes[i] == 0xF2;
    }
    // A chain of compares, not a switch: the -O2 code would get a jump table of 215 entries.
    const unsigned char op2 = bytes[x.opcodeAt + 1];
    if (op2 == 0x11) { // movss, movsd, movups, movupd m, xmm
        return f3 ? 4 : f2 ? 8 : 16;
    }
    if (op2 == 0x13 || op2 == 0x17) { // movlps, movlpd, movhps, movhpd m64, xmm
        return 8;
    }
    if (op2 == 0x29 || op2 == 0x2B) { // movaps, movapd, movntps, movntpd m, xmm
        return 16;
    }
    if (op2 == 0x7E) { // movd m32, xmm or mm (with F3: movq xmm, m64, a load)
        return f3 ? 0 : 4;
    }
    if (op2 == 0x7F) { // movdqa, movdqu m, xmm; movq m64, mm
        return x.operand16 || f3 ? 16 : 8;
    }
    if (op2 == 0xD6) { // movq m64, xmm
        return x.operand16 ? 8 : 0;
    }
    return op2 == 0xE7 ? (x.operand16 ? 16 : 8) : 0; // movntdq m, xmm; movntq m64, mm
}

int32_t AccessSize(const unsigned char* bytes, const X86Insn& insn) {
    const unsigned char op = bytes[insn.opcodeAt];
    switch (insn.map) {
    case InsnMap::OneByte:
        return op >= 0xD8 && op <= 0xDF ? 10 : 4;
    case InsnMap::TwoByte:
        return bytes[insn.opcodeAt + 1] >= 0xB6 && bytes[insn.opcodeAt + 1] <= 0xBF ? 4 : 16;
    case InsnMap::Other:
        break;
    }
    return 32;
}

int OneByteOpcode(const unsigned char* bytes, const X86Insn& insn) {
    return insn.map == InsnMap::OneByte ? bytes[insn.opcodeAt] : -1;
}

int EspArithmetic(const unsigned char* bytes, const X86Insn& insn, int32_t* value) {
    const int op = OneByteOpcode(bytes, insn);
    if ((op != 0x81 && op != 0x83) || insn.operand16 || insn.mod != 3 || insn.rm != kEsp) {
        return -1;
    }
    const size_t size = op == 0x83 ? 1 : 4;
    *value = Little(bytes + insn.length - size, size);
    return insn.reg;
}

int32_t PushedBytes(const unsigned char* bytes, const X86Insn& insn) {
    const int32_t word = insn.operand16 ? 2 : 4;
    if (insn.map == InsnMap::TwoByte) {
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        return op2 == 0xA0 || op2 == 0xA8 ? word : op2 == 0xA1 || op2 == 0xA9 ? -word : 0;
    }
    const int op = OneByteOpcode(bytes, insn);
    if ((op >= 0x50 && op <= 0x57) || op == 0x68 || op == 0x6A || op == 0x9C || op == 0x06 ||
        op == 0x0E || op == 0x16 || op == 0x1E || (op == 0xFF && insn.reg == 6)) {
        return word;
    }
    if ((op >= 0x58 && op <= 0x5F) || op == 0x9D || op == 0x07 || op == 0x17 || op == 0x1F ||
        (op == 0x8F && insn.reg == 0)) {
        return -word;
    }
    return op == 0x60 ? 8 * word : op == 0x61 ? -8 * word : 0;
}

bool HasAddressSizePrefix(const unsigned char* bytes, const X86Insn& insn) {
    return std::find(bytes, bytes + insn.opcodeAt, 0x67) != bytes + insn.opcodeAt;
}

} // namespace

bool DecodeInstruction(const unsigned char* code, size_t available, Instruction* out,
                       Detail detail) {
    Instruction& i = *out;
    if (!DecodeX86(code, available, &i.x)) {
        return false;
    }
    const X86Insn& x = i.x;
    i.bytes = code;
    i.opcode = OpcodeOf(code, x);
    i.reg = x.reg;
    i.rm = x.mod == 3 ? x.rm : -1;
    i.memory = x.memory;
    i.indirectCall = i.opcode == 0xFF && i.reg == 2;
    if (detail == Detail::Operands) {
        return true;
    }
    i.operandSize = ByteForm(i.opcode) ? 1 : x.operand16 ? 2 : 4;
    i.accessSize = AccessSize(code, x);
    i.registers = RegistersUsed(code, x);
    i.pushed = PushedBytes(code, x);
    i.espArithmetic = EspArithmetic(code, x, &i.espImmediate);
    const bool group = (i.opcode == 0x81 || i.opcode == 0x83) && i.rm >= 0 && !x.operand16;
    i.groupImmediate =
        group ? Little(code + x.length - (i.opcode == 0x83 ? 1 : 4), i.opcode == 0x83 ? 1 : 4) : 0;
    i.storedWithoutReading = StoredWithoutReading(code, x, i.reg);
    i.addressSizePrefix = HasAddressSizePrefix(code, x);
    i.padding = IsPadding(code, x);
    return true;
}

bool IsPadding(const Instruction& in) {
    return IsPadding(in.bytes, in.x);
}
