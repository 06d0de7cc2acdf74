#include "argument_registers.h"

#include "code_image.h"
#include "instruction.h"
#include "register_flow.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Whether a function called can reach the frame byte: among its stack arguments, argumentBytes
// from ESP up (kAllAbove when not known), or above a frame address it is handed. Room pushed
// for a local counts only as an argument of a function known to take it.
bool CalleeReaches(const Flow& f, const FrameByte& b, const std::vector<FrameByte>& escaped,
                   int64_t argumentBytes) {
    const Value& esp = f.regs[kEsp];
    if (b.room) {
        return argumentBytes != kAllAbove && esp.base != kNoBase &&
               MayOverlap(f, b, esp.base, esp.offset, argumentBytes);
    }
    return esp.base == kNoBase || MayBeAboveAny(f, b, escaped) ||
           MayOverlap(f, b, esp.base, esp.offset, argumentBytes);
}

// Whether what a function called can see holds a value taken from ECX or EDX: a register set
// from it (one the function has not touched is not counted: it cannot be told from one that a
// stdcall function leaves alone before a call), or a frame byte it can reach.
bool CalleeSees(const Flow& f, int64_t argumentBytes) {
    std::vector<FrameByte> escaped = f.escaped;
    for (int r = 0; r < 8; ++r) {
        const Value& v = f.regs[r];
        if (r == kEsp) {
            continue; // the stack arguments are below
        }
        if (v.taint != 0 && (f.untouched >> r & 1) == 0) {
            return true;
        }
        if (v.base != kNoBase) {
            escaped.push_back({v.base, v.offset, false});
        }
    }
    return std::any_of(f.frame.begin(), f.frame.end(), [&](const FrameByte& b) {
        return CalleeReaches(f, b, escaped, argumentBytes);
    });
}

// A direct call's function pops what it takes when it returns with ret N.
int64_t ArgumentBytesOf(const CodeImage& image, CodeAnalysis* analysis, uint32_t callee) {
    const ConventionFinding finding = FindReturnKind(image, analysis, callee);
    return finding.kind == ConventionKind::Stdcall ? finding.argumentBytes : kAllAbove;
}

// Whether a value ECX or EDX held on entry reaches a use on the straight path from the entry.
bool ValueReachesUse(const CodeImage& image, CodeAnalysis* analysis, uint32_t rva) {
    Flow f;
    f.regs[kEcx].taint = f.regs[kEdx].taint = 0xF;
    f.regs[kEsp].base = 0;
    CodeWindow window;
    for (int i = 0; i < kMaxEntryInsns && Live(f, true); ++i) {
        Instruction in; // DecodeAt sets every field first
        if (DecodeAt(image, &window, rva, &in) != Decoded::Instruction) {
            return Live(f, false);
        }
        const X86Insn& insn = in.x;
        const bool call = insn.flow == InsnFlow::Call || in.indirectCall;
        const Effect effect = call ? UseIf(CallReadsTaint(f, in)) : Execute(&f, in);
        if (effect != Effect::Continue) {
            return effect == Effect::Use || Live(f, false);
        }
        rva += insn.length;
        switch (insn.flow) {
        case InsnFlow::Next:
            if (call) {
                return CalleeSees(f, kAllAbove);
            }
            break;
        case InsnFlow::Branch: // the path not followed may use what is left
            if (Live(f, false)) {
                return true;
            }
            break;
        case InsnFlow::Jump:
            rva += static_cast<uint32_t>(insn.displacement);
            break;
        case InsnFlow::Call:
            return CalleeSees(f, ArgumentBytesOf(image, analysis, rva + insn.displacement));
        case InsnFlow::JumpPointer:
        case InsnFlow::JumpRegister:
            return CalleeSees(f, kAllAbove);
        case InsnFlow::Return:
        case InsnFlow::ReturnPop:
            return f.regs[kEax].taint != 0 ||
                   (f.regs[kEdx].taint != 0 && (f.untouched & RegisterMask(kEdx)) == 0);
        case InsnFlow::Stop:
            return false;
        default:
            return Live(f, false);
        }
    }
    return Live(f, false);
}

// push reg: whether the slot is an argument or only room for a local, the flow tells.
uint8_t PushedRegister(const Instruction& in) {
    const int op = OneByteOpcodeOf(in);
    const int rm = op == 0xFF && in.reg == 6 ? in.rm : -1;
    return op >= 0x50 && op <= 0x57 ? 1u << (op - 0x50) : rm >= 0 ? 1u << rm : 0;
}

// The quick test: some instruction reads ECX or EDX (a push too) before the function sets
// them, whole or in part. The values must pass it before they are followed.
bool ReadsBeforeSetting(const CodeImage& image, uint32_t rva) {
    uint8_t set = 0;
    CodeWindow window;
    for (int i = 0; i < kMaxEntryInsns && (set & kArgumentRegisters) != kArgumentRegisters; ++i) {
        Instruction in; // DecodeAt sets every field first
        if (DecodeAt(image, &window, rva, &in) != Decoded::Instruction) {
            return false;
        }
        const X86Insn& insn = in.x;
        const RegisterUse use = in.registers;
        if (((use.reads | PushedRegister(in)) & ~set & kArgumentRegisters) != 0) {
            return true;
        }
        set |= use.writes;
        rva += insn.length;
        if (insn.flow == InsnFlow::Jump) {
            rva += static_cast<uint32_t>(insn.displacement);
        } else if (insn.flow != InsnFlow::Next && insn.flow != InsnFlow::Branch) {
            return false; // a call sets both; the other ends leave no more to see
        }
    }
    return false;
}

} // namespace

bool ReadsArgumentRegisters(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry) {
    return ReadsBeforeSetting(image, entry) && ValueReachesUse(image, analysis, entry);
}
