#include "stack_arguments.h"

#include "code_graph.h"
#include "register_use.h"
#include "stack_state.h"
#include "x86_decoder.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace {

// Instructions followed per export (a path is followed again only from a jump or branch
// target it reaches in another stack state).
constexpr size_t kMaxSteps = 8192;
// A jump or branch target reached in more states than this is taken for a loop that moves ESP
// on each turn in a way the walk does not see through (the walk would go on until its steps ran
// out).
constexpr uint16_t kMaxStatesAtTarget = 8;

struct StackWalk {
    const CodeImage& image;
    CodeAnalysis* analysis;
    WalkQuestion question;
    StackWalkMemo* memo;
    std::vector<StackState> pending;
    std::unordered_set<StackState, StateHash> seen;  // states at the targets
    std::unordered_map<uint32_t, uint16_t> statesAt; // how many of them, by target
    std::unordered_set<uint32_t> targets;            // of the jumps and branches met so far
    std::vector<uint32_t> tableTargets;              // scratch
    StackPaths found;
    EntryGap entryGap;
};

bool Untouched(const StackState& s) {
    StackState fresh;
    fresh.rva = s.rva;
    return !(s < fresh) && !(fresh < s);
}

void MergePaths(StackPaths* into, const StackPaths& from) {
    into->cannotTell |= from.cannotTell;
    into->returned |= from.returned;
    into->readsArgument |= from.readsArgument;
    into->returnsFirst &= from.returnsFirst;
    into->firstWritten = std::max(into->firstWritten, from.firstWritten);
    into->firstEscapes |= from.firstEscapes;
    into->certainRead |= from.certainRead;
    into->settled |= from.settled;
    into->argumentEnd = std::max(into->argumentEnd, from.argumentEnd);
    into->guessedEnd = std::max(into->guessedEnd, from.guessedEnd);
    into->vagueRead |= from.vagueRead;
    into->localArray |= from.localArray;
}

uint64_t MemoKey(uint32_t entry, WalkQuestion question) {
    return uint64_t{entry} << 1 | (question == WalkQuestion::ReadsArgument ? 1u : 0u);
}

// A path at another export's entry that has done nothing yet goes on as the walk from there
// went: it takes that walk's findings.
bool TakeWalked(StackWalk* walk, const StackState& s) {
    if (walk->memo == nullptr || !Untouched(s)) {
        return false;
    }
    const auto known = walk->memo->byEntry.find(MemoKey(s.rva, walk->question));
    if (known == walk->memo->byEntry.end()) {
        return false;
    }
    MergePaths(&walk->found, known->second);
    return true;
}

// Whether the state is new at its target; too many there make the walk give up.
bool NewStateAtTarget(StackWalk* walk, const StackState& s) {
    if (!walk->seen.insert(s).second) {
        return false;
    }
    if (++walk->statesAt[s.rva] > kMaxStatesAtTarget) {
        walk->found.cannotTell = true;
    }
    return true;
}

// A path continues at a jump or branch target, unless it was there in the same state.
void QueuePath(StackWalk* walk, const StackState& s) {
    walk->targets.insert(s.rva);
    if (!(IsExportEntry(walk->image, s.rva, &walk->entryGap) && TakeWalked(walk, s)) &&
        NewStateAtTarget(walk, s)) {
        walk->pending.push_back(s);
    }
}

// The end of a path that does not return (its reads count all the same).
void End(StackWalk* walk, const StackState& s) {
    walk->found.readsArgument |= s.readsArgument;
    walk->found.vagueRead |= s.argumentsEscape;
}

// Where a path reads the stack at or above the first argument, as the highest byte reached:
// exact on a path without guesses; otherwise noted apart, or as vague.
void NoteArgumentRead(StackPaths* found, const StackState& s, StackAddress at, int32_t size) {
    const int32_t end = at.offset + size;
    if (end <= kFirstArgument) {
        return;
    }
    if (at.slack != 0 || end > 0xFFFF) {
        found->vagueRead = true;
    } else if (s.guessed) {
        found->guessedEnd = std::max<uint32_t>(found->guessedEnd, static_cast<uint32_t>(end));
    } else {
        found->argumentEnd = std::max<uint32_t>(found->argumentEnd, static_cast<uint32_t>(end));
    }
}

// Continues a path at next, or ends it at another export's entry (the code before did not
// return). Where paths meet again after a branch, a state seen there is not taken again (the
// paths would double at each branch).
void FallThrough(StackWalk* walk, StackState& s, uint32_t next) {
    s.rva = next;
    if (IsExportEntry(walk->image, next, &walk->entryGap)) {
        if (!TakeWalked(walk, s)) {
            End(walk, s);
        }
    } else if (walk->targets.count(next) == 0 || NewStateAtTarget(walk, s)) {
        walk->pending.push_back(s);
    }
}

