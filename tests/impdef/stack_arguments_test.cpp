#include "stack_arguments.h"

#include "code_image_of.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct StackCase {
    const char* what;
    std::vector<unsigned char> code;
    bool followed, readsArgument, returnsFirst;
};

const StackCase kCases[] = {
    {"a global, ret", {0xA1, 0, 0x20, 0, 0x10, 0xC3}, true, false, false},
    {"[esp+4], ret", {0x8B, 0x44, 0x24, 0x04, 0xC3}, true, true, false},
    {"the return address itself", {0x8B, 0x04, 0x24, 0xC3}, true, false, false},
    {"frame, [ebp+8]", {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x5D, 0xC3}, true, true, false},
    {"frame, a local, leave",
     {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x08, 0x8B, 0x45, 0xFC, 0xC9, 0xC3},
     true,
     false,
     false},
    {"sub esp, 8, a local",
     {0x83, 0xEC, 0x08, 0x8B, 0x44, 0x24, 0x04, 0x83, 0xC4, 0x08, 0xC3},
     true,
     false,
     false},
    {"sub esp, 8, [esp+12] is the first argument",
     {0x83, 0xEC, 0x08, 0x8B, 0x44, 0x24, 0x0C, 0x83, 0xC4, 0x08, 0xC3},
     true,
     true,
     false},
    {"a local of 8 bytes reaching the arguments",
     {0x83, 0xEC, 0x04, 0xDD, 0x04, 0x24, 0x83, 0xC4, 0x04, 0xC3}, // fld qword [esp]
     true,
     true,
     false},
    {"lea of the arguments", {0x8D, 0x44, 0x24, 0x04, 0xC3}, true, true, false},
    {"esp copied, the first argument read through the copy",
     {0x8B, 0xC4, 0x8B, 0x40, 0x04, 0xC3}, // mov eax, esp; mov eax, [eax+4]; ret
     true,
     true,
     false},
    // lea ecx, [esp+4]; and esp, -16; push dword [ecx-4]; push ebp; mov ebp, esp; push ecx;
    // sub esp, 20; mov ecx, [ebp-4]; leave; lea esp, [ecx-4]; ret: gcc's realigned frame
    {"esp restored from a saved copy",
     {0x8D, 0x4C, 0x24, 0x04, 0x83, 0xE4, 0xF0, 0xFF, 0x71, 0xFC, 0x55, 0x89, 0xE5,
      0x51, 0x83, 0xEC, 0x14, 0x8B, 0x4D, 0xFC, 0xC9, 0x8D, 0x61, 0xFC, 0xC3},
     true,
     false,
     false},
    // The same, ECX popped after lea esp, [ebp-4]: the lea leaves the saved copy alone
    {"esp restored from a copy popped after lea esp",
     {0x8D, 0x4C, 0x24, 0x04, 0x83, 0xE4, 0xF0, 0xFF, 0x71, 0xFC, 0x55, 0x89, 0xE5,
      0x51, 0x83, 0xEC, 0x14, 0x8D, 0x65, 0xFC, 0x59, 0x5D, 0x8D, 0x61, 0xFC, 0xC3},
     true,
     false,
     false},
    {"a pointer to the arguments changed", // lea eax, [esp+4]; add eax, 4; mov eax, [eax]; ret
     {0x8D, 0x44, 0x24, 0x04, 0x83, 0xC0, 0x04, 0x8B, 0x00, 0xC3},
     true,
     true,
     false},
    {"esp changed in a way not followed", {0x83, 0xCC, 0x04, 0xC3}, false, false, false},
    {"esp set from a register", {0x8B, 0xE1, 0xC3}, false, false, false},
    {"an index from the return address", {0x8B, 0x04, 0x8C, 0xC3}, false, false, false},
    {"an index from the first argument", {0x8B, 0x44, 0x8C, 0x04, 0xC3}, false, false, false},
    // sub esp, 64; mov [esp+eax*4], ecx; add esp, 64; ret
    {"an element of a local array",
     {0x83, 0xEC, 0x40, 0x89, 0x0C, 0x84, 0x83, 0xC4, 0x40, 0xC3},
     true,
     false,
     false},
    // sub esp, 8; mov eax, [cookie]; xor eax, esp; mov [esp+4], eax; add esp, 8; ret
    {"a stack cookie mixed with esp",
     {0x83, 0xEC, 0x08, 0xA1, 0, 0x30, 0, 0x10, 0x33, 0xC4, 0x89, 0x44, 0x24, 0x04, 0x83, 0xC4,
      0x08, 0xC3},
     true,
     false,
     false},
    // push ebp; mov ebp, esp; mov eax, [cookie]; xor eax, ebp; mov [ebp-4], eax; mov esp, ebp;
    // pop ebp; ret
    {"a stack cookie mixed with ebp",
     {0x55, 0x8B, 0xEC, 0xA1, 0, 0x30, 0, 0x10, 0x33, 0xC5, 0x89, 0x45, 0xFC, 0x8B, 0xE5, 0x5D,
      0xC3},
     true,
     false,
     false},
    // lea eax, [esp+4]; push eax; sub esp, 4; push 7; pop ecx; push 7; pop ecx; push 1;
    // call f; add esp, 8; ret / f: ret 4. The pops take back what was pushed: only push 1 is
    // f's, so the slot holding the arguments' address is not handed to it, and add esp, 8
    // is no cleanup of f's arguments.
    {"pops before a call taken back from what was pushed",
     {0x8D, 0x44, 0x24, 0x04, 0x50, 0x83, 0xEC, 0x04, 0x6A, 0x07, 0x59, 0x6A, 0x07, 0x59,
      0x6A, 0x01, 0xE8, 0x04, 0,    0,    0,    0x83, 0xC4, 0x08, 0xC3, 0xC2, 0x04, 0x00},
     true,
     false,
     false},
    // cmp eax, 1; ja L2; jmp [T+eax*4]; L0: ret; L1: mov eax, [esp+4]; ret; L2: ret; T: L0, L1
    {"a jump table, one target reading the first argument",
     {0x83, 0xF8, 0x01, 0x77, 0x0D, 0xFF, 0x24, 0x85, 0x13, 0x10, 0,    0x10, 0xC3, 0x8B,
      0x44, 0x24, 0x04, 0xC3, 0xC3, 0x0C, 0x10, 0,    0x10, 0x0D, 0x10, 0,    0x10},
     true,
     true,
     false},
    {"a jump table, no target reading an argument", // as above, T: L0, L0
     {0x83, 0xF8, 0x01, 0x77, 0x0D, 0xFF, 0x24, 0x85, 0x13, 0x10, 0,    0x10, 0xC3, 0x8B,
      0x44, 0x24, 0x04, 0xC3, 0xC3, 0x0C, 0x10, 0,    0x10, 0x0C, 0x10, 0,    0x10},
     true,
     false,
     false},
    // cmp eax, 1; ja L2; jmp [T+eax*4]; ...; T: outside the image
    {"a jump table it cannot read",
     {0x83, 0xF8, 0x01, 0x77, 0x0D, 0xFF, 0x24, 0x85, 0x13, 0x90, 0, 0x10, 0xC3, 0x8B, 0x44, 0x24,
      0x04, 0xC3, 0xC3},
     false,
     false,
     false},
    {"a jump through a register", {0x85, 0xC0, 0x74, 0x02, 0xFF, 0xE0, 0xC3}, false, false, false},
    {"ret with esp elsewhere", {0x83, 0xEC, 0x04, 0xC3}, false, false, false},
    {"no return", {0xEB, 0xFE}, false, false, false},
    // test eax, eax; jz +1; ret; jmp [import]: the path that returns decides
    {"a tail jump to an import beside a ret",
     {0x85, 0xC0, 0x74, 0x01, 0xC3, 0xFF, 0x25, 0x04, 0x20, 0, 0x10},
     true,
     false,
     false},
    {"a jump through a pointer that is no import",
     {0x85, 0xC0, 0x74, 0x01, 0xC3, 0xFF, 0x25, 0x0C, 0x20, 0, 0x10},
     false,
     false,
     false},
    // push 1; call f; ret / f: ret 4. Only the guess that f popped its argument returns.
    {"a stdcall callee pops",
     {0x6A, 0x01, 0xE8, 0x01, 0, 0, 0, 0xC3, 0xC2, 0x04, 0x00},
     true,
     false,
     false},
    // push dword [global]; call [import]; ret
    {"an import pops what was pushed for it",
     {0xFF, 0x35, 0, 0x20, 0, 0x10, 0xFF, 0x15, 0x04, 0x20, 0, 0x10, 0xC3},
     true,
     false,
     false},
    // push 1; call f; add esp, 4; ret / f: ret
    {"the caller cleans up",
     {0x6A, 0x01, 0xE8, 0x04, 0, 0, 0, 0x83, 0xC4, 0x04, 0xC3, 0xC3},
     true,
     false,
     false},
    // push ebp; mov ebp, esp; and esp, -16; sub esp, 16; mov [esp+12], eax; mov esp, ebp;
    // pop ebp; ret
    {"an aligned frame",
     {0x55, 0x8B, 0xEC, 0x83, 0xE4, 0xF0, 0x83, 0xEC, 0x10, 0x89, 0x44, 0x24, 0x0C, 0x8B, 0xE5,
      0x5D, 0xC3},
     true,
     false,
     false},
    // mov eax, [esp+4]; mov ecx, [esp+8]; mov [eax], ecx; mov [eax+4], ecx; mov [eax+8], ecx;
    // ret 12: 12 bytes written through the first argument, which comes back
    {"a structure written through the first argument",
     {0x8B, 0x44, 0x24, 0x04, 0x8B, 0x4C, 0x24, 0x08, 0x89, 0x08, 0x89, 0x48, 0x04, 0x89, 0x48,
      0x08, 0xC2, 0x0C, 0x00},
     true,
     true,
     true},
    // mov eax, [esp+4]; mov dword [eax], 0; ret 4: 4 bytes would come back in eax
    {"4 bytes written through the first argument",
     {0x8B, 0x44, 0x24, 0x04, 0xC7, 0x00, 0, 0, 0, 0, 0xC2, 0x04, 0x00},
     true,
     true,
     false},
    // mov eax, [esp+4]; push eax; call f; mov eax, [esp+4]; ret 4 / f: ret 4
    {"the first argument passed on as the callee's first",
     {0x8B, 0x44, 0x24, 0x04, 0x50, 0xE8, 0x07, 0,    0,    0,
      0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00, 0xC2, 0x04, 0x00},
     true,
     true,
     true},
    // mov eax, [esp+4]; ret 4: handed back but never used as an address
    {"the first argument only handed back",
     {0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00},
     true,
     true,
     false},
};

