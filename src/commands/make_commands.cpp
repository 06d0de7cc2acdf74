#include "commands/make_commands.h"

#include "commands/command_lines.h"
#include "commands/external_tools.h"
#include "commands/tool_paths.h"
#include "runner/run_tool.h"
#include "ui/file_chooser.h"
#include "ui/output_log.h"

#include <windows.h>

namespace {

constexpr char kToolMissingCaption[] = "Exefile not found";
constexpr char kImpdefMissingText[] = "qen_impdef工具在同目录下没找到!";
constexpr char kLibMissingText[] = "Lib工具在同目录下没找到!";

// The tool's path when it lies beside the program; otherwise the user is told and false returned.
bool FindTool(DialogHandle dialog, const char* toolName, const char* missingText,
              AnsiText& toolPath) {
    toolPath = GetProgramDir() + toolName;
    if (FileExists(toolPath))
        return true;
    MessageBoxA(dialog, missingText, kToolMissingCaption, MB_OK | MB_ICONWARNING);
    return false;
}

void RunImpdef(DialogHandle dialog, const AnsiText& toolPath, const AnsiText& dllPath) {
    SetDlgItemTextA(dialog, IDC_DLL_PATH, dllPath.c_str());
    AnsiText defPath = DeriveDefPath(dllPath);
    bool namesOnly = IsDlgButtonChecked(dialog, IDC_NAMES_ONLY) != BST_UNCHECKED;
    CommandLine commandLine = BuildImpdefCommand(toolPath, dllPath, defPath, namesOnly);
    AppendLogLine(dialog, "");
    RunTool(dialog, commandLine);
}

void RunLib(DialogHandle dialog, const AnsiText& toolPath, const AnsiText& defPath) {
    SetDlgItemTextA(dialog, IDC_DEF_PATH, defPath.c_str());
    AppendLogLine(dialog, "");
    RunTool(dialog, BuildLibCommand(toolPath, defPath));
}

} // namespace

void MakeDefFile(DialogHandle dialog) {
    AnsiText toolPath;
    AnsiText dllPath;
    if (FindTool(dialog, kImpdefToolName, kImpdefMissingText, toolPath) &&
        ChooseFile(dialog, dllPath, kDllFilter))
        RunImpdef(dialog, toolPath, dllPath);
}

void MakeLibFile(DialogHandle dialog) {
    AnsiText toolPath;
    AnsiText defPath;
    if (FindTool(dialog, kLibToolName, kLibMissingText, toolPath) &&
        ChooseFile(dialog, defPath, kDefFilter))
        RunLib(dialog, toolPath, defPath);
}

void MakeDefFileFrom(DialogHandle dialog, const AnsiText& dllPath) {
    AnsiText toolPath;
    if (FindTool(dialog, kImpdefToolName, kImpdefMissingText, toolPath))
        RunImpdef(dialog, toolPath, dllPath);
}

void MakeLibFileFrom(DialogHandle dialog, const AnsiText& defPath) {
    AnsiText toolPath;
    if (FindTool(dialog, kLibToolName, kLibMissingText, toolPath))
        RunLib(dialog, toolPath, defPath);
}
