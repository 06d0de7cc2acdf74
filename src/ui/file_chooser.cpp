#include "ui/file_chooser.h"

// Not written yet: nothing can be chosen.
bool ChooseFile(DialogHandle, AnsiText&, const char*) {
    return false;
}
