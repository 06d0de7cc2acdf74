#include "commands/tool_paths.h"

#include <cstdio>

namespace {

// The position of the last `wanted` that stands as a character of its own in code-page-936
// text, or npos. A lead byte (0x81-0xFE) takes the next byte with it, and that trail byte may
// be 0x5C, the backslash: in "乗" (81 5C) it is no folder separator.
size_t FindLastCharacter(const AnsiText& text, char wanted) {
    size_t found = AnsiText::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x81 && byte <= 0xFE)
            ++i;
        else if (text[i] == wanted)
            found = i;
    }
    return found;
}

} // namespace

AnsiText ProgramDirOf(const AnsiText& moduleFileName) {
    size_t lastSlash = FindLastCharacter(moduleFileName, '\\');
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
    size_t lastSlash = FindLastCharacter(dllPath, '\\');
    size_t nameStart = lastSlash == AnsiText::npos ? 0 : lastSlash + 1;
    size_t dot = FindLastCharacter(dllPath, '.');
    if (dot != AnsiText::npos && dot >= nameStart)
        return dllPath.substr(0, dot + 1) + "def";
    return dllPath + ".def";
}
