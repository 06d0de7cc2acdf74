#include "padding.h"

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
    if (op != 0x8D) {
        return insn.mod == 3 && insn.reg == insn.rm;
    }
    // lea reg, [reg + 0], with or without a SIB byte of no index
    const MemoryOperand& m = insn.memory;
    return (insn.mod == 1 || insn.mod == 2) && m.base == insn.reg && m.index < 0 &&
           m.displacement == 0;
}
