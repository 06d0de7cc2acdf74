#include "commands/tool_paths.h"

#include <cstdio>

AnsiText ProgramDirOf(const AnsiText& moduleFileName) {
    size_t lastSlash = moduleFileName.rfind('\\');
    if (lastSlash == AnsiText::npos)
        return AnsiText();
    return moduleFileName.substr(0, lastSlash);
}

bool FileExists(const AnsiText& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

AnsiText DeriveDefPath(const AnsiText& dllPath) {
    // Only the last component may lose its extension: a dot in a folder name is never cut.
    size_t lastSlash = dllPath.rfind('\\');
    size_t nameStart = lastSlash == AnsiText::npos ? 0 : lastSlash + 1;
    size_t dot = dllPath.rfind('.');
    if (dot != AnsiText::npos && dot >= nameStart)
        return dllPath.substr(0, dot + 1) + "def";
    return dllPath + ".def";
}
