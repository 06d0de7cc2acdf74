#pragma once
// An import library for a DLL from its .def file.
#include "byte_writer.h"
#include "def_file.h"
#include "machine.h"

#include <string>

// Writes the archive for dllName to sink: descriptor, NULL descriptor and NULL thunk objects,
// then one short import object per export that is not PRIVATE (and weak aliases for an
// "== importname" no name type can give). Returns false with a message in error, before
// writing anything, when there is nothing to import or the exports do not fit the format.
bool WriteImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        const ByteSink& sink, std::string* error);

// The same archive in memory.
bool BuildImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        Bytes* library, std::string* error);