void Return(StackWalk* walk, StackState& s) {
    if (s.regs[kEsp].slack != 0) {
        walk->found.cannotTell = true;
    } else if (s.regs[kEsp].offset == 0) {
        if (Tracked(s, 0)) {
            Escape(&s, s.regs[0]); // handed back in EAX
        }
        walk->found.returned = true;
        walk->found.readsArgument |= s.readsArgument;
        walk->found.returnsFirst &= (s.holdsFirst & RegisterMask(kEax)) != 0;
        walk->found.settled |=
            walk->question == WalkQuestion::ReturnsFirst && !walk->found.returnsFirst;
        walk->found.firstWritten = std::max(walk->found.firstWritten, s.firstWritten);
        walk->found.firstEscapes |= s.firstEscapes;
    }
}

// What one instruction does to the path's state and findings; false when the path ends here
// (the walk cannot tell, or it has its answer).
bool ApplyEffect(StackWalk* walk, StackState& s, const Instruction& in) {
    const MemoryOperand m = in.memory;
    const int op = OneByteOpcodeOf(in);
    StackAddress at;
    const StackPlace place = PlaceOf(s, m, op == 0x8F ? 4 : 0, &at);
    if (place == StackPlace::Unknown) {
        walk->found.cannotTell = true;
        return false;
    }
    walk->found.localArray |= place == StackPlace::LocalArray;
    const StackAddress esp = s.regs[kEsp];
    if (place == StackPlace::Stack && at.slack == esp.slack && at.offset >= esp.offset &&
        (op == 0x89 || op == 0xC7 || op == 0x88 || op == 0xC6)) {
        const int32_t end = at.offset - esp.offset + in.accessSize;
        s.stored = std::max(s.stored, static_cast<uint32_t>(std::min(end, 0xFFFF)));
    }
    if (place == StackPlace::Stack && op != 0x8D) {
        s.readsArgument |= at.offset + in.accessSize > kFirstArgument;
        NoteArgumentRead(&walk->found, s, at, in.accessSize);
    }
    walk->found.vagueRead |= s.argumentsEscape;
    const bool exact = place == StackPlace::Stack && at.slack == 0;
    TrackFirstArgument(&s, in, m, exact && at.offset == kFirstArgument,
                       place == StackPlace::Stack && at == s.regs[kEsp]);
    const StackAddress espBefore = s.regs[kEsp];
    if (MoveStack(&s, in, m, place, at) == Effect::CannotTell) {
        walk->found.cannotTell = true;
        return false;
    }
    if (walk->question == WalkQuestion::ReadsArgument && s.readsArgument && !s.guessed) {
        walk->found.certainRead = true;
        return false;
    }
    if (!(s.regs[kEsp] == espBefore) && !(op >= 0x50 && op <= 0x57)) {
        s.firstOnTop = false;
    }
    return true;
}

