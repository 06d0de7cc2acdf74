#pragma once
// A length decoder for 32-bit x86 code: how long each instruction is and, for the ones that
// change the flow of control, where it goes. Enough to follow a function to its returns; it
// does not say what the other instructions do.

#include <cstddef>
#include <cstdint>

enum class InsnFlow {
    Next,        // falls through to the next instruction
    Return,      // ret
    ReturnPop,   // ret imm16
    Jump,        // jmp rel
    Branch,      // jcc, loop, jcxz: the target or the next instruction
    Call,        // call rel; returns to the next instruction
    JumpTable,   // jmp [index*4 + table]
    JumpPointer, // jmp [address]: through an import or a function pointer
    JumpRegister,
    Stop,    // int3, hlt, ud2, int 29h: the path ends without returning
    FarFlow, // far jmp, far call, far ret, iret, syscall-like: nothing to follow
};

enum class InsnMap : uint8_t { OneByte, TwoByte, Other }; // Other: 0F38, 0F3A, VEX, EVEX

// A memory operand as its ModRM, SIB and displacement give it (32-bit addressing; with 16-bit
// addressing present, and no base or index said).
struct MemoryOperand {
    bool present = false;
    int base = -1; // -1: none
    int index = -1;
    int scale = 1;
    int32_t displacement = 0;
};

struct X86Insn {
    uint8_t length;
    InsnFlow flow;
    int32_t displacement;     // Jump, Branch, Call: target minus the next instruction's address
    uint16_t popBytes;        // ReturnPop
    uint32_t address;         // JumpTable: the table's address; JumpPointer: the pointer's
    bool comparesToImmediate; // cmp reg, imm: the bound of a following jump table
    uint32_t immediate;
    uint8_t opcodeAt; // where the opcode byte lies (after the prefixes)
    uint8_t modrmAt;  // where the ModRM byte lies; 0 when there is none
    // The ModRM fields, -1 without a ModRM byte; its memory operand when mod is not 3.
    int8_t mod, reg, rm;
    MemoryOperand memory;
    InsnMap map;    // which opcode map the opcode byte belongs to
    bool operand16; // a 0x66 prefix
    bool repeated;  // a rep (F3) or repne (F2) prefix
};

constexpr size_t kMaxInsnLength = 15;

// The little-endian value of the size bytes at `at` (at most 4).
uint32_t LittleEndian(const unsigned char* at, size_t size);

// Decodes the instruction at code[0]; available is how many bytes are there. False when the
// bytes are no valid instruction, or it runs past available or 15 bytes.
bool DecodeX86(const unsigned char* code, size_t available, X86Insn* insn);
