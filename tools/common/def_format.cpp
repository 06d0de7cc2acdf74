#include "def_format.h"

#include <algorithm>
#include <cstring>

namespace {

// In strcmp order.
constexpr const char* kKeywords[] = {
    "ALIGNCOMM",   "BASE",         "CODE",         "CONSTANT",   "DATA",     "DESCRIPTION",
    "DISCARDABLE", "EXECUTE",      "EXETYPE",      "EXPORTS",    "HEAPSIZE", "IMPORTS",
    "INITGLOBAL",  "INITINSTANCE", "LIBRARY",      "LOADONCALL", "MOVEABLE", "MULTIPLE",
    "NAME",        "NONAME",       "NONSHARED",    "PRELOAD",    "PRIVATE",  "PROTMODE",
    "READ",        "SECTIONS",     "SEGMENTS",     "SHARED",     "SINGLE",   "STACKSIZE",
    "STUB",        "TERMGLOBAL",   "TERMINSTANCE", "VERSION",    "WRITE",
};

bool IsControl(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

bool IsDefKeyword(std::string_view word) {
    // Every keyword is in capitals: most names are settled by their first letter.
    if (word.empty() || word[0] < 'A' || word[0] > 'Z') {
        return false;
    }
    const std::string text(word);
    return std::binary_search(std::begin(kKeywords), std::end(kKeywords), text.c_str(),
                              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

bool IsDefBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool EndsDefWord(char c) {
    return IsDefBlank(c) || c == ';' || c == '=' || c == '"';
}

std::string NameAsDefWord(const std::string& name) {
    const bool plain = !IsDefKeyword(name) && (name.empty() || name[0] != '@') &&
                       std::none_of(name.begin(), name.end(),
                                    [](char c) { return EndsDefWord(c) || c == ',' || c == '\''; });
    return plain ? name : "\"" + name + "\"";
}

bool CanWriteDefName(const std::string& name) {
    return !name.empty() && name.find('"') == std::string::npos &&
           std::none_of(name.begin(), name.end(), IsControl);
}
