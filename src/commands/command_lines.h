// The two console tools the program drives: their file names (appended to the program
// directory), the files they work on, and the exact command lines handed to process creation
// to run them. Paths are code-page-936 text, searched character by character: the second byte
// of a double-byte character is never a separator.
#pragma once
#include "program_types.h"

constexpr char kImpdefToolName[] = "\\qen_impdef.exe";
constexpr char kLibToolName[] = "\\Lib.exe";

constexpr char kImpdefNamesOnlyOption[] = "-c";
constexpr char kImpdefOutputOption[] = "-o";
constexpr char kLibDefOption[] = "/DEF:";
// The program makes libraries for its own machine: x86. The 64-bit test twin asks for x64
// ones, so that the programs linked against them run where only 64-bit programs run.
#ifdef _WIN64
constexpr char kLibMachineOption[] = "/MACHINE:X64";
#else
constexpr char kLibMachineOption[] = "/MACHINE:IX86";
#endif

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

// "{tool}" "{dll}" -o "{def}", or with -c before -o when only names are wanted.
CommandLine BuildImpdefCommand(const AnsiText& toolPath, const AnsiText& dllPath,
                               const AnsiText& defPath, bool namesOnly);

// "{tool}" /DEF:"{def}" /MACHINE:IX86
CommandLine BuildLibCommand(const AnsiText& toolPath, const AnsiText& defPath);
