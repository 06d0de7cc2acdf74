#pragma once
// The general registers, numbered as x86 encodes them, and their sets as masks (bit n:
// register n), the one register vocabulary of the tool.

#include <cstdint>

enum Register : int { kEax, kEcx, kEdx, kEbx, kEsp, kEbp, kEsi, kEdi };

constexpr uint8_t RegisterMask(int reg) {
    return static_cast<uint8_t>(1u << reg);
}

// What a called function may change without saving it.
constexpr uint8_t kCallerSaved = RegisterMask(kEax) | RegisterMask(kEcx) | RegisterMask(kEdx);
// ECX and EDX: where fastcall and thiscall pass arguments.
constexpr uint8_t kArgumentRegisters = RegisterMask(kEcx) | RegisterMask(kEdx);
