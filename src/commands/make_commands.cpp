#include "commands/make_commands.h"

// Not written yet: the buttons do nothing.
void MakeDefFile(DialogHandle) {}
void MakeLibFile(DialogHandle) {}
