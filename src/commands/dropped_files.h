// Files handed to the program without its chooser: dropped on the window, or dropped on the
// program's icon, which starts the program with their paths on its command line.
#pragma once
#include "morvane.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

// Makes each file in the order given, as its button does once the chooser has returned it: a
// DLL goes to the definition tool, a .def to Lib. Any other file, or a folder, gets a warning
// box that names it, and the files after it still run.
void MakeGivenFiles(DialogHandle dialog, const std::vector<AnsiText>& paths);

// Reads the paths of a drop on the dialog, releases the drop and makes the files.
void MakeDroppedFiles(DialogHandle dialog, HDROP drop);
