#include "name_decoration.h"

namespace {

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// name@N: an '@' with something before it and only digits after.
bool HasArgumentSuffix(const std::string& name) {
    const size_t at = name.rfind('@');
    return at != std::string::npos && at > 0 && IsDigits(name.substr(at + 1));
}

// name@N, with a bare name holding no '@'; the bare name may start with a prefix character.
bool HasStdcallSuffix(const std::string& name, size_t bareStart) {
    const size_t at = name.rfind('@');
    return at != std::string::npos && at > bareStart && IsDigits(name.substr(at + 1)) &&
           name.find('@', bareStart) == at;
}

} // namespace

bool IsDecorated(const std::string& name) {
    return !name.empty() && (name[0] == '?' || name[0] == '@' || HasArgumentSuffix(name));
}

std::string StdcallName(const std::string& name, uint32_t argumentBytes) {
    return "_" + name + "@" + std::to_string(argumentBytes);
}

bool IsWrittenAsSymbol(const std::string& name) {
    if (name[0] == '?')
        return true;
    if (name[0] == '@' || name[0] == '_')
        return HasStdcallSuffix(name, 1);
    const size_t at = name.find("@@");
    return at != std::string::npos && at > 0 && IsDigits(name.substr(at + 2)) &&
           name.find('@') == at;
}