TEST(StackArguments, FollowsTheStackPointerOnEveryPath) {
    for (const StackCase& c : kCases) {
        // As for an export: the code graph, which follows jump tables, is decoded first.
        const CodeImage image = CodeImageOf(c.code, {kCodeRva});
        CodeAnalysis analysis;
        FindReturnKind(image, &analysis, kCodeRva);
        const StackArgumentUse use =
            FindStackArgumentUse(image, &analysis, kCodeRva, WalkQuestion::ReadsArgument);
        const StackArgumentUse first =
            FindStackArgumentUse(image, &analysis, kCodeRva, WalkQuestion::ReturnsFirst);
        EXPECT_EQ(first.returnsFirst, c.returnsFirst) << c.what;
        EXPECT_EQ(use.followed, c.followed) << c.what;
        EXPECT_EQ(use.readsArgument, c.readsArgument) << c.what;
    }
}

// A function that never returns: the bytes of arguments it reads, 0 when it does not show them.
TEST(StackArguments, CountsWhatAFunctionThatNeverReturnsReads) {
    const struct {
        const char* what;
        std::vector<unsigned char> code;
        uint32_t bytesRead;
    } cases[] = {
        // push dword [esp+4]; call [longjmp]
        {"its first, passed on", {0xFF, 0x74, 0x24, 0x04, 0xFF, 0x15, 0x08, 0x20, 0, 0x10}, 4},
        // push ebp; mov ebp, esp; push dword [ebp+12]; call [longjmp]
        {"its second, through a frame",
         {0x55, 0x8B, 0xEC, 0xFF, 0x75, 0x0C, 0xFF, 0x15, 0x08, 0x20, 0, 0x10},
         8},
        {"a byte of its third, then jmp $", {0x8A, 0x44, 0x24, 0x0C, 0xEB, 0xFE}, 12},
        {"nothing", {0xEB, 0xFE}, 0},
        // mov ecx, [esp+4]; lea eax, [esp+4]; push eax; call [longjmp]: how far the callee
        // reads is not seen
        {"the arguments' address handed on",
         {0x8B, 0x4C, 0x24, 0x04, 0x8D, 0x44, 0x24, 0x04, 0x50, 0xFF, 0x15, 0x08, 0x20, 0, 0x10},
         0},
        {"a function that returns", {0x8B, 0x44, 0x24, 0x08, 0xC2, 0x08, 0x00}, 0},
        // sub esp, 12; mov eax, [esp+16]; L: mov [esp], eax; call f; sub esp, 4; jmp L /
        // f: ret 4: gcc takes back the room its stdcall callee popped, so ESP stays put
        {"a loop around a call of a stdcall function",
         {0x83, 0xEC, 0x0C, 0x8B, 0x44, 0x24, 0x10, 0x89, 0x04, 0x24, 0xE8, 0x05,
          0,    0,    0,    0x83, 0xEC, 0x04, 0xEB, 0xF3, 0xC2, 0x04, 0x00},
         4},
    };
    for (const auto& c : cases) {
        CodeAnalysis analysis;
        const StackArgumentUse use = FindStackArgumentUse(
            CodeImageOf(c.code, {kCodeRva}), &analysis, kCodeRva, WalkQuestion::ReturnsFirst);
        EXPECT_EQ(use.bytesReadWithoutReturn, c.bytesRead) << c.what;
    }
}

TEST(StackArguments, GivesUpOnMoreCodeThanItFollows) {
    std::vector<unsigned char> code(20000, 0x90); // nop ... ret
    code.push_back(0xC3);
    CodeAnalysis analysis;
    EXPECT_FALSE(FindStackArgumentUse(CodeImageOf(code, {kCodeRva}), &analysis, kCodeRva,
                                      WalkQuestion::ReadsArgument)
                     .followed);
    // L: push eax; test eax, eax; jnz L; ret: ESP moves on each turn, a new state each time
    const std::vector<unsigned char> loop = {0x50, 0x85, 0xC0, 0x75, 0xFB, 0xC3};
    StackWalkMemo memo;
    memo.stepsLeft = 100000;
    EXPECT_FALSE(FindStackArgumentUse(CodeImageOf(loop, {kCodeRva}), &analysis, kCodeRva,
                                      WalkQuestion::ReadsArgument, &memo)
                     .followed);
    EXPECT_LT(100000 - memo.stepsLeft, 100u) << "the loop was followed turn after turn";
}

} // namespace
