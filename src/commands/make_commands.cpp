#include "commands/make_commands.h"

#include "commands/command_lines.h"
#include "resource_ids.h"
#include "runner/run_tool.h"
#include "ui/file_chooser.h"
#include "ui/output_log.h"

namespace {

constexpr char kToolMissingCaption[] = "Exefile not found";
constexpr char kImpdefMissingText[] = "qen_impdef工具在同目录下没找到!";
constexpr char kLibMissingText[] = "Lib工具在同目录下没找到!";

constexpr char kUnsupportedCaption[] = "不支持的文件";
constexpr char kUnsupportedText[] =
    "\n\nMorvane 只接受 DLL（*.dll、*.ocx、*.drv、*.cpl、*.exe）和模块定义文件（*.def）。";

// The tool's path when it lies beside the program; otherwise the user is told and false returned.
bool FindTool(DialogHandle dialog, const char* toolName, const char* missingText,
              AnsiText& toolPath) {
    toolPath = GetProgramDir() + toolName;
    if (FileExists(toolPath))
        return true;
    MessageBoxA(dialog, missingText, kToolMissingCaption, MB_OK | MB_ICONWARNING);
    return false;
}

// A run that could not start has told the user why, and the command ends either way: its
// result asks for nothing more.
void Run(DialogHandle dialog, const CommandLine& commandLine) {
    static_cast<void>(RunTool(dialog, commandLine));
}

void RunImpdef(DialogHandle dialog, const AnsiText& toolPath, const AnsiText& dllPath) {
    SetDlgItemTextA(dialog, IDC_DLL_PATH, dllPath.c_str());
    AnsiText defPath = DeriveDefPath(dllPath);
    bool namesOnly = IsDlgButtonChecked(dialog, IDC_NAMES_ONLY) != BST_UNCHECKED;
    CommandLine commandLine = BuildImpdefCommand(toolPath, dllPath, defPath, namesOnly);
    AppendLogLine(dialog, "");
    Run(dialog, commandLine);
}

void RunLib(DialogHandle dialog, const AnsiText& toolPath, const AnsiText& defPath) {
    SetDlgItemTextA(dialog, IDC_DEF_PATH, defPath.c_str());
    AppendLogLine(dialog, "");
    // The .def says which machine's library it gives: a 64-bit DLL's needs Lib told so.
    const char* machine = LibMachineOptionFor(ReadFileStart(defPath, kDefHeadSize));
    Run(dialog, BuildLibCommand(toolPath, defPath, machine));
}

bool IsFolder(const AnsiText& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeGivenFile(DialogHandle dialog, const AnsiText& path) {
    const FileKind kind = IsFolder(path) ? FileKind::Other : KindByName(path);
    if (kind == FileKind::Dll) {
        MakeDefFileFrom(dialog, path);
    } else if (kind == FileKind::Def) {
        MakeLibFileFrom(dialog, path);
    } else {
        const AnsiText text = path + kUnsupportedText;
        MessageBoxA(dialog, text.c_str(), kUnsupportedCaption, MB_OK | MB_ICONWARNING);
    }
}

std::vector<AnsiText> PathsOf(HDROP drop) {
    std::vector<AnsiText> paths(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < paths.size(); ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        paths[i].resize(length + 1);
        paths[i].resize(DragQueryFileA(drop, i, &paths[i][0], length + 1));
    }
    return paths;
}

} // namespace

AnsiText GetProgramDir() {
    char moduleFileName[MAX_PATH_SIZE];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), moduleFileName, MAX_PATH_SIZE);
    // A failed call writes nothing, and a cut name may lack its NUL: use neither.
    if (length == 0 || length >= MAX_PATH_SIZE)
        return AnsiText();
    return ProgramDirOf(AnsiText(moduleFileName, length));
}

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

void MakeGivenFiles(DialogHandle dialog, const std::vector<AnsiText>& paths) {
    for (const AnsiText& path : paths)
        MakeGivenFile(dialog, path);
}

void MakeDroppedFiles(DialogHandle dialog, HDROP drop) {
    // The paths are copied first, so the drop is released before the tools run.
    const std::vector<AnsiText> paths = PathsOf(drop);
    DragFinish(drop);
    MakeGivenFiles(dialog, paths);
}