// Where the path goes after the instruction: on, to its targets, or to its end.
void FollowFlow(StackWalk* walk, StackState& s, const Instruction& in) {
    const uint32_t next = s.rva + in.x.length;
    const uint32_t target = next + static_cast<uint32_t>(in.x.displacement);
    switch (in.x.flow) {
    case InsnFlow::Next:
        if (in.indirectCall) {
            AfterCall(&s);
            if (!CallInstructionReturns(walk->image, in)) {
                End(walk, s); // an import that never returns
                return;
            }
        }
        FallThrough(walk, s, next);
        return;
    case InsnFlow::Branch: {
        StackState taken = s;
        taken.rva = target;
        walk->targets.insert(target); // for the fall-through to meet it as a target
        FallThrough(walk, s, next);
        QueuePath(walk, taken);
        return;
    }
    case InsnFlow::Jump:
        s.rva = target;
        QueuePath(walk, s);
        return;
    case InsnFlow::Call: {
        if (!CalleeCanReturn(&walk->analysis->callees, walk->image, target)) {
            AfterCall(&s); // what it is handed counts
            End(walk, s);  // a call that never returns
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
        End(walk, s);
        return;
    case InsnFlow::JumpPointer:
        if (walk->image.imports.count(in.x.address) != 0) {
            End(walk, s); // a tail jump to an import: left to the paths that return
            return;
        }
        break;
    case InsnFlow::JumpTable:
        if (TableJumpTargets(walk->analysis->graph, s.rva, &walk->tableTargets)) {
            for (uint32_t to : walk->tableTargets) {
                StackState taken = s;
                taken.rva = to;
                QueuePath(walk, taken);
            }
            return;
        }
        break;
    case InsnFlow::JumpRegister:
    case InsnFlow::FarFlow:
        break;
    }
    walk->found.cannotTell = true;
}

// One instruction of a path whose callee pops are settled.
void Step(StackWalk* walk, StackState& s, const Instruction& in) {
    if (ApplyEffect(walk, s, in)) {
        FollowFlow(walk, s, in);
    }
}

// Settles what the last call popped, when this instruction is the first to use ESP after it.
void SettleCalleePop(StackWalk* walk, StackState& s, const Instruction& in) {
    int32_t value = 0;
    if ((s.calleePop == 0 && s.calleeStored == 0) || !UsesEsp(in)) {
        Step(walk, s, in);
        return;
    }
    const uint32_t most = s.calleePop;
    const uint32_t passed = std::max(s.calleePop, s.calleeStored);
    s.calleePop = s.calleeStored = 0;
    const int arithmetic = in.espArithmetic;
    value = in.espImmediate;
    if (arithmetic == 0 && value > 0 && static_cast<uint32_t>(value) <= most) {
        Step(walk, s, in); // add esp, N: the caller cleans up
        return;
    }
    // sub esp, N, or push reg for 4 after arguments stored rather than pushed: gcc taking back
    // the room of the arguments a stdcall callee popped
    const int op = OneByteOpcodeOf(in);
    const int32_t retaken = arithmetic == 5 ? value : most == 0 && op >= 0x50 && op <= 0x57 ? 4 : 0;
    if (retaken > 0 && retaken % 4 == 0 && static_cast<uint32_t>(retaken) <= passed) {
        s.regs[kEsp] = Plus(s.regs[kEsp], retaken);
        s.guessed = true;
        Step(walk, s, in);
        return;
    }
    if (most == 0) {
        Step(walk, s, in);
        return;
    }
    for (uint32_t pop = 0; pop <= most && !walk->found.cannotTell; pop += 4) {
        StackState guess = s;
        guess.regs[kEsp] = Plus(guess.regs[kEsp], static_cast<int32_t>(pop));
        guess.guessed = true;
        Step(walk, guess, in);
    }
}

// Counts a step against what all walks may take; true when none is left.
bool OutOfSteps(StackWalkMemo* memo) {
    if (memo == nullptr || memo->stepsLeft == 0) {
        return memo != nullptr;
    }
    --memo->stepsLeft;
    return false;
}

} // namespace

StackArgumentUse FindStackArgumentUse(const CodeImage& image, CodeAnalysis* analysis,
                                      uint32_t entry, WalkQuestion question, StackWalkMemo* memo) {
    StackWalk walk{image, analysis, question, memo, {}, {}, {}, {}, {}, {}, {}};
    StackPaths& found = walk.found;
    StackState start;
    start.rva = entry;
    CodeWindow window;
    walk.seen.insert(start);
    walk.pending.push_back(start);
    for (size_t steps = 0;
         !walk.pending.empty() && !found.cannotTell && !found.certainRead && !found.settled;
         ++steps) {
        if (steps == kMaxSteps || OutOfSteps(memo)) {
            found.cannotTell = true;
            break;
        }
        StackState s = walk.pending.back();
        walk.pending.pop_back();
        Instruction in; // DecodeAt sets every field first
        if (DecodeAt(image, &window, s.rva, &in) != Decoded::Instruction || in.addressSizePrefix) {
            found.cannotTell = true;
            break;
        }
        SettleCalleePop(&walk, s, in);
    }
    if (memo != nullptr) {
        memo->byEntry[MemoKey(entry, question)] = found;
    }
    // Structures of 1, 2, 4 or 8 bytes come back in EAX (and EDX), not through a pointer.
    const uint8_t written = found.firstWritten;
    const bool structureSized =
        found.firstEscapes ||
        (written != 0 && written != 1 && written != 2 && written != 4 && written != 8);
    if (found.certainRead || found.settled) {
        return {true, true, false, 0}; // what was wanted is known
    }
    const bool followed = !found.cannotTell && found.returned;
    // Without a return, the arguments read, when every read was seen exactly.
    const bool readsExactly = !found.cannotTell && !found.returned && !found.vagueRead &&
                              !found.localArray && found.guessedEnd <= found.argumentEnd;
    const uint32_t bytesRead =
        found.argumentEnd > kFirstArgument ? (found.argumentEnd - kFirstArgument + 3) / 4 * 4 : 0;
    return {followed, followed && found.readsArgument,
            followed && found.returnsFirst && structureSized, readsExactly ? bytesRead : 0};
}
