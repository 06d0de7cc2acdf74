#include "ui/file_chooser.h"

#include <windows.h>

#include <commdlg.h>

#include <cstddef>

// The record up to the members that Windows 2000 added: 76 bytes on 32-bit Windows, 136 on
// 64-bit Windows (the test twin).
static_assert(offsetof(OPENFILENAMEA, pvReserved) == (sizeof(void*) == 4 ? 76 : 136),
              "the record before Windows 2000");

bool ChooseFile(DialogHandle owner, AnsiText& chosenPath, const char* filter) {
    char fileName[MAX_PATH_SIZE] = {};
    OPENFILENAMEA request = {};
    // The record as it was before Windows 2000 added its last three members.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = owner;
    request.lpstrFilter = filter;
    request.nFilterIndex = 0;
    request.lpstrFile = fileName;
    request.nMaxFile = MAX_PATH_SIZE;
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&request))
        return false;
    chosenPath = fileName;
    return true;
}
