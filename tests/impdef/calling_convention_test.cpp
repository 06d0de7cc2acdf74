#include "calling_convention.h"
#include "code_image_of.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct AnalysisCase {
    const char* what;
    std::vector<unsigned char> code; // the function starts at its first byte
    ConventionKind kind;
    uint32_t argumentBytes;
    const char* reason; // start of the reason, for Unknown
    std::vector<uint32_t> otherEntries;
};

constexpr ConventionKind S = ConventionKind::Stdcall, P = ConventionKind::PlainReturn,
                         U = ConventionKind::Unknown;

const AnalysisCase kCases[] = {
    {"ret 8", {0xC2, 0x08, 0x00}, S, 8, "", {}},
    {"ret", {0xC3}, P, 0, "", {}},
    {"ret 0 is a plain return", {0xC2, 0x00, 0x00}, P, 0, "", {}},
    {"frame, then ret 12", {0x55, 0x8B, 0xEC, 0x5D, 0xC2, 0x0C, 0x00}, S, 12, "", {}},
    {"both branches ret 8",
     {0x85, 0xC0, 0x74, 0x05, 0x33, 0xC0, 0xC2, 0x08, 0x00, 0x40, 0xC2, 0x08, 0x00},
     S,
     8,
     "",
     {}},
    {"ret 4 on one branch, ret on the other",
     {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC3},
     U,
     0,
     "it returns both with ret and ret 4",
     {}},
    {"ret 4 and ret 8",
     {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC2, 0x08, 0x00},
     U,
     0,
     "it returns with ret 4 and ret 8",
     {}},
    {"ret 6 is no stdcall return", {0xC2, 0x06, 0x00}, U, 0, "it returns with ret 6", {}},
    {"a tail jmp to code that returns with ret 4",
     {0xE9, 0x03, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"a loop, then ret 16", {0x48, 0x75, 0xFD, 0xC2, 0x10, 0x00}, S, 16, "", {}},
    {"a bounded jump table, every case ret 8",
     {0x83, 0xF8, 0x01, 0x77, 0x07, 0xFF, 0x24, 0x85, 0x20, 0x10, 0x00, 0x10, 0xC2, 0x08,
      0x00, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC,
      0xCC, 0xCC, 0xCC, 0xCC, 0x0C, 0x10, 0x00, 0x10, 0x0C, 0x10, 0x00, 0x10},
     S,
     8,
     "",
     {}},
    {"a jump table whose size the code does not show",
     {0xFF, 0x24, 0x85, 0x20, 0x10, 0x00, 0x10},
     U,
     0,
     "it jumps through a table",
     {}},
    {"a tail jump through a function pointer",
     {0xFF, 0x25, 0x00, 0x30, 0x00, 0x10},
     U,
     0,
     "it leaves through an import or a function pointer",
     {}},
    {"a tail jump to an import on one path, ret 4 on the other",
     {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xFF, 0x25, 0x00, 0x20, 0x00, 0x10},
     S,
     4,
     "",
     {}},
    {"every path leaves through one import",
     {0xFF, 0x25, 0x00, 0x20, 0x00, 0x10},
     U,
     0,
     "it leaves through the import KERNEL32.dll!Sleep",
     {}},
    {"every path leaves through an import, two of them",
     {0x85, 0xC0, 0x74, 0x06, 0xFF, 0x25, 0x04, 0x20, 0x00, 0x10, 0xFF, 0x25, 0x00, 0x20, 0x00,
      0x10},
     U,
     0,
     "it leaves through the imports KERNEL32.dll!Sleep and KERNEL32.dll!Beep",
     {}},
    {"a two-level switch: the byte table's largest entry bounds the address table",
     {0x83, 0xFE, 0x02, 0x77, 0x0F, 0x0F, 0xB6, 0x86, 0x1C, 0x10, 0x00, 0x10, 0xFF, 0x24, 0x85,
      0x20, 0x10, 0x00, 0x10, 0xCC, 0xC2, 0x04, 0x00, 0xC2, 0x04, 0x00, 0xCC, 0xCC, 0x00, 0x01,
      0x00, 0xCC, 0x14, 0x10, 0x00, 0x10, 0x17, 0x10, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12},
     S,
     4,
     "",
     {}},
    {"a jump table bounded by and eax, 1",
     {0x83, 0xE0, 0x01, 0xFF, 0x24, 0x85, 0x10, 0x10, 0x00, 0x10, 0xCC, 0xCC,
      0xCC, 0xC2, 0x08, 0x00, 0x0D, 0x10, 0x00, 0x10, 0x0D, 0x10, 0x00, 0x10},
     S,
     8,
     "",
     {}},
    {"a compare of the byte a register was zero-extended from bounds the register",
     {0x3C, 0x09, 0x77, 0x12, 0x0F, 0xB6, 0xD0, 0x3C, 0x01, 0x77, 0x0B, 0xFF, 0x24, 0x95,
      0x1C, 0x10, 0x00, 0x10, 0xCC, 0xCC, 0xCC, 0xCC, 0xC2, 0x04, 0x00, 0xCC, 0xCC, 0xCC,
      0x16, 0x10, 0x00, 0x10, 0x16, 0x10, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12},
     S,
     4,
     "",
     {}},
    // mov eax, esi; shr eax, 16; cmp esi, 0x1FFFF; ja default; entries: int3, ret 8, no code.
    {"a compare of a register bounds its copy shifted right",
     {0x8B, 0xC6, 0xC1, 0xE8, 0x10, 0x81, 0xFE, 0xFF, 0xFF, 0x01, 0x00, 0x77,
      0x07, 0xFF, 0x24, 0x85, 0x18, 0x10, 0x00, 0x10, 0xCC, 0xC2, 0x08, 0x00,
      0x14, 0x10, 0x00, 0x10, 0x15, 0x10, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12},
     S,
     8,
     "",
     {}},
    {"the same with inc esi after the copy: the compare bounds only the shift's width",
     {0x8B, 0xC6, 0xC1, 0xE8, 0x10, 0x46, 0x81, 0xFE, 0xFF, 0xFF, 0x01, 0x00, 0xFF, 0x24, 0x85,
      0x00, 0x10, 0x00, 0x10},
     U,
     0,
     "it jumps through a table of 65536 entries",
     {}},
    {"the mask bounds the index register, not another one",
     {0x83, 0xE1, 0x01, 0xFF, 0x24, 0x85, 0x10, 0x10, 0x00, 0x10},
     U,
     0,
     "it jumps through a table whose size",
     {}},
    {"a mask too wide for a table names the limit",
     {0x25, 0xFF, 0x0F, 0x00, 0x00, 0xFF, 0x24, 0x85, 0x10, 0x10, 0x00, 0x10},
     U,
     0,
     "it jumps through a table of 4096 entries, more than the 1024 followed",
     {}},
    {"a jump through a table held in a register",
     {0xFF, 0x24, 0x83},
     U,
     0,
     "it jumps to a computed address",
     {}},
    {"a call to longjmp, then padding and another function",
     {0x85, 0xC0, 0x75, 0x03, 0xC2, 0x0C, 0x00, 0xFF, 0x15, 0x08, 0x20, 0x00, 0x10, 0x90, 0x90,
      0x90, 0xC2, 0x10, 0x00},
     S,
     12,
     "",
     {}},
    {"a call to a function that ends in longjmp, then padding and another function",
     {0x85, 0xC0, 0x75, 0x03, 0xC2, 0x0C, 0x00, 0xE8, 0x0C, 0,    0,
      0,    0x90, 0x90, 0x90, 0x90, 0xC2, 0x10, 0x00, 0xCC, 0xCC, 0xCC,
      0xCC, 0xCC, 0xFF, 0x15, 0x08, 0x20, 0x00, 0x10, 0x90, 0x90, 0xC3},
     S,
     12,
     "",
     {}},
    {"a call to an import that returns",
     {0xFF, 0x15, 0x00, 0x20, 0x00, 0x10, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"a jump to a register", {0xFF, 0xE0}, U, 0, "it jumps to a computed address", {}},
    {"no return: int3", {0xCC}, U, 0, "no return found", {}},
    {"no return: jmp $", {0xEB, 0xFE}, U, 0, "no return found", {}},
    {"an invalid instruction", {0x0F, 0x04}, U, 0, "the instruction at RVA 0x1000 cannot", {}},
    {"code running past the section", {0x90, 0x90}, U, 0, "its code leaves the executable", {}},
    {"a far return", {0xCB}, U, 0, "it uses a far jump", {}},
    {"a call that does not return falls onto the next export",
     {0x74, 0x06, 0xE8, 0, 0, 0, 0, 0xC3, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {0x1007}},
    {"ecx read on entry: fastcall or thiscall",
     {0x8B, 0xC1, 0xC2, 0x04, 0x00},
     U,
     0,
     "it returns with ret 4 but reads ecx",
     {}},
    {"edx tested on entry",
     {0x85, 0xD2, 0x74, 0x00, 0xC2, 0x08, 0x00},
     U,
     0,
     "it returns with ret 8 but",
     {}},
    {"ecx pushed to make room, set, then read",
     {0x51, 0x8B, 0x4C, 0x24, 0x08, 0x8B, 0xC1, 0x59, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"edx cleared, then read", {0x33, 0xD2, 0x8B, 0xC2, 0xC2, 0x04, 0x00}, S, 4, "", {}},
    // Visual C++ aligns a loop with a lea of a register to itself: no use, no stack change.
    {"lea ecx, [ecx+0] before a loop",
     {0x8D, 0x49, 0x00,       // lea ecx, [ecx+0]
      0x8B, 0x44, 0x24, 0x04, // mov eax, [esp+4]
      0xC2, 0x04, 0x00},      // ret 4
     S,
     4,
     "",
     {}},
    {"lea esp, [esp+0] with an 8-bit displacement",
     {0x8D, 0x64, 0x24, 0x00, 0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"lea esp, [esp+0] with a 32-bit displacement",
     {0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00, 0x00, 0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"lea ecx, [ecx+0] aligning a loop that counts ecx down",
     {0x8B, 0x4C, 0x24, 0x04, // mov ecx, [esp+4]
      0x33, 0xC0,             // xor eax, eax
      0x8D, 0x49, 0x00,       // lea ecx, [ecx+0]
      0x03, 0xC1,             // loop: add eax, ecx
      0x49, 0x75, 0xFB,       // dec ecx; jnz loop
      0xC2, 0x04, 0x00},      // ret 4
     S,
     4,
     "",
     {}},
    {"lea edx, [edx+0] before edx is set, in a loop",
     {0x8B, 0x44, 0x24, 0x04, // mov eax, [esp+4]
      0x8D, 0x52, 0x00,       // lea edx, [edx+0]
      0x48, 0x75, 0xFA,       // loop: dec eax; jnz to the lea
      0xC2, 0x04, 0x00},      // ret 4
     S,
     4,
     "",
     {}},
    // Visual C++ pushes ECX for room, whatever it holds, and fills the room before any read.
    {"push ecx as room for a callee's float argument, filled by fstp",
     {0xDD, 0x44, 0x24, 0x04,       // fld qword [esp+4]
      0x6A, 0x07, 0x51,             // push 7; push ecx
      0xD9, 0x1C, 0x24,             // fstp dword [esp]
      0xE8, 0x03, 0x00, 0x00, 0x00, // call f
      0xC2, 0x08, 0x00,             // ret 8
      0xC2, 0x08, 0x00},            // f: ret 8
     S,
     8,
     "",
     {}},
    {"push ecx as room for a local, first written by movss",
     {0x55, 0x8B, 0xEC, 0x51,              // push ebp; mov ebp, esp; push ecx
      0xF3, 0x0F, 0x10, 0x45, 0x08,        // movss xmm0, [ebp+8]
      0xF3, 0x0F, 0x11, 0x45, 0xFC,        // movss [ebp-4], xmm0
      0xD9, 0x45, 0xFC,                    // fld dword [ebp-4]
      0x8B, 0xE5, 0x5D, 0xC2, 0x04, 0x00}, // mov esp, ebp; pop ebp; ret 4
     S,
     4,
     "",
     {}},
    {"push ecx in a frame with an exception handler, overwritten by mov [ebp-16], esp",
     {0x55, 0x8B, 0xEC, 0x6A, 0xFF,                      // push ebp; mov ebp, esp; push -1
      0x68, 0x00, 0x10, 0x00, 0x10,                      // push handler
      0x64, 0xFF, 0x35, 0x00, 0x00, 0x00, 0x00,          // push fs:[0]
      0x51, 0x89, 0x65, 0xF0,                            // push ecx; mov [ebp-16], esp
      0x8B, 0x45, 0x08,                                  // mov eax, [ebp+8]
      0x8B, 0x4D, 0xF4, 0x64, 0x89, 0x0D, 0,    0, 0, 0, // mov ecx, [ebp-12]; mov fs:[0], ecx
      0x8B, 0xE5, 0x5D, 0xC2, 0x04, 0x00},               // mov esp, ebp; pop ebp; ret 4
     S,
     4,
     "",
     {}},
    {"lea ebx, [ebx+0] with a 32-bit displacement, then ecx untouched",
     {0x8D, 0x9B, 0x00, 0x00, 0x00, 0x00, 0x8B, 0x44, 0x24, 0x04, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"ecx read after a call, which sets it",
     {0xE8, 0, 0, 0, 0, 0x8B, 0xC1, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"a call to a function that never returns ends its path",
     {0x85, 0xC0, 0x74, 0x08, 0xE8, 0x07, 0, 0, 0, 0xC2, 0x08, 0x00, 0xC2, 0x04, 0x00, 0xCC, 0xEB,
      0xFE},
     S,
     4,
     "",
     {}},
    // The export calls F at 0x10, which calls G at 0x17 (jmp $); after each call, padding,
    // then a plain ret of code that is not the export's.
    {"a call to a function whose own call never returns, padding after each",
     {0x74, 0x07, 0xE8, 0x09, 0,    0, 0, 0x90, 0xC3, 0xC2, 0x08, 0x00, 0xCC,
      0xCC, 0xCC, 0xCC, 0xE8, 0x02, 0, 0, 0,    0x90, 0xC3, 0xEB, 0xFE},
     S,
     8,
     "",
     {}},
    {"the same with code after F's call: its compiler took G to return",
     {0x74, 0x07, 0xE8, 0x09, 0,    0, 0, 0x90, 0xC3, 0xC2, 0x08, 0x00, 0xCC,
      0xCC, 0xCC, 0xCC, 0xE8, 0x02, 0, 0, 0,    0x40, 0xC3, 0xEB, 0xFE},
     U,
     0,
     "it returns both with ret and ret 8",
     {}},
    {"the same without the next export's entry known",
     {0x74, 0x06, 0xE8, 0, 0, 0, 0, 0xC3, 0xC2, 0x04, 0x00},
     U,
     0,
     "it returns both",
     {}},
};

TEST(CallAnalysis, FollowsEveryPathToItsReturn) {
    for (const AnalysisCase& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> entries = c.otherEntries;
        entries.push_back(kCodeRva);
        std::sort(entries.begin(), entries.end());
        CodeAnalysis analysis;
        const ConventionFinding finding =
            FindConvention(CodeImageOf(c.code, entries), &analysis, kCodeRva);
        EXPECT_EQ(finding.kind, c.kind);
        EXPECT_EQ(finding.argumentBytes, c.argumentBytes);
        EXPECT_EQ(finding.reason.rfind(c.reason, 0), 0u) << finding.reason;
    }
}

// Past the DLL's instruction budget the code is unknown, and the reason names the budget; the
// code reached before, by another export, keeps its answer.
TEST(CallAnalysis, NamesTheInstructionBudget) {
    std::vector<unsigned char> code(3000, 0x90);
    code.push_back(0xC3);
    CodeImage image = CodeImageOf(code, {kCodeRva, kCodeRva + 2000});
    CodeAnalysis analysis;
    image.instructionBudget = 2000;
    EXPECT_EQ(FindConvention(image, &analysis, kCodeRva + 2000).kind, ConventionKind::PlainReturn);
    const ConventionFinding late = FindConvention(image, &analysis, kCodeRva);
    EXPECT_EQ(late.kind, ConventionKind::Unknown);
    EXPECT_EQ(late.reason, "it has more code than the 2000 instructions followed in this DLL");
    EXPECT_EQ(FindConvention(image, &analysis, kCodeRva + 2000).kind, ConventionKind::PlainReturn);
}

// A table of 256 entries indexed by a byte load, every case ret 4.
// Visual C++ 6's two-level switch: the byte table is read into the low byte of a register
// cleared first, not by movzx; the jump table's bound is the byte table's largest entry.
TEST(CallAnalysis, BoundsATableByAByteLoadedIntoAClearedRegister) {
    const std::vector<unsigned char> code = {
        0x8B, 0x44, 0x24, 0x04,                         // mov eax, [esp+4]
        0x83, 0xF8, 0x02, 0x77, 0x0F,                   // cmp eax, 2; ja default
        0x33, 0xC9,                                     // xor ecx, ecx
        0x8A, 0x88, 0x2C, 0x10, 0x00, 0x10,             // mov cl, [T2+eax]
        0xFF, 0x24, 0x8D, 0x24, 0x10, 0x00, 0x10,       // jmp [T1+ecx*4]
        0xC2, 0x04, 0x00,                               // default: ret 4
        0xC2, 0x04, 0x00,                               // case 0: ret 4
        0xC2, 0x04, 0x00,                               // case 1: ret 4
        0xCC, 0xCC, 0xCC,                               // padding
        0x1B, 0x10, 0x00, 0x10, 0x1E, 0x10, 0x00, 0x10, // T1: case 0, case 1
        0x00, 0x01, 0x00, 0x00};                        // T2, then what T1 would run into
    CodeAnalysis analysis;
    const ConventionFinding finding =
        FindConvention(CodeImageOf(code, {kCodeRva}), &analysis, kCodeRva);
    EXPECT_EQ(finding.kind, ConventionKind::Stdcall) << finding.reason;
    EXPECT_EQ(finding.argumentBytes, 4u);
}

// The byte table is read through the index before the compiler took 1 from it (lea eax,
// [ecx-1]; cmp eax, 2; movzx eax, byte [ecx + T2 - 1]): the compare bounds the jump table only
// as a guess, so it ends where an entry is no code, at the byte table laid after it.
TEST(CallAnalysis, EndsAGuessedTableAtAnEntryThatIsNoCode) {
    const std::vector<unsigned char> code = {
        0x8B, 0x4C, 0x24, 0x04,                         // mov ecx, [esp+4]
        0x8D, 0x41, 0xFF,                               // lea eax, [ecx-1]
        0x83, 0xF8, 0x02, 0x77, 0x0E,                   // cmp eax, 2; ja default
        0x0F, 0xB6, 0x81, 0x27, 0x10, 0x00, 0x10,       // movzx eax, byte [ecx + T2 - 1]
        0xFF, 0x24, 0x85, 0x20, 0x10, 0x00, 0x10,       // jmp [T1+eax*4]
        0xC2, 0x04, 0x00,                               // default, case 0: ret 4
        0xC2, 0x04, 0x00,                               // case 1: ret 4
        0x1A, 0x10, 0x00, 0x10, 0x1D, 0x10, 0x00, 0x10, // T1: case 0, case 1
        0x00, 0x01, 0x00, 0x00};                        // T2
    CodeImage image = CodeImageOf(code, {kCodeRva});
    image.codeStart = kCodeRva;
    image.codeEnd = kCodeRva + static_cast<uint32_t>(code.size());
    CodeAnalysis analysis;
    const ConventionFinding finding = FindConvention(image, &analysis, kCodeRva);
    EXPECT_EQ(finding.kind, ConventionKind::Stdcall) << finding.reason;
    EXPECT_EQ(finding.argumentBytes, 4u);
}

TEST(CallAnalysis, BoundsATableByAByteLoad) {
    std::vector<unsigned char> code = {0x0F, 0xB6, 0x44, 0x24, 0x04, // movzx eax, byte [esp+4]
                                       0xFF, 0x24, 0x85, 0x10, 0x10, 0x00,
                                       0x10, 0xCC, 0xC2, 0x04, 0x00};
    for (int i = 0; i < 256; ++i) {
        code.insert(code.end(), {0x0D, 0x10, 0x00, 0x10});
    }
    code.insert(code.end(), {0x00, 0x00, 0x00, 0x00}); // entry 256: no code
    CodeAnalysis analysis;
    const ConventionFinding finding =
        FindConvention(CodeImageOf(code, {kCodeRva}), &analysis, kCodeRva);
    EXPECT_EQ(finding.kind, ConventionKind::Stdcall) << finding.reason;
    EXPECT_EQ(finding.argumentBytes, 4u);
}

} // namespace
