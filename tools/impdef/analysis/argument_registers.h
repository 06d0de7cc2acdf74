#pragma once
// Whether a function takes arguments in ECX or EDX, as fastcall and thiscall functions do: on
// the straight path from its entry (through jumps, past conditional branches, up to a call or
// a return), the values the two registers hold on entry must be read before the function sets
// them, and must reach a use. The values are followed through registers (each byte apart, so
// that a write of SI or CL leaves the rest) and through the slots of the stack frame: a copy,
// an overwritten part or a spill to the frame is no use yet; arithmetic, a compare, an address,
// a store elsewhere, a return value or an argument of the call that ends the path is.

#include "code_image.h"
#include "return_paths.h"

#include <cstdint>

// analysis: what the stack arguments of the functions it calls are (their returns).
bool ReadsArgumentRegisters(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry);
