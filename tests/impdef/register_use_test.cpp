#include "register_use.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct UseCase {
    std::vector<unsigned char> bytes;
    uint8_t reads;  // of ECX and EDX only
    uint8_t writes; // of ECX and EDX only
};

constexpr uint8_t C = RegisterMask(kEcx), D = RegisterMask(kEdx), CD = kArgumentRegisters;

const UseCase kCases[] = {
    {{0x8B, 0xC1}, C, 0},                    // mov eax, ecx
    {{0x8B, 0xCA}, D, C},                    // mov ecx, edx
    {{0x89, 0x11}, CD, 0},                   // mov [ecx], edx
    {{0x8B, 0x4C, 0x24, 0x04}, 0, C},        // mov ecx, [esp+4]
    {{0x8D, 0x4C, 0x24, 0x04}, 0, C},        // lea ecx, [esp+4]
    {{0x8B, 0x04, 0x91}, CD, 0},             // mov eax, [ecx+edx*4]
    {{0x33, 0xD2}, 0, D},                    // xor edx, edx
    {{0x19, 0xD2}, 0, D},                    // sbb edx, edx
    {{0x83, 0xCA, 0xFF}, 0, D},              // or edx, -1
    {{0x83, 0xE1, 0x00}, 0, C},              // and ecx, 0
    {{0x83, 0xCA, 0x01}, D, 0},              // or edx, 1
    {{0x03, 0xCA}, CD, C},                   // add ecx, edx
    {{0x39, 0xD1}, CD, 0},                   // cmp ecx, edx
    {{0x85, 0xC9}, C, 0},                    // test ecx, ecx
    {{0x51}, 0, 0},                          // push ecx: room on the stack
    {{0x59}, 0, C},                          // pop ecx
    {{0xBA, 1, 0, 0, 0}, 0, D},              // mov edx, 1
    {{0x0F, 0x94, 0xC2}, 0, D},              // sete dl
    {{0x0F, 0xB6, 0xC1}, C, 0},              // movzx eax, cl
    {{0x99}, 0, D},                          // cdq
    {{0xF7, 0xE1}, C, D},                    // mul ecx
    {{0xF7, 0xF1}, CD, 0},                   // div ecx
    {{0xD3, 0xE0}, C, 0},                    // shl eax, cl
    {{0xF3, 0xA5}, C, 0},                    // rep movsd
    {{0xA5}, 0, 0},                          // movsd
    {{0xFF, 0x15, 0, 0x20, 0, 0x10}, 0, CD}, // call [import]
    {{0xFF, 0xE1}, C, 0},                    // jmp ecx
    {{0x66, 0x0F, 0x6F, 0xC1}, 0, 0},        // movdqa xmm0, xmm1
    {{0xFE, 0xC1}, C, 0},                    // inc cl
    {{0x0F, 0xBC, 0xC1}, C, 0},              // bsf eax, ecx
    {{0x0F, 0xC1, 0x08}, C, 0},              // xadd [eax], ecx
    {{0x0F, 0xB1, 0x11}, CD, 0},             // cmpxchg [ecx], edx
    {{0x0F, 0xC7, 0x0F}, CD, 0},             // cmpxchg8b [edi]
    {{0x0F, 0xA2}, C, CD},                   // cpuid
};

TEST(RegisterUse, ShowsReadsAndWritesOfTheArgumentRegisters) {
    for (const UseCase& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        X86Insn insn{};
        ASSERT_TRUE(DecodeX86(c.bytes.data(), c.bytes.size(), &insn));
        const RegisterUse use = RegistersUsed(c.bytes.data(), insn);
        EXPECT_EQ(use.reads & CD, c.reads);
        EXPECT_EQ(use.writes & CD, c.writes);
    }
}

} // namespace
