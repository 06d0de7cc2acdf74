#include "message_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string Reason() {
    return errno != 0 ? std::strerror(errno) : "unknown reason";
}

std::string ErrorLine(const char* tool, const std::string& message) {
    return std::string(tool) + ": error: " + message + "\n";
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}
