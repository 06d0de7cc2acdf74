#pragma once
// Pieces of the tools' messages.

#include <cstdint>
#include <string>

// The system's reason for the last failure, from errno.
std::string Reason();

// 0x1A2B
std::string Hex(uint32_t value);
