#include "call_analysis.h"

#include "register_use.h"
#include "rva_set.h"
#include "x86_decoder.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

namespace {

constexpr size_t kMaxInsns = 20000;
constexpr uint32_t kMaxTableEntries = 1024;
constexpr uint32_t kNoBound = ~0u;
constexpr int kMaxEntryInsns = 64;

constexpr size_t kCodeWindow = 64;

// Code read ahead, so that one read of the image serves several instructions.
struct CodeWindow {
    uint32_t rva = 0;
    size_t count = 0;
    unsigned char bytes[kCodeWindow];
};

// The code at rva, up to the window's end; the count is 0 when rva is no code.
size_t CodeAt(const CodeImage& image, CodeWindow* window, uint32_t rva,
              const unsigned char** bytes) {
    const bool inside = rva >= window->rva && rva - window->rva < window->count;
    if (!inside || window->count - (rva - window->rva) < kMaxInsnLength) {
        window->rva = rva;
        window->count = image.code(rva, window->bytes, sizeof window->bytes);
    }
    *bytes = window->bytes + (rva - window->rva);
    return window->count - (rva - window->rva);
}

struct PathStart {
    uint32_t rva;
    uint32_t tableBound; // entries of a jump table, from the last cmp reg, imm; or kNoBound
};

struct Walk {
    const CodeImage& image;
    bool callsReturn; // true inside a called function: its own calls are taken to return
    std::vector<PathStart> pending;
    RvaSet seen;
    CodeWindow window;
    std::set<uint32_t> pops; // N of every ret N
    bool plainReturn = false;
    std::string unknown; // set on the first reason to give up
};

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

bool IsEntry(const CodeImage& image, uint32_t rva) {
    return std::binary_search(image.entries.begin(), image.entries.end(), rva);
}

bool CanReturn(const CodeImage& image, uint32_t function);

void FollowTable(Walk* walk, uint32_t tableAddress, uint32_t bound) {
    if (bound == kNoBound || bound >= kMaxTableEntries) {
        walk->unknown = "it jumps through a table whose size it does not show";
        return;
    }
    const uint32_t table = tableAddress - walk->image.imageBase;
    for (uint32_t i = 0; i <= bound; ++i) {
        uint32_t target = 0;
        if (!walk->image.readU32(table + 4 * i, &target)) {
            walk->unknown = "its jump table at RVA " + Hex(table) + " cannot be read";
            return;
        }
        walk->pending.push_back({target - walk->image.imageBase, kNoBound});
    }
}

// What an instruction does to the walk; returns false when its path ends.
bool Step(Walk* walk, const X86Insn& insn, uint32_t* rva, uint32_t* bound) {
    const uint32_t next = *rva + insn.length;
    const uint32_t target = next + static_cast<uint32_t>(insn.displacement);
    *rva = next;
    switch (insn.flow) {
    case InsnFlow::Call:
        // A call that never returns ends the path (a function that raises an error; the
        // code after it belongs to something else).
        if (!walk->callsReturn && !CanReturn(walk->image, target)) {
            return false;
        }
        return !IsEntry(walk->image, next);
    case InsnFlow::Next:
        if (insn.comparesToImmediate) {
            *bound = insn.immediate;
        }
        // Falling onto another export's entry means the call before did not return.
        return !IsEntry(walk->image, next);
    case InsnFlow::Return:
        walk->plainReturn = true;
        return false;
    case InsnFlow::ReturnPop:
        if (insn.popBytes == 0) {
            walk->plainReturn = true; // ret 0
        } else {
            walk->pops.insert(insn.popBytes);
        }
        return false;
    case InsnFlow::Jump:
        *rva = target;
        return true;
    case InsnFlow::Branch:
        walk->pending.push_back({target, *bound});
        return !IsEntry(walk->image, next);
    case InsnFlow::JumpTable:
        FollowTable(walk, insn.address, *bound);
        return false;
    case InsnFlow::JumpPointer:
        walk->unknown = "it leaves through an import or a function pointer";
        return false;
    case InsnFlow::JumpRegister:
        walk->unknown = "it jumps to a computed address";
        return false;
    case InsnFlow::FarFlow:
        walk->unknown = "it uses a far jump, call or return";
        return false;
    case InsnFlow::Stop:
        return false;
    }
    return false;
}

void FollowPath(Walk* walk, PathStart start) {
    uint32_t rva = start.rva;
    uint32_t bound = start.tableBound;
    while (walk->unknown.empty() && InsertRva(&walk->seen, rva)) {
        if (walk->seen.count > kMaxInsns) {
            walk->unknown =
                "it has more code than the " + std::to_string(kMaxInsns) + " instructions followed";
            return;
        }
        const unsigned char* bytes = nullptr;
        const size_t got = CodeAt(walk->image, &walk->window, rva, &bytes);
        if (got == 0) {
            walk->unknown = "its code leaves the executable sections at RVA " + Hex(rva);
            return;
        }
        X86Insn insn{};
        if (!DecodeX86(bytes, got, &insn)) {
            walk->unknown = "the instruction at RVA " + Hex(rva) + " cannot be decoded";
            return;
        }
        if (!Step(walk, insn, &rva, &bound)) {
            return;
        }
    }
}

CallFinding Verdict(const Walk& walk) {
    if (!walk.unknown.empty()) {
        return {CallKind::Unknown, 0, walk.unknown};
    }
    if (walk.pops.empty()) {
        return walk.plainReturn
                   ? CallFinding{CallKind::PlainReturn, 0, ""}
                   : CallFinding{CallKind::Unknown, 0, "no return found (it never returns)"};
    }
    std::string rets;
    for (uint32_t n : walk.pops) {
        rets += (rets.empty() ? "ret " : " and ret ") + std::to_string(n);
    }
    if (walk.plainReturn) {
        return {CallKind::Unknown, 0, "it returns both with ret and " + rets};
    }
    const uint32_t bytes = *walk.pops.begin();
    if (walk.pops.size() > 1 || bytes % 4 != 0) {
        return {CallKind::Unknown, 0, "it returns with " + rets};
    }
    return {CallKind::Stdcall, bytes, ""};
}

void WalkFrom(Walk* walk, uint32_t entry) {
    walk->pending.push_back({entry, kNoBound});
    while (!walk->pending.empty() && walk->unknown.empty()) {
        const PathStart start = walk->pending.back();
        walk->pending.pop_back();
        FollowPath(walk, start);
    }
}

// False only for a function all of whose paths end without returning; anything the walk
// cannot follow counts as returning.
bool CanReturn(const CodeImage& image, uint32_t function) {
    const auto known = image.callReturns->find(function);
    if (known != image.callReturns->end()) {
        return known->second;
    }
    Walk walk{image, true, {}, {}, {}, {}, false, {}};
    WalkFrom(&walk, function);
    const bool returns = !walk.unknown.empty() || walk.plainReturn || !walk.pops.empty();
    image.callReturns->emplace(function, returns);
    return returns;
}

// True when the straight path from the entry (through jumps, past conditional branches)
// reads ECX or EDX before setting them: the function takes arguments in registers, as
// fastcall and thiscall do, and a stdcall caller would not pass them.
bool ReadsArgumentRegisters(const CodeImage& image, uint32_t rva) {
    uint8_t set = 0;
    CodeWindow window;
    for (int i = 0; i < kMaxEntryInsns && (set & (kEcx | kEdx)) != (kEcx | kEdx); ++i) {
        const unsigned char* bytes = nullptr;
        X86Insn insn{};
        const size_t got = CodeAt(image, &window, rva, &bytes);
        if (got == 0 || !DecodeX86(bytes, got, &insn)) {
            return false;
        }
        const RegisterUse use = RegistersUsed(bytes, insn);
        if ((use.reads & ~set & (kEcx | kEdx)) != 0) {
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

CallFinding FindCallKind(const CodeImage& image, uint32_t entry) {
    Walk walk{image, false, {}, {}, {}, {}, false, {}};
    WalkFrom(&walk, entry);
    CallFinding finding = Verdict(walk);
    if (finding.kind == CallKind::Stdcall && ReadsArgumentRegisters(image, entry)) {
        finding = {CallKind::Unknown, 0,
                   "it returns with ret " + std::to_string(finding.argumentBytes) +
                       " but reads ecx or edx before setting them (fastcall or thiscall?)"};
    }
    return finding;
}
