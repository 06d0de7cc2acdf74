#include "commands/command_lines.h"

#include "def_machine_mark.h"

#include <cstdio>
#include <initializer_list>

namespace {

AnsiText Quoted(const AnsiText& text) {
    return "\"" + text + "\"";
}

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

// The position of the dot before the last path component's extension, or npos. A dot in a
// folder name is never taken.
size_t FindExtensionDot(const AnsiText& path) {
    size_t lastSlash = FindLastCharacter(path, '\\');
    size_t nameStart = lastSlash == AnsiText::npos ? 0 : lastSlash + 1;
    size_t dot = FindLastCharacter(path, '.');
    return dot != AnsiText::npos && dot >= nameStart ? dot : AnsiText::npos;
}

// The extension without its dot, with ASCII letters in lower case; empty without one. Lowering
// the second byte of a double-byte character is harmless: such an extension never matches one
// of the ASCII extensions it is compared with.
AnsiText LowerExtensionOf(const AnsiText& path) {
    size_t dot = FindExtensionDot(path);
    AnsiText extension = dot == AnsiText::npos ? AnsiText() : path.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

} // namespace

CommandLine BuildImpdefCommand(const AnsiText& toolPath, const AnsiText& dllPath,
                               const AnsiText& defPath, bool namesOnly) {
    CommandLine command = Quoted(toolPath) + " " + Quoted(dllPath) + " ";
    if (namesOnly)
        command += AnsiText(kImpdefNamesOnlyOption) + " ";
    return command + kImpdefOutputOption + " " + Quoted(defPath);
}

CommandLine BuildLibCommand(const AnsiText& toolPath, const AnsiText& defPath,
                            const char* machineOption) {
    return Quoted(toolPath) + " " + kLibDefOption + Quoted(defPath) + " " + machineOption;
}

const char* LibMachineOptionFor(const AnsiText& defHead) {
    // Any case, and AMD64 for X64, as Lib reads the mark.
    AnsiText machine = FindMachineMark(defHead).machineName;
    for (char& c : machine) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (machine == kMachineNameX64 || machine == "AMD64")
        return kLibMachineX64Option;
    if (machine == kMachineNameArm64)
        return kLibMachineArm64Option;
    return kLibMachineOption;
}

AnsiText ReadFileStart(const AnsiText& path, size_t maxSize) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return AnsiText();
    AnsiText text(maxSize, '\0');
    text.resize(std::fread(&text[0], 1, maxSize, file));
    std::fclose(file);
    return text;
}

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
    size_t dot = FindExtensionDot(dllPath);
    if (dot != AnsiText::npos)
        return dllPath.substr(0, dot + 1) + "def";
    return dllPath + ".def";
}

FileKind KindByName(const AnsiText& path) {
    const AnsiText extension = LowerExtensionOf(path);
    for (const char* dllExtension : {"dll", "ocx", "drv", "cpl", "exe"}) {
        if (extension == dllExtension)
            return FileKind::Dll;
    }
    return extension == "def" ? FileKind::Def : FileKind::Other;
}
