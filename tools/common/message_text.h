#pragma once
// Pieces of the tools' messages.

#include <cstdint>
#include <string>

// The system's reason for the last failure, from errno.
std::string Reason();

// The one form of both tools' errors, "tool: error: message\n", where a message about a file
// starts with "file: " or "file(line): ".
std::string ErrorLine(const char* tool, const std::string& message);

// 0x1A2B
std::string Hex(uint32_t value);
