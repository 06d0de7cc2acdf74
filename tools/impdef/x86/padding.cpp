#include "padding.h"

#include <algorithm>

bool IsPadding(const unsigned char* bytes, const X86Insn& insn) {
    const unsigned char op = bytes[insn.opcodeAt];
    if (insn.map == InsnMap::TwoByte) {
        return bytes[insn.opcodeAt + 1] == 0x1F;
    }
    if (insn.map != InsnMap::OneByte) {
        return false;
    }
    if (op == 0x90) {
        return true;
    }
    if ((op != 0x8D && op != 0x89 && op != 0x8B) || insn.modrmAt == 0) {
        return false;
    }
    const unsigned char modrm = bytes[insn.modrmAt];
    const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7u, rm = modrm & 7u;
    if (op != 0x8D) {
        return mod == 3 && reg == rm;
    }
    // lea reg, [reg + 0], with or without a SIB byte of no index
    const size_t after = insn.modrmAt + 1u + (rm == 4 ? 1u : 0u);
    const bool sameBase = rm == 4 ? (bytes[insn.modrmAt + 1] & 0x3F) == (0x20 | reg) : rm == reg;
    const bool zero =
        std::all_of(bytes + after, bytes + insn.length, [](unsigned char b) { return b == 0; });
    return (mod == 1 || mod == 2) && sameBase && zero;
}
