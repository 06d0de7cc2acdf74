#pragma once
// An import library for a DLL from its .def file.
#include "byte_writer.h"
#include "def_file.h"
#include "machine.h"

#include <string>

// The archive for dllName: descriptor, NULL descriptor and NULL thunk objects, then one short
// import object per export that is not PRIVATE. Returns false with a message in error when
// the exports do not fit the format.
bool BuildImportLibrary(const DefFile& def, const std::string& dllName, Machine machine,
                        Bytes* library, std::string* error);
