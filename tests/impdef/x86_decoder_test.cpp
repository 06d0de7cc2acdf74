#include "instruction.h"
#include "x86_decoder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

namespace {

struct DecodeCase {
    std::vector<unsigned char> bytes;
    size_t length; // 0: not an instruction
    InsnFlow flow;
    int32_t displacement; // or popBytes, the table or pointer address, the compared immediate
};

constexpr InsnFlow N = InsnFlow::Next;

// Lengths as llvm-mc disassembles the same bytes for i386.
const DecodeCase kCases[] = {
    {{0x55}, 1, N, 0},                                       // push ebp
    {{0x8B, 0xFF}, 2, N, 0},                                 // mov edi, edi
    {{0x83, 0xEC, 0x10}, 3, N, 0},                           // sub esp, 16
    {{0x81, 0xEC, 0, 1, 0, 0}, 6, N, 0},                     // sub esp, 256
    {{0x66, 0x81, 0xEC, 0, 1}, 5, N, 0},                     // sub sp, 256
    {{0x8B, 0x44, 0x24, 0x04}, 4, N, 0},                     // mov eax, [esp+4]
    {{0x8B, 0x84, 0x24, 0, 1, 0, 0}, 7, N, 0},               // mov eax, [esp+256]
    {{0x8B, 0x04, 0x85, 0, 0x10, 0, 0x10}, 7, N, 0},         // mov eax, [eax*4+disp32]
    {{0x8B, 0x05, 0, 0x10, 0, 0x10}, 6, N, 0},               // mov eax, [disp32]
    {{0x67, 0x8B, 0x46, 0x02}, 4, N, 0},                     // 16-bit addressing
    {{0xA1, 0, 0, 0, 0x10}, 5, N, 0},                        // mov eax, [moffs32]
    {{0x67, 0xA1, 0, 0x10}, 4, N, 0},                        // mov eax, [moffs16]
    {{0xC7, 0x45, 0xFC, 1, 0, 0, 0}, 7, N, 0},               // mov dword [ebp-4], 1
    {{0x66, 0xC7, 0x45, 0xFC, 1, 0}, 6, N, 0},               // mov word [ebp-4], 1
    {{0xF7, 0xC1, 1, 0, 0, 0}, 6, N, 0},                     // test ecx, 1
    {{0xF7, 0xD8}, 2, N, 0},                                 // neg eax
    {{0xF6, 0x45, 0x08, 0x01}, 4, N, 0},                     // test byte [ebp+8], 1
    {{0x0F, 0xB6, 0xC0}, 3, N, 0},                           // movzx eax, al
    {{0x66, 0x0F, 0x1F, 0x84, 0, 0, 0, 0, 0}, 9, N, 0},      // nop word [eax+eax]
    {{0x0F, 0xBA, 0xE0, 0x03}, 4, N, 0},                     // bt eax, 3
    {{0x66, 0x0F, 0x38, 0x00, 0xC1}, 5, N, 0},               // pshufb xmm0, xmm1
    {{0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6, N, 0},         // palignr xmm0, xmm1, 8
    {{0xC5, 0xF9, 0x6F, 0xC1}, 4, N, 0},                     // vmovdqa xmm0, xmm1
    {{0xC4, 0xE3, 0x79, 0x0F, 0xC1, 0x08}, 6, N, 0},         // vpalignr
    {{0xC5, 0xF8, 0x77}, 3, N, 0},                           // vzeroupper
    {{0xC5, 0x06}, 2, N, 0},                                 // lds eax, [esi]
    {{0x62, 0xF1, 0x7C, 0x48, 0x10, 0xC1}, 6, N, 0},         // vmovups zmm0, zmm1
    {{0xDD, 0x44, 0x24, 0x04}, 4, N, 0},                     // fld qword [esp+4]
    {{0xC8, 0x10, 0, 0}, 4, N, 0},                           // enter 16, 0
    {{0x6B, 0xC0, 0x0C}, 3, N, 0},                           // imul eax, eax, 12
    {{0x69, 0xC0, 0x0C, 0, 0, 0}, 6, N, 0},                  // imul eax, eax, 12 (imm32)
    {{0x66, 0x69, 0xC0, 0x0C, 0}, 5, N, 0},                  // imul ax, ax, 12 (imm16)
    {{0x69, 0x44, 0x24, 0x04, 0x0C, 0, 0, 0}, 8, N, 0},      // imul eax, [esp+4], 12
    {{0xCD, 0x2E}, 2, N, 0},                                 // int 2Eh
    {{0xFF, 0x15, 0, 0x20, 0, 0x10}, 6, N, 0},               // call [disp32]
    {{0xFF, 0xD0}, 2, N, 0},                                 // call eax
    {{0xC3}, 1, InsnFlow::Return, 0},                        // ret
    {{0xF3, 0xC3}, 2, InsnFlow::Return, 0},                  // rep ret
    {{0xC2, 0x08, 0x00}, 3, InsnFlow::ReturnPop, 8},         // ret 8
    {{0xEB, 0xFE}, 2, InsnFlow::Jump, -2},                   // jmp $
    {{0xE9, 0, 1, 0, 0}, 5, InsnFlow::Jump, 256},            // jmp rel32
    {{0x74, 0x05}, 2, InsnFlow::Branch, 5},                  // je
    {{0x3E, 0x74, 0x05}, 3, InsnFlow::Branch, 5},            // je, hinted
    {{0x0F, 0x84, 0x10, 0, 0, 0}, 6, InsnFlow::Branch, 16},  // je rel32
    {{0xE3, 0xFC}, 2, InsnFlow::Branch, -4},                 // jecxz
    {{0xE8, 0xFB, 0xFF, 0xFF, 0xFF}, 5, InsnFlow::Call, -5}, // call rel32
    {{0xFF, 0x25, 0, 0x20, 0, 0x10}, 6, InsnFlow::JumpPointer, 0x10002000}, // jmp [import]
    {{0xFF, 0x24, 0x85, 0, 0x30, 0, 0x10}, 7, InsnFlow::JumpTable, 0x10003000},
    {{0xFF, 0xE0}, 2, InsnFlow::JumpRegister, 0},             // jmp eax
    {{0xFF, 0x64, 0x24, 0x04}, 4, InsnFlow::JumpRegister, 0}, // jmp [esp+4]
    {{0xFF, 0x2D, 0, 0, 0, 0}, 6, InsnFlow::FarFlow, 0},      // jmp far [disp32]
    {{0x9A, 0, 0, 0, 0, 0x08, 0}, 7, InsnFlow::FarFlow, 0},   // call far
    {{0xCB}, 1, InsnFlow::FarFlow, 0},                        // retf
    {{0xCC}, 1, InsnFlow::Stop, 0},                           // int3
    {{0x0F, 0x0B}, 2, InsnFlow::Stop, 0},                     // ud2
    {{0xCD, 0x29}, 2, InsnFlow::Stop, 0},                     // int 29h
    {{0x83, 0xF8, 0x05}, 3, N, 5},                            // cmp eax, 5
    {{0x3D, 0, 1, 0, 0}, 5, N, 256},                          // cmp eax, 256
    {{0x83, 0xF9, 0xFF}, 3, N, -1},                           // cmp ecx, -1
    {{0x0F, 0x04}, 0, N, 0},                                  // invalid
    {{0xFF, 0xFF}, 0, N, 0},                                  // FF /7: undefined
    {{0xFF, 0xD8}, 0, N, 0},                                  // call far to a register
    {{0xFE, 0x10}, 0, N, 0},                                  // FE /2: undefined
    {{0xFE, 0xC8}, 2, N, 0},                                  // dec al
    {{0x8B}, 0, N, 0},                                        // ModRM missing
    {{0x8B, 0x84, 0x24, 0, 1}, 0, N, 0},                      // displacement cut short
    {{0xE8, 0, 0}, 0, N, 0},                                  // rel32 cut short
    {std::vector<unsigned char>(15, 0x66), 0, N, 0},          // prefixes only
    {{0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x81, 0xC0, 1,
      0},
     0,
     N,
     0}, // longer than 15 bytes
};

TEST(X86Decoder, GivesLengthAndFlowOfEachInstruction) {
    for (const DecodeCase& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        X86Insn insn{};
        const bool decoded = DecodeX86(c.bytes.data(), c.bytes.size(), &insn);
        ASSERT_EQ(decoded, c.length != 0);
        if (!decoded) {
            continue;
        }
        EXPECT_EQ(insn.length, c.length);
        EXPECT_EQ(insn.flow, c.flow);
        const uint32_t expected = static_cast<uint32_t>(c.displacement);
        switch (c.flow) {
        case InsnFlow::Jump:
        case InsnFlow::Branch:
        case InsnFlow::Call:
            EXPECT_EQ(insn.displacement, c.displacement);
            break;
        case InsnFlow::ReturnPop:
            EXPECT_EQ(insn.popBytes, expected);
            break;
        case InsnFlow::JumpTable:
        case InsnFlow::JumpPointer:
            EXPECT_EQ(insn.address, expected);
            break;
        default:
            EXPECT_EQ(insn.comparesToImmediate, c.displacement != 0);
            EXPECT_EQ(insn.immediate, expected);
        }
    }
}

// Every opcode's length with the operand bytes 44 24 04 (ModRM with SIB and disp8) and 0x11 on,
// as objdump --insn-width=16 disassembles them: -1 a prefix or escape, not decoded alone; 0 no
// instruction. Where objdump rejects a form the decoder's map gives a shape to, the decoder's
// length stands: D6 (salc); 0F 0F (3DNow!); forms objdump takes only with a register operand
// or a 66, F2 or F3 prefix (0F 50, 6C, 6D, 71 to 73, 7C, 7D, B8, C5, D0, D6, D7, E6, F0, F7) or
// with another reg field (0F BA /0, 0F C7 /0). mov to and from control and debug registers
// (0F 20 to 23) always take a register, which the decoder does not know: a system
// instruction, never in a DLL's code; 0F 24 and 0F 26 it rejects.
constexpr int8_t kOneByteLengths[256] = {
    4,  4, 4,  4,  2,  5,  1,  1,  4, 4, 4, 4, 2, 5, 1,  -1, // 0x
    4,  4, 4,  4,  2,  5,  1,  1,  4, 4, 4, 4, 2, 5, 1,  1,  // 1x
    4,  4, 4,  4,  2,  5,  -1, 1,  4, 4, 4, 4, 2, 5, -1, 1,  // 2x
    4,  4, 4,  4,  2,  5,  -1, 1,  4, 4, 4, 4, 2, 5, -1, 1,  // 3x
    1,  1, 1,  1,  1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 1,  1,  // 4x
    1,  1, 1,  1,  1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 1,  1,  // 5x
    1,  1, 4,  4,  -1, -1, -1, -1, 5, 8, 2, 5, 1, 1, 1,  1,  // 6x
    2,  2, 2,  2,  2,  2,  2,  2,  2, 2, 2, 2, 2, 2, 2,  2,  // 7x
    5,  8, 5,  5,  4,  4,  4,  4,  4, 4, 4, 4, 4, 4, 4,  4,  // 8x
    1,  1, 1,  1,  1,  1,  1,  1,  1, 1, 7, 1, 1, 1, 1,  1,  // 9x
    5,  5, 5,  5,  1,  1,  1,  1,  2, 5, 1, 1, 1, 1, 1,  1,  // Ax
    2,  2, 2,  2,  2,  2,  2,  2,  5, 5, 5, 5, 5, 5, 5,  5,  // Bx
    5,  5, 3,  1,  4,  4,  5,  8,  4, 1, 3, 1, 1, 2, 1,  1,  // Cx
    4,  4, 4,  4,  2,  2,  1,  1,  4, 4, 4, 4, 4, 4, 4,  4,  // Dx
    2,  2, 2,  2,  2,  2,  2,  2,  5, 5, 7, 2, 1, 1, 1,  1,  // Ex
    -1, 1, -1, -1, 1,  1,  5,  8,  1, 1, 1, 1, 1, 1, 4,  4,  // Fx
};
constexpr int8_t kTwoByteLengths[256] = {
    // after 0F
    5, 5, 5, 5, 0, 2, 2, 2, 2,  2, 0,  2, 0, 5, 2, 6, // 0x
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // 1x
    5, 5, 5, 5, 0, 0, 0, 0, 5,  5, 5,  5, 5, 5, 5, 5, // 2x
    2, 2, 2, 2, 2, 2, 0, 2, -1, 0, -1, 0, 0, 0, 0, 0, // 3x
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // 4x
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // 5x
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // 6x
    6, 6, 6, 6, 5, 5, 5, 2, 5,  5, 0,  0, 5, 5, 5, 5, // 7x
    6, 6, 6, 6, 6, 6, 6, 6, 6,  6, 6,  6, 6, 6, 6, 6, // 8x
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // 9x
    2, 2, 2, 5, 6, 5, 0, 0, 2,  2, 2,  5, 6, 5, 5, 5, // Ax
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 6,  5, 5, 5, 5, 5, // Bx
    5, 5, 6, 5, 6, 6, 6, 5, 2,  2, 2,  2, 2, 2, 2, 2, // Cx
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // Dx
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // Ex
    5, 5, 5, 5, 5, 5, 5, 5, 5,  5, 5,  5, 5, 5, 5, 5, // Fx
};

TEST(X86Decoder, GivesEveryOpcodeItsLength) {
    const unsigned char tail[] = {0x44, 0x24, 0x04, 0x11, 0x22, 0x33, 0x44,
                                  0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    for (int map = 0; map < 2; ++map) {
        for (int op = 0; op < 256; ++op) {
            const int expected = (map == 0 ? kOneByteLengths : kTwoByteLengths)[op];
            if (expected < 0) {
                continue;
            }
            std::vector<unsigned char> code;
            if (map == 1) {
                code.push_back(0x0F);
            }
            code.push_back(static_cast<unsigned char>(op));
            code.insert(code.end(), std::begin(tail), std::end(tail));
            X86Insn insn;
            const bool decoded = DecodeX86(code.data(), code.size(), &insn);
            EXPECT_EQ(decoded ? insn.length : 0, expected)
                << "opcode " << (map == 1 ? "0F " : "") << std::hex << op;
        }
    }
}

// The record DecodeInstruction fills: operands, memory, stack change and the classes the
// analyses ask about.
TEST(X86Decoder, FillsTheInstructionRecord) {
    struct Record {
        int opcode, reg, rm, operandSize;
        int base, index; // -2: no memory operand
        int32_t displacement;
        int32_t accessSize, pushed;
        int espArithmetic;
        int32_t groupImmediate;
        int stored;
        bool indirectCall, addressSizePrefix, padding;
    };
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        Record record;
    } cases[] = {
        {"push ebp", {0x55}, {0x55, -1, -1, 4, -2, -2, 0, 4, 4, -1, 0, 0, false, false, false}},
        {"sub esp, 8",
         {0x83, 0xEC, 0x08},
         {0x83, 5, 4, 4, -2, -2, 0, 4, 0, 5, 8, 0, false, false, false}},
        {"mov eax, [esp+ecx*4+8]",
         {0x8B, 0x44, 0x8C, 0x08},
         {0x8B, 0, -1, 4, 4, 1, 8, 4, 0, -1, 0, 0, false, false, false}},
        {"mov al, [ebx]",
         {0x8A, 0x03},
         {0x8A, 0, -1, 1, 3, -1, 0, 4, 0, -1, 0, 0, false, false, false}},
        {"add cx, 256",
         {0x66, 0x81, 0xC1, 0x00, 0x01},
         {0x81, 0, 1, 2, -2, -2, 0, 4, 0, -1, 0, 0, false, false, false}},
        {"fstp dword [esp]",
         {0xD9, 0x1C, 0x24},
         {0xD9, 3, -1, 4, 4, -1, 0, 10, 0, -1, 0, 4, false, false, false}},
        {"movss [ebp-4], xmm0",
         {0xF3, 0x0F, 0x11, 0x45, 0xFC},
         {0x111, 0, -1, 4, 5, -1, -4, 16, 0, -1, 0, 4, false, false, false}},
        {"call [0x10002000]",
         {0xFF, 0x15, 0x00, 0x20, 0x00, 0x10},
         {0xFF, 2, -1, 4, -1, -1, 0x10002000, 4, 0, -1, 0, 0, true, false, false}},
        {"pop dword [eax]",
         {0x8F, 0x00},
         {0x8F, 0, -1, 4, 0, -1, 0, 4, -4, -1, 0, 0, false, false, false}},
        {"lea ecx, [ecx+0]",
         {0x8D, 0x49, 0x00},
         {0x8D, 1, -1, 4, 1, -1, 0, 4, 0, -1, 0, 0, false, false, true}},
        {"mov eax, [bp+2], 16-bit addressing",
         {0x67, 0x8B, 0x46, 0x02},
         {0x8B, 0, -1, 4, -1, -1, 0, 4, 0, -1, 0, 0, false, true, false}}, // no base said
    };
    for (const auto& c : cases) {
        Instruction in;
        ASSERT_TRUE(DecodeInstruction(c.bytes.data(), c.bytes.size(), &in)) << c.what;
        const Record& r = c.record;
        EXPECT_EQ(in.opcode, r.opcode) << c.what;
        EXPECT_EQ(in.reg, r.reg) << c.what;
        EXPECT_EQ(in.rm, r.rm) << c.what;
        EXPECT_EQ(in.operandSize, r.operandSize) << c.what;
        EXPECT_EQ(in.memory.present, r.base != -2) << c.what;
        if (in.memory.present) {
            EXPECT_EQ(in.memory.base, r.base) << c.what;
            EXPECT_EQ(in.memory.index, r.index) << c.what;
            EXPECT_EQ(in.memory.displacement, r.displacement) << c.what;
        }
        EXPECT_EQ(in.accessSize, r.accessSize) << c.what;
        EXPECT_EQ(in.pushed, r.pushed) << c.what;
        EXPECT_EQ(in.espArithmetic, r.espArithmetic) << c.what;
        EXPECT_EQ(in.groupImmediate, r.groupImmediate) << c.what;
        EXPECT_EQ(in.storedWithoutReading, r.stored) << c.what;
        EXPECT_EQ(in.indirectCall, r.indirectCall) << c.what;
        EXPECT_EQ(in.addressSizePrefix, r.addressSizePrefix) << c.what;
        EXPECT_EQ(in.padding, r.padding) << c.what;
    }
}

} // namespace
