// The two commands: DLL to .def through the definition tool, .def to import library through
// Lib.exe. Each runs from its button, which asks for the file, or on files handed to the
// program without its chooser: dropped on the window, or dropped on the program's icon, which
// starts the program with their paths on its command line.
#pragma once
#include "program_types.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

// The folder of the running executable, where the tools lie, without a trailing backslash;
// empty when the module file name cannot be had whole.
AnsiText GetProgramDir();

// The buttons: the tool is looked for, then the user chooses the file in the open-file dialog.
void MakeDefFile(DialogHandle dialog);
void MakeLibFile(DialogHandle dialog);

// The same runs on a given file, as if the chooser had returned it.
void MakeDefFileFrom(DialogHandle dialog, const AnsiText& dllPath);
void MakeLibFileFrom(DialogHandle dialog, const AnsiText& defPath);

// Makes each file in the order given, as its button does once the chooser has returned it: a
// DLL goes to the definition tool, a .def to Lib. Any other file, or a folder, gets a warning
// box that names it, and the files after it still run.
void MakeGivenFiles(DialogHandle dialog, const std::vector<AnsiText>& paths);

// Reads the paths of a drop on the dialog, releases the drop and makes the files.
void MakeDroppedFiles(DialogHandle dialog, HDROP drop);
