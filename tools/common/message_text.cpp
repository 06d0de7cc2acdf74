#include "message_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

std::string Reason() {
    return errno != 0 ? std::strerror(errno) : "unknown reason";
}

std::string ErrorLine(const char* tool, const std::string& message) {
    return std::string(tool) + ": error: " + message + "\n";
}

// Without snprintf, which would bring the runtime's whole printf into Lib.exe.
std::string Hex(uint32_t value) {
    char digits[8];
    char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    std::string text = "0x" + std::string(digits, static_cast<size_t>(end - digits));
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c == 'x' ? c : std::toupper(c); });
    return text;
}
