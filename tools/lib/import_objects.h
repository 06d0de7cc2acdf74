#pragma once
// The objects of an import library: three that describe the DLL (its import descriptor, the
// NULL import descriptor that ends the import directory, the NULL thunk that ends the DLL's
// address tables) and one short import object per export.
#include "byte_writer.h"
#include "import_names.h"
#include "machine.h"

#include <string>

// The DLL name without its extension, as the descriptor's symbol names use it.
std::string DllStem(const std::string& dllName);
std::string ImportDescriptorSymbol(const std::string& dllName);
std::string NullThunkSymbol(const std::string& dllName);
extern const char* const kNullImportDescriptorSymbol;

Bytes MakeImportDescriptorObject(const std::string& dllName, Machine machine);
Bytes MakeNullImportDescriptorObject(Machine machine);
Bytes MakeNullThunkObject(const std::string& dllName, Machine machine);
// An object that makes alias a weak external standing for target.
Bytes MakeWeakAliasObject(const std::string& alias, const std::string& target, Machine machine);
// Appends the short import object of entry to out.
void PutShortImportObject(Bytes& out, const ImportEntry& entry, const std::string& dllName,
                          Machine machine);
