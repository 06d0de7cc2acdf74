#include "lib_options.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Stores the value of an option that takes a file or DLL name; an empty one is unusable, and
// a second one would leave the user guessing which counts.
bool TakeValue(const std::string& option, const std::string& value, bool hasValue,
               std::string* target, std::string* error) {
    if (!hasValue || value.empty()) {
        *error = "option /" + option + " needs a value: /" + option + ":name";
        return false;
    }
    if (!target->empty()) {
        *error = "option /" + option + " given twice: '" + *target + "' and '" + value + "'";
        return false;
    }
    *target = value;
    return true;
}

// One option, without its leading '/' or '-'.
bool ParseOption(const std::string& text, LibOptions* options, std::vector<std::string>* warnings,
                 std::string* error) {
    const size_t colon = text.find(':');
    const std::string name = Upper(text.substr(0, colon));
    const bool hasValue = colon != std::string::npos;
    const std::string value = hasValue ? text.substr(colon + 1) : std::string();
    if (name == "DEF")
        return TakeValue(name, value, hasValue, &options->defPath, error);
    if (name == "OUT")
        return TakeValue(name, value, hasValue, &options->outPath, error);
    if (name == "NAME")
        return TakeValue(name, value, hasValue, &options->dllName, error);
    if (name == "MACHINE") {
        if (!ParseMachine(value, &options->machine)) {
            *error =
                "machine X86, IX86, I386, X64, AMD64 or ARM64 expected, but got '" + value + "'";
            return false;
        }
        options->machineGiven = true;
        return true;
    }
    if (name == "NOLOGO" && !hasValue) {
        options->noLogo = true;
        return true;
    }
    // --help as well, as Linux commands take it.
    if ((name == "?" || name == "HELP" || name == "-HELP") && !hasValue) {
        options->showHelp = true;
        return true;
    }
    warnings->push_back("unknown option '" + text + "' ignored");
    return true;
}

} // namespace

bool ParseMachine(const std::string& value, Machine* machine) {
    const std::string name = Upper(value);
    if (name == "X86" || name == "IX86" || name == "I386") {
        *machine = Machine::X86;
        return true;
    }
    if (name == "X64" || name == "AMD64") {
        *machine = Machine::X64;
        return true;
    }
    if (name == "ARM64") {
        *machine = Machine::Arm64;
        return true;
    }
    return false;
}

bool ParseLibOptions(const std::vector<std::string>& args, LibOptions* options,
                     std::vector<std::string>* warnings, std::string* error) {
    for (const std::string& arg : args) {
        if (arg.size() > 1 && (arg[0] == '/' || arg[0] == '-')) {
            if (!ParseOption(arg.substr(1), options, warnings, error))
                return false;
        } else {
            warnings->push_back("input file '" + arg + "' ignored: only /DEF input is supported");
        }
    }
    return true;
}
