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
// x86, unless the .def says it is for a 64-bit DLL.
constexpr char kLibMachineOption[] = "/MACHINE:IX86";
constexpr char kLibMachineX64Option[] = "/MACHINE:X64";
constexpr char kLibMachineArm64Option[] = "/MACHINE:ARM64";
// As much of a .def as is read for its machine mark, which qen_impdef writes on its second line.
constexpr size_t kDefHeadSize = 65536;

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

// "{tool}" /DEF:"{def}" /MACHINE:IX86, or with the machine option given.
CommandLine BuildLibCommand(const AnsiText& toolPath, const AnsiText& defPath,
                            const char* machineOption = kLibMachineOption);

// The /MACHINE option for a .def whose first bytes are defHead: X64 or ARM64 where
// qen_impdef's machine mark says so (read as Lib reads it), IX86 for any other text (no mark,
// another machine, nothing read).
const char* LibMachineOptionFor(const AnsiText& defHead);

// Up to maxSize bytes from the start of the file; empty when it cannot be read.
AnsiText ReadFileStart(const AnsiText& path, size_t maxSize);
