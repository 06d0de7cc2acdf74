// Where the tools are and which files they work on. Paths are code-page-936 text, searched
// character by character: the second byte of a double-byte character is never a separator.
#pragma once
#include "morvane.h"

// The folder of the running executable, without a trailing backslash; empty when the module
// file name cannot be had whole.
AnsiText GetProgramDir();

// The folder part of a module file name: everything before its last backslash, or empty.
AnsiText ProgramDirOf(const AnsiText& moduleFileName);

// True when the file can be opened for reading.
bool FileExists(const AnsiText& path);

// The definition file's path for a DLL: the last path component's extension becomes "def".
AnsiText DeriveDefPath(const AnsiText& dllPath);

// What a file handed to the program is for, told by its extension with case ignored: a PE file
// that can export (.dll, .ocx, .drv, .cpl, .exe) goes to the definition tool, a .def to Lib.
enum class FileKind { Dll, Def, Other };
FileKind KindByName(const AnsiText& path);
