// The open-file dialog for a command's one input file.
#pragma once
#include "program_types.h"

// Filter texts: one description/pattern pair each, double-NUL-terminated.
constexpr char kDllFilter[] = "Dll文件 (*.dll)\0*.dll\0";
constexpr char kDefFilter[] = "声明文件 (*.def)\0*.def\0";

// Returns true and sets chosenPath when the user chose an existing file.
bool ChooseFile(DialogHandle owner, AnsiText& chosenPath, const char* filter);
