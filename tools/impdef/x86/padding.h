#pragma once
// Alignment padding: nop in its forms, and lea or mov of a register to itself. It reads and
// sets nothing, and after a call that does not return it only fills the space to the next
// function.

#include "x86_decoder.h"

// bytes: the instruction's bytes, as decoded into insn.
bool IsPadding(const unsigned char* bytes, const X86Insn& insn);
