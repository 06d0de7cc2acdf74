#include "commands/tool_paths.h"

#include <windows.h>

AnsiText GetProgramDir() {
    char moduleFileName[MAX_PATH_SIZE];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), moduleFileName, MAX_PATH_SIZE);
    // A failed call writes nothing, and a cut name may lack its NUL: use neither.
    if (length == 0 || length >= MAX_PATH_SIZE)
        return AnsiText();
    return ProgramDirOf(AnsiText(moduleFileName, length));
}
