#include "commands/command_lines.h"

#include "commands/external_tools.h"

namespace {
AnsiText Quoted(const AnsiText& text) {
    return "\"" + text + "\"";
}
} // namespace

CommandLine BuildImpdefCommand(const AnsiText& toolPath, const AnsiText& dllPath,
                               const AnsiText& defPath, bool namesOnly) {
    CommandLine command = Quoted(toolPath) + " " + Quoted(dllPath) + " ";
    if (namesOnly)
        command += AnsiText(kImpdefNamesOnlyOption) + " ";
    return command + kImpdefOutputOption + " " + Quoted(defPath);
}

CommandLine BuildLibCommand(const AnsiText& toolPath, const AnsiText& defPath) {
    return Quoted(toolPath) + " " + kLibDefOption + Quoted(defPath) + " " + kLibMachineOption;
}
