#pragma once
// Names the library manager derives when the command line does not give them. Path components
// are split as every tool splits them (FileNameStart): by '\' and '/', and on Windows by
// characters of the ANSI code page, so the second byte of a double-byte character is no '\'.

#include <string>

// The .def path with its extension replaced by ".lib" (or ".lib" appended when the file name
// has none): C:\x\foo.def gives C:\x\foo.lib.
std::string DefaultLibraryPath(const std::string& defPath);

// The DLL name an import library refers to: the given name with ".dll" added when it has no
// extension, or, when none is given, the .def file's base name with ".dll".
std::string DllNameFor(const std::string& givenName, const std::string& defPath);
