#include "stack_arguments.h"

#include "register_use.h"
#include "x86_decoder.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

namespace {

// Instructions followed per export, counting each (address, stack state) once.
constexpr size_t kMaxSteps = 4096;
// A call is taken to pop at most this many bytes of what was pushed before it.
constexpr uint32_t kMaxCalleePop = 64;
// The most an `and esp, mask` may move ESP (a page).
constexpr uint32_t kMaxSlack = 4095;

constexpr unsigned kEsp = 4, kEbp = 5;
constexpr uint8_t kEaxBit = 1, kCallerSaved = 0x07; // EAX, ECX, EDX
constexpr int32_t kFirstArgument = 4; // offset from the entry's ESP; the return address is at 0

// Offsets are from ESP at the entry. After a call the callee may have popped some of what was
// pushed for it (stdcall) or not (cdecl): the next instruction that uses ESP decides, an `add
// esp, N` meaning the caller cleans up, anything else making one path per possible pop. A path
// whose return finds ESP elsewhere than at the return address took a wrong guess and is dropped.
struct StackState {
    uint32_t rva;
    int32_t esp;
    int32_t ebp;        // with frame: EBP's offset
    uint32_t espSlack;  // after `and esp, mask`: ESP lies up to this far below esp
    bool frame;         // EBP points into this function's stack
    uint32_t pushed;    // bytes pushed since the last call
    uint32_t calleePop; // after a call: the most its callee may have popped; 0 when settled
    uint8_t holdsFirst; // registers holding the first stack argument
    bool readsArgument; // this path has reached above the return address
    // How this path used the first argument as an address: the bytes written at [first + d]
    // by plain stores, and whether it did anything else with it (passed it on, indexed it).
    uint8_t firstWritten;
    bool firstEscapes;
    bool firstOnTop; // the first argument lies at [esp], as the first argument of a call

    auto Key() const {
        return std::make_tuple(rva, esp, ebp, espSlack, frame, pushed, calleePop, holdsFirst,
                               readsArgument, firstWritten, firstEscapes, firstOnTop);
    }
    bool operator<(const StackState& other) const { return Key() < other.Key(); }
};

struct MemoryOperand {
    bool present = false;
    int base = -1; // -1: none
    int index = -1;
    int32_t displacement = 0;
};

struct StackWalk {
    const CodeImage& image;
    std::vector<StackState> pending;
    std::set<StackState> seen;
    bool cannotTell = false;
    bool returned = false; // some path returned with ESP where it started
    bool readsArgument = false;
    bool returnsFirst = true;
    uint8_t firstWritten = 0;
    bool firstEscapes = false;
};

int32_t Little(const unsigned char* bytes, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return size == 1 ? static_cast<int8_t>(value) : static_cast<int32_t>(value);
}

bool HasAddressSizePrefix(const unsigned char* bytes, const X86Insn& insn) {
    return std::find(bytes, bytes + insn.opcodeAt, 0x67) != bytes + insn.opcodeAt;
}

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
        m.index = ((sib >> 3) & 7) == kEsp ? -1 : static_cast<int>((sib >> 3) & 7);
        absolute = mod == 0 && (sib & 7) == 5;
        m.base = absolute ? -1 : static_cast<int>(sib & 7);
    } else if (!absolute) {
        m.base = static_cast<int>(rm);
    }
    const size_t size = absolute || mod == 2 ? 4 : mod == 1 ? 1 : 0;
    m.displacement = size == 0 ? 0 : Little(bytes + at, size);
    return m;
}

// The most bytes an instruction's memory operand may span (x87 up to 10, vectors up to 32).
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

bool Is(const unsigned char* bytes, const X86Insn& insn, unsigned char op, unsigned char modrm) {
    return insn.map == InsnMap::OneByte && bytes[insn.opcodeAt] == op && insn.modrmAt != 0 &&
           bytes[insn.modrmAt] == modrm;
}

