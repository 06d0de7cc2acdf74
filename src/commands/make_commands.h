// The two button commands: DLL to .def through the definition tool, .def to import library
// through Lib.exe.
#pragma once
#include "morvane.h"

void MakeDefFile(DialogHandle dialog);
void MakeLibFile(DialogHandle dialog);
