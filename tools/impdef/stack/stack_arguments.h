#pragma once
// What a 32-bit function does with the arguments its caller leaves on the stack, found by
// following the stack pointer from the entry along every path: whether it reads any of them,
// and whether it hands the first one back in EAX. Anything it cannot follow (an unknown change
// of ESP, ESP copied to another register than the EBP frame, an indirect jump, too much code)
// makes the answer "cannot tell".

#include "code_image.h"
#include "return_paths.h"

#include <cstdint>
#include <unordered_map>

struct StackArgumentUse {
    bool followed;      // every path was followed to its end; the rest holds only then
    bool readsArgument; // some access or address taken reaches above the return address
    // Every return hands back the first stack argument in EAX, and the function writes through
    // it more than 1, 2, 4 or 8 bytes, or passes it on: as a structure returned through a
    // hidden pointer would be.
    bool returnsFirst;
    // When no path returns, every path was followed, and each read of an argument was seen
    // exactly: the bytes of arguments up to the highest one read (0 otherwise).
    uint32_t bytesReadWithoutReturn;
};

// What the paths from an entry found, merged over them (stack_arguments.cpp).
struct StackPaths {
    bool cannotTell = false;
    bool returned = false; // some path returned with ESP where it started
    bool readsArgument = false;
    bool returnsFirst = true;
    uint8_t firstWritten = 0;
    bool firstEscapes = false;
    bool certainRead = false; // ReadsArgument: a path without guesses read one
    bool settled = false;     // otherwise: a return that does not hand back the first argument
    // The highest byte of the arguments read, as an offset from the entry's ESP: on paths
    // without guesses, and on guessed paths; a read or an address that cannot be placed exactly.
    uint32_t argumentEnd = 0;
    uint32_t guessedEnd = 0;
    bool vagueRead = false;
    // An element of a local array was read or written through an index the walk cannot bound:
    // taken to stay in the array, as compiled code indexes no arguments (a fixed part below
    // the return address is a local's; an argument's lies above).
    bool localArray = false;
};

// The walks done, by entry and kind. A path that reaches another export's entry before it has
// done anything takes what the walk from there found instead of following that code again:
// walked from the last entry to the first, exports that run into each other's code (a chain of
// thunks, padding) cost the code once, not once per export.
// The instructions all walks together may follow are counted too: past stepsLeft each walk
// cannot tell, so that no input costs more than a few passes over its code.
struct StackWalkMemo {
    std::unordered_map<uint64_t, StackPaths> byEntry;
    size_t stepsLeft = ~size_t{0};
};

// The one question a walk answers. ReadsArgument: the walk stops at the first read on a path
// that rests on no guess of what a callee popped (returnsFirst is then false). ReturnsFirst:
// the walk stops at the first return that does not hand back the first argument
// (readsArgument is then true).
enum class WalkQuestion { ReadsArgument, ReturnsFirst };

// analysis: the code graph (its jump tables) and the functions called, which the walk asks
// whether they return.
StackArgumentUse FindStackArgumentUse(const CodeImage& image, CodeAnalysis* analysis,
                                      uint32_t entry, WalkQuestion question,
                                      StackWalkMemo* memo = nullptr);
