#include "name_decoration.h"

#include <algorithm>
#include <cctype>

namespace {

// name@N: an '@' with something before it and only digits after.
bool HasArgumentSuffix(const std::string& name) {
    const size_t at = name.rfind('@');
    return at != std::string::npos && at > 0 && at + 1 < name.size() &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at) + 1, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

bool IsDecorated(const std::string& name) {
    return !name.empty() && (name[0] == '?' || name[0] == '@' || HasArgumentSuffix(name));
}

std::string StdcallName(const std::string& name, uint32_t argumentBytes) {
    return "_" + name + "@" + std::to_string(argumentBytes);
}