// Group 1 (add, or, ..., cmp) with an immediate on ESP: the operation, or -1.
int EspArithmetic(const unsigned char* bytes, const X86Insn& insn, int32_t* value) {
    const unsigned char op = bytes[insn.opcodeAt];
    if (insn.map != InsnMap::OneByte || (op != 0x81 && op != 0x83) || insn.operand16 ||
        (bytes[insn.modrmAt] & 0xC7) != 0xC4) {
        return -1;
    }
    *value = Little(bytes + insn.modrmAt + 1, op == 0x83 ? 1 : 4);
    return (bytes[insn.modrmAt] >> 3) & 7;
}

// How many bytes the instruction pushes (negative: pops), apart from calls and returns.
int32_t PushedBytes(const unsigned char* bytes, const X86Insn& insn) {
    const unsigned char op = bytes[insn.opcodeAt];
    const int32_t word = insn.operand16 ? 2 : 4;
    if (insn.map == InsnMap::TwoByte) {
        const unsigned char op2 = bytes[insn.opcodeAt + 1];
        return op2 == 0xA0 || op2 == 0xA8 ? word : op2 == 0xA1 || op2 == 0xA9 ? -word : 0;
    }
    if (insn.map != InsnMap::OneByte) {
        return 0;
    }
    if ((op >= 0x50 && op <= 0x57) || op == 0x68 || op == 0x6A || op == 0x9C || op == 0x06 ||
        op == 0x0E || op == 0x16 || op == 0x1E ||
        (op == 0xFF && ((bytes[insn.modrmAt] >> 3) & 7) == 6)) {
        return word;
    }
    if ((op >= 0x58 && op <= 0x5F) || op == 0x9D || op == 0x07 || op == 0x17 || op == 0x1F ||
        (op == 0x8F && ((bytes[insn.modrmAt] >> 3) & 7) == 0)) {
        return -word;
    }
    return op == 0x60 ? 8 * word : op == 0x61 ? -8 * word : 0;
}

// call through a register or memory (the decoder lets it fall through, as it returns).
bool IsIndirectCall(const unsigned char* bytes, const X86Insn& insn) {
    return insn.map == InsnMap::OneByte && bytes[insn.opcodeAt] == 0xFF &&
           ((bytes[insn.modrmAt] >> 3) & 7) == 2;
}

// Whether the instruction uses ESP in any way (its value, an address from it, the stack).
bool UsesEsp(const unsigned char* bytes, const X86Insn& insn, const MemoryOperand& memory) {
    const RegisterUse use = RegistersUsed(bytes, insn);
    const uint8_t esp = 1u << kEsp;
    return ((use.reads | use.writes) & esp) != 0 || memory.base == static_cast<int>(kEsp) ||
           PushedBytes(bytes, insn) != 0 || insn.flow == InsnFlow::Call ||
           IsIndirectCall(bytes, insn) || insn.flow == InsnFlow::Return ||
           insn.flow == InsnFlow::ReturnPop ||
           (insn.map == InsnMap::OneByte &&
            (bytes[insn.opcodeAt] == 0xC8 || bytes[insn.opcodeAt] == 0xC9));
}

// Checks a memory operand (or an address taken with lea) against the arguments; false when it
// cannot be placed.
bool CheckAccess(StackState* s, const MemoryOperand& m, int32_t size, int32_t espBias,
                 int32_t* offset) {
    *offset = 0;
    const bool onStack =
        m.base == static_cast<int>(kEsp) || (m.base == static_cast<int>(kEbp) && s->frame);
    if (!m.present || !onStack) {
        return true;
    }
    if (m.index >= 0) {
        return false;
    }
    *offset = (m.base == static_cast<int>(kEsp) ? s->esp + espBias : s->ebp) + m.displacement;
    s->readsArgument |= *offset + size > kFirstArgument;
    if (m.base == static_cast<int>(kEsp) && s->espSlack != 0) {
        *offset = 0; // only a bound: no register is known to hold the first argument
    }
    return true;
}

bool HoldsFirst(const StackState& s, int reg) {
    return reg >= 0 && ((s.holdsFirst >> reg) & 1u) != 0;
}

