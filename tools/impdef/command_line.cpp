#include "command_line.h"

#include "tool_version.h"

namespace {

CommandOptions UsageError(const std::string& error) {
    CommandOptions options{CommandAction::UsageError, "", "", false, false, error};
    return options;
}

} // namespace

CommandOptions ParseCommandLine(const std::vector<std::string>& args) {
    CommandOptions options{CommandAction::Convert, "", "", false, false, ""};
    bool haveOutput = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.action = CommandAction::Help;
            return options;
        }
        if (arg == "--version") {
            options.action = CommandAction::Version;
            return options;
        }
        if (arg == "-c") {
            options.namesOnly = true;
        } else if (arg == "-n") {
            options.asExported = true;
        } else if (arg == "-o") {
            if (i + 1 == args.size()) {
                return UsageError("-o needs the path of the .def file");
            }
            if (haveOutput) {
                return UsageError("-o given twice");
            }
            options.defPath = args[++i];
            haveOutput = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (!options.dllPath.empty()) {
            return UsageError("more than one DLL given: " + arg);
        } else {
            options.dllPath = arg;
        }
    }
    if (options.dllPath.empty()) {
        return UsageError("no DLL given");
    }
    if (!haveOutput || options.defPath.empty()) {
        return UsageError("no .def file given (-o)");
    }
    return options;
}

std::string UsageText() {
    return std::string("usage: ") + kToolName +
           " DLL [-c] [-n] -o DEF\n"
           "Writes the export table of DLL as a module-definition file DEF.\n"
           "  -o DEF     the .def file to write, - for standard output (replaced only when\n"
           "             complete; a changed one is kept as DEF.bak)\n"
           "  -c         names only: no ordinals, and exports without a name left out\n"
           "  -n         names exactly as exported, without stdcall decorations\n"
           "  -h, --help     show this text\n"
           "  --version      show the version\n"
           "For a 32-bit DLL, an undecorated export whose code returns with ret N is stdcall:\n"
           "it is written _name@N @ordinal (with -c a comment gives _name@N). Check the\n"
           "lines marked unknown.\n";
}
