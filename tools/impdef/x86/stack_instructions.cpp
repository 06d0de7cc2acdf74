#include "stack_instructions.h"

#include <algorithm>
#include <cstddef>

namespace {

int32_t Little(const unsigned char* bytes, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return size == 1 ? static_cast<int8_t>(value) : static_cast<int32_t>(value);
}

} // namespace

MemoryOperand MemoryOf(const unsigned char* bytes, const X86Insn& insn) {
    MemoryOperand m;
    if (insn.modrmAt == 0 || (bytes[insn.modrmAt] >> 6) == 3) {
        return m;
    }
    const unsigned modrm = bytes[insn.modrmAt], mod = modrm >> 6, rm = modrm & 7;
    size_t at = insn.modrmAt + 1u;
    m.present = true;
    bool absolute = mod == 0 && rm == 5;
    if (rm == 4) {
        const unsigned sib = bytes[at++];
        const int index = static_cast<int>((sib >> 3) & 7);
        m.index = index == kEsp ? -1 : index;
        absolute = mod == 0 && (sib & 7) == 5;
        m.base = absolute ? -1 : static_cast<int>(sib & 7);
    } else if (!absolute) {
        m.base = static_cast<int>(rm);
    }
    const size_t size = absolute || mod == 2 ? 4 : mod == 1 ? 1 : 0;
    m.displacement = size == 0 ? 0 : Little(bytes + at, size);
    return m;
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

int RegField(const unsigned char* bytes, const X86Insn& insn) {
    return insn.modrmAt == 0 ? -1 : (bytes[insn.modrmAt] >> 3) & 7;
}

int RmRegister(const unsigned char* bytes, const X86Insn& insn) {
    return insn.modrmAt == 0 || (bytes[insn.modrmAt] >> 6) != 3 ? -1 : bytes[insn.modrmAt] & 7;
}

int EspArithmetic(const unsigned char* bytes, const X86Insn& insn, int32_t* value) {
    const int op = OneByteOpcode(bytes, insn);
    if ((op != 0x81 && op != 0x83) || insn.operand16 || (bytes[insn.modrmAt] & 0xC7) != 0xC4) {
        return -1;
    }
    *value = Little(bytes + insn.modrmAt + 1, op == 0x83 ? 1 : 4);
    return RegField(bytes, insn);
}

int32_t PushedBytes(const unsigned char* bytes, const X86Insn& insn) {
    const int32_t word = insn.operand16 ? 2 : 4;
    if (insn.map == InsnMap::TwoByte) {
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        return op2 == 0xA0 || op2 == 0xA8 ? word : op2 == 0xA1 || op2 == 0xA9 ? -word : 0;
    }
    const int op = OneByteOpcode(bytes, insn);
    if ((op >= 0x50 && op <= 0x57) || op == 0x68 || op == 0x6A || op == 0x9C || op == 0x06 ||
        op == 0x0E || op == 0x16 || op == 0x1E || (op == 0xFF && RegField(bytes, insn) == 6)) {
        return word;
    }
    if ((op >= 0x58 && op <= 0x5F) || op == 0x9D || op == 0x07 || op == 0x17 || op == 0x1F ||
        (op == 0x8F && RegField(bytes, insn) == 0)) {
        return -word;
    }
    return op == 0x60 ? 8 * word : op == 0x61 ? -8 * word : 0;
}

bool IsIndirectCall(const unsigned char* bytes, const X86Insn& insn) {
    return OneByteOpcode(bytes, insn) == 0xFF && RegField(bytes, insn) == 2;
}

bool HasAddressSizePrefix(const unsigned char* bytes, const X86Insn& insn) {
    return std::find(bytes, bytes + insn.opcodeAt, 0x67) != bytes + insn.opcodeAt;
}