// A structure returned through a hidden pointer is written through it, or the pointer is
// handed to a function that returns the structure (its own first argument). offset: where a
// stack operand lies.
void NoteUseOfFirst(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                    const MemoryOperand& m, int32_t offset) {
    const unsigned char op = insn.map == InsnMap::OneByte ? bytes[insn.opcodeAt] : 0;
    const bool toTop = m.base == static_cast<int>(kEsp) && offset == s->esp && s->espSlack == 0;
    if ((op >= 0x50 && op <= 0x57) || (m.present && toTop && op != 0x8B && op != 0x8A)) {
        s->firstOnTop = (op >= 0x50 && op <= 0x57 && HoldsFirst(*s, op & 7)) ||
                        (op == 0x89 && HoldsFirst(*s, (bytes[insn.modrmAt] >> 3) & 7));
    }
    if (op == 0x89 && m.present && !toTop && HoldsFirst(*s, (bytes[insn.modrmAt] >> 3) & 7)) {
        return; // stored elsewhere: an argument of a later place, or a copy of it
    }
    if (!HoldsFirst(*s, m.base) && !HoldsFirst(*s, m.index)) {
        return;
    }
    const bool load = op == 0x8A || op == 0x8B ||
                      (insn.map == InsnMap::TwoByte && bytes[insn.opcodeAt + 1] >= 0xB6 &&
                       bytes[insn.opcodeAt + 1] <= 0xBF);
    const int32_t size = op == 0x88 || op == 0xC6 ? 1 : insn.operand16 ? 2 : 4;
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

// Tracks which registers hold the first argument through loads and copies.
void TrackFirstArgument(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                        const MemoryOperand& m, int32_t offset) {
    const RegisterUse use = RegistersUsed(bytes, insn);
    const unsigned char op = bytes[insn.opcodeAt];
    uint8_t holds = s->holdsFirst & static_cast<uint8_t>(~use.writes);
    NoteUseOfFirst(s, bytes, insn, m, offset);
    if (insn.map == InsnMap::OneByte && !insn.operand16 && (op == 0x8B || op == 0x89)) {
        const unsigned modrm = bytes[insn.modrmAt], reg = (modrm >> 3) & 7, rm = modrm & 7;
        const bool stackLoad =
            op == 0x8B && m.present &&
            (m.base == static_cast<int>(kEsp) || (m.base == static_cast<int>(kEbp) && s->frame));
        if (stackLoad && offset == kFirstArgument) {
            holds |= static_cast<uint8_t>(1u << reg);
        } else if (!m.present) {
            const unsigned from = op == 0x8B ? rm : reg, to = op == 0x8B ? reg : rm;
            if ((s->holdsFirst >> from) & 1u) {
                holds |= static_cast<uint8_t>(1u << to);
            }
        }
    }
    s->holdsFirst = holds;
}

enum class Effect { Next, CannotTell };

// What the instruction does to ESP and EBP, other than as a call or return.
Effect MoveStack(StackState* s, const unsigned char* bytes, const X86Insn& insn,
                 const MemoryOperand& m) {
    const unsigned char op = bytes[insn.opcodeAt];
    int32_t value = 0;
    const int arithmetic = EspArithmetic(bytes, insn, &value);
    if (arithmetic == 0 || arithmetic == 5) { // add, sub
        s->esp += arithmetic == 0 ? value : -value;
        return Effect::Next;
    }
    if (arithmetic == 4) { // and esp, mask: aligned down by up to ~mask bytes
        s->espSlack += ~static_cast<uint32_t>(value);
        return s->espSlack <= kMaxSlack ? Effect::Next : Effect::CannotTell;
    }
    if (arithmetic == 7) { // cmp
        return Effect::Next;
    }
    if (Is(bytes, insn, 0x8B, 0xEC) || Is(bytes, insn, 0x89, 0xE5)) { // mov ebp, esp
        s->frame = s->espSlack == 0;
        s->ebp = s->esp;
        return s->frame ? Effect::Next : Effect::CannotTell;
    }
    if (Is(bytes, insn, 0x8B, 0xE5) || Is(bytes, insn, 0x89, 0xEC) ||
        (insn.map == InsnMap::OneByte && op == 0xC9)) { // mov esp, ebp; leave
        if (!s->frame) {
            return Effect::CannotTell;
        }
        s->esp = s->ebp;
        s->espSlack = 0;
        if (op == 0xC9) {
            s->esp += 4;
            s->frame = false;
        }
        return Effect::Next;
    }
    if (insn.map == InsnMap::OneByte && op == 0x8D && ((bytes[insn.modrmAt] >> 3) & 7) == kEsp) {
        // lea esp, [ebp+d] or [esp+d]
        if (m.index >= 0 || (m.base == static_cast<int>(kEbp) && !s->frame) ||
            (m.base != static_cast<int>(kEbp) && m.base != static_cast<int>(kEsp))) {
            return Effect::CannotTell;
        }
        s->esp = (m.base == static_cast<int>(kEbp) ? s->ebp : s->esp) + m.displacement;
        s->espSlack = m.base == static_cast<int>(kEbp) ? 0 : s->espSlack;
        return Effect::Next;
    }
    const int32_t pushed = PushedBytes(bytes, insn);
    if (insn.map == InsnMap::OneByte && (op == 0x54 || op == 0x5C || op == 0xC8)) {
        return Effect::CannotTell; // push esp, pop esp, enter
    }
    if ((insn.map == InsnMap::OneByte && op == 0x5D) || op == 0x61) { // pop ebp, popad
        s->frame = false;
    }
    s->esp -= pushed;
    s->pushed = pushed > 0 ? s->pushed + static_cast<uint32_t>(pushed)
                           : s->pushed - std::min(s->pushed, static_cast<uint32_t>(-pushed));
    const RegisterUse use = RegistersUsed(bytes, insn);
    const uint8_t valueReads = static_cast<uint8_t>(
        use.reads & ~((m.base >= 0 ? 1u << m.base : 0u) | (m.index >= 0 ? 1u << m.index : 0u)));
    const bool copiesFrame = s->frame && ((valueReads >> kEbp) & 1u) != 0 &&
                             !(op == 0x55 && insn.map == InsnMap::OneByte);
    if (((use.writes | valueReads) >> kEsp) & 1u || copiesFrame) {
        return Effect::CannotTell; // ESP set or copied in a way not followed
    }
    if ((use.writes >> kEbp) & 1u) {
        s->frame = false;
    }
    return Effect::Next;
}

bool IsOtherEntry(const CodeImage& image, uint32_t rva) {
    return std::binary_search(image.entries.begin(), image.entries.end(), rva);
}

void Push(StackWalk* walk, const StackState& s) {
    if (walk->seen.size() >= kMaxSteps) {
        walk->cannotTell = true;
    } else if (walk->seen.insert(s).second) {
        walk->pending.push_back(s);
    }
}

// Continues a path at next, or ends it at another export's entry (the code before did not
// return).
void FallThrough(StackWalk* walk, StackState s, uint32_t next) {
    if (IsOtherEntry(walk->image, next)) {
        walk->readsArgument |= s.readsArgument;
    } else {
        s.rva = next;
        Push(walk, s);
    }
}

void Return(StackWalk* walk, const StackState& s) {
    if (s.espSlack != 0) {
        walk->cannotTell = true;
    } else if (s.esp == 0) {
        walk->returned = true;
        walk->readsArgument |= s.readsArgument;
        walk->returnsFirst &= (s.holdsFirst & kEaxBit) != 0;
        walk->firstWritten = std::max(walk->firstWritten, s.firstWritten);
        walk->firstEscapes |= s.firstEscapes;
    }
}

// The callee returns having popped up to what was pushed for it; EAX, ECX and EDX are its.
void AfterCall(StackState* s) {
    s->firstEscapes |= s->firstOnTop;
    s->firstOnTop = false;
    s->calleePop = std::min(s->pushed, kMaxCalleePop);
    s->pushed = 0;
    s->holdsFirst &= static_cast<uint8_t>(~kCallerSaved);
}

// One instruction of a path whose callee pops are settled.
void Step(StackWalk* walk, StackState s, const unsigned char* bytes, const X86Insn& insn) {
    const MemoryOperand m = MemoryOf(bytes, insn);
    const unsigned char op = bytes[insn.opcodeAt];
    const bool lea = insn.map == InsnMap::OneByte && op == 0x8D;
    const bool popToMemory = insn.map == InsnMap::OneByte && op == 0x8F;
    int32_t offset = 0;
    if (!CheckAccess(&s, m, lea ? 1 : AccessSize(bytes, insn), popToMemory ? 4 : 0, &offset)) {
        walk->cannotTell = true;
        return;
    }
    TrackFirstArgument(&s, bytes, insn, m, offset);
    const int32_t espBefore = s.esp;
    if (MoveStack(&s, bytes, insn, m) == Effect::CannotTell) {
        walk->cannotTell = true;
        return;
    }
    if (s.esp != espBefore && !(insn.map == InsnMap::OneByte && op >= 0x50 && op <= 0x57)) {
        s.firstOnTop = false;
    }
    const uint32_t next = s.rva + insn.length;
    const uint32_t target = next + static_cast<uint32_t>(insn.displacement);
    switch (insn.flow) {
    case InsnFlow::Next:
        if (IsIndirectCall(bytes, insn)) {
            AfterCall(&s);
        }
        FallThrough(walk, s, next);
        return;
    case InsnFlow::Branch:
        FallThrough(walk, s, next);
        s.rva = target;
        Push(walk, s);
        return;
    case InsnFlow::Jump:
        s.rva = target;
        Push(walk, s);
        return;
    case InsnFlow::Call: {
        const auto known = walk->image.callReturns->find(target);
        const bool direct = insn.map == InsnMap::OneByte && op == 0xE8;
        if (direct && known != walk->image.callReturns->end() && !known->second) {
            walk->readsArgument |= s.readsArgument; // a call that never returns ends the path
            return;
        }
        AfterCall(&s);
        FallThrough(walk, s, next);
        return;
    }
    case InsnFlow::Return:
    case InsnFlow::ReturnPop:
        Return(walk, s);
        return;
    case InsnFlow::Stop:
        walk->readsArgument |= s.readsArgument;
        return;
    case InsnFlow::JumpTable:
    case InsnFlow::JumpPointer:
    case InsnFlow::JumpRegister:
    case InsnFlow::FarFlow:
        break;
    }
    walk->cannotTell = true;
}

// Settles what the last call popped, when this instruction is the first to use ESP after it.
void Settle(StackWalk* walk, StackState s, const unsigned char* bytes, const X86Insn& insn) {
    const MemoryOperand m = MemoryOf(bytes, insn);
    int32_t value = 0;
    if (s.calleePop == 0 || !UsesEsp(bytes, insn, m)) {
        Step(walk, s, bytes, insn);
        return;
    }
    const uint32_t most = s.calleePop;
    s.calleePop = 0;
    if (EspArithmetic(bytes, insn, &value) == 0 && value > 0 &&
        static_cast<uint32_t>(value) <= most) {
        Step(walk, s, bytes, insn); // add esp, N: the caller cleans up
        return;
    }
    for (uint32_t pop = 0; pop <= most && !walk->cannotTell; pop += 4) {
        StackState guess = s;
        guess.esp += static_cast<int32_t>(pop);
        Step(walk, guess, bytes, insn);
    }
}

} // namespace

StackArgumentUse FindStackArgumentUse(const CodeImage& image, uint32_t entry) {
    StackWalk walk{image, {}, {}, false, false, false, true, 0, false};
    Push(&walk, StackState{entry, 0, 0, 0, false, 0, 0, 0, false, 0, false, false});
    while (!walk.pending.empty() && !walk.cannotTell) {
        const StackState s = walk.pending.back();
        walk.pending.pop_back();
        unsigned char bytes[kMaxInsnLength] = {};
        X86Insn insn{};
        const size_t got = image.code(s.rva, bytes, sizeof bytes);
        if (got == 0 || !DecodeX86(bytes, got, &insn) || HasAddressSizePrefix(bytes, insn)) {
            walk.cannotTell = true;
            break;
        }
        Settle(&walk, s, bytes, insn);
    }
    const bool followed = !walk.cannotTell && walk.returned;
    // Structures of 1, 2, 4 or 8 bytes come back in EAX (and EDX), not through a pointer.
    const uint8_t written = walk.firstWritten;
    const bool structureSized = walk.firstEscapes || (written != 0 && written != 1 &&
                                                      written != 2 && written != 4 && written != 8);
    return {followed, followed && walk.readsArgument,
            followed && walk.returnsFirst && structureSized};
}
