#include "commands/dropped_files.h"

#include "commands/make_commands.h"
#include "commands/tool_paths.h"

namespace {

constexpr char kUnsupportedCaption[] = "不支持的文件";
constexpr char kUnsupportedText[] =
    "\n\nMorvane 只接受 DLL（*.dll、*.ocx、*.drv、*.cpl、*.exe）和模块定义文件（*.def）。";

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
