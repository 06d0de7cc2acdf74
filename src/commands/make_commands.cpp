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

// True when the tool lies beside the program; otherwise the user is told and false returned.
bool ToolIsThere(DialogHandle dialog, const AnsiText& toolPath, const char* missingText) {
    if (FileExists(toolPath))
        return true;
    MessageBoxA(dialog, missingText, kToolMissingCaption, MB_OK | MB_ICONWARNING);
    return false;
}

} // namespace

void MakeDefFile(DialogHandle dialog) {
    AnsiText toolPath = GetProgramDir() + kImpdefToolName;
    if (!ToolIsThere(dialog, toolPath, kImpdefMissingText))
        return;
    AnsiText dllPath;
    if (!ChooseFile(dialog, dllPath, kDllFilter))
        return;
    SetDlgItemTextA(dialog, IDC_DLL_PATH, dllPath.c_str());
    AnsiText defPath = DeriveDefPath(dllPath);
    bool namesOnly = IsDlgButtonChecked(dialog, IDC_NAMES_ONLY) != BST_UNCHECKED;
    CommandLine commandLine = BuildImpdefCommand(toolPath, dllPath, defPath, namesOnly);
    AppendLogLine(dialog, "");
    RunTool(dialog, commandLine);
}

void MakeLibFile(DialogHandle dialog) {
    AnsiText toolPath = GetProgramDir() + kLibToolName;
    if (!ToolIsThere(dialog, toolPath, kLibMissingText))
        return;
    AnsiText defPath;
    if (!ChooseFile(dialog, defPath, kDefFilter))
        return;
    SetDlgItemTextA(dialog, IDC_DEF_PATH, defPath.c_str());
    AppendLogLine(dialog, "");
    RunTool(dialog, BuildLibCommand(toolPath, defPath));
}
