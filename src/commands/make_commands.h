// The two button commands: DLL to .def through the definition tool, .def to import library
// through Lib.exe. Each has a part that asks for the file and a part that runs on a file
// already known (dropped on the window or named on the command line).
#pragma once
#include "morvane.h"

// The buttons: the tool is looked for, then the user chooses the file in the open-file dialog.
void MakeDefFile(DialogHandle dialog);
void MakeLibFile(DialogHandle dialog);

// The same runs on a given file, as if the chooser had returned it.
void MakeDefFileFrom(DialogHandle dialog, const AnsiText& dllPath);
void MakeLibFileFrom(DialogHandle dialog, const AnsiText& defPath);
