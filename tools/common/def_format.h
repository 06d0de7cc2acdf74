#pragma once
// The words of a module-definition (.def) file, one vocabulary for the tool that writes it
// (qen_impdef) and the one that reads it (Lib). Keywords are case-sensitive; a quoted word is
// always a name.

#include <string>
#include <string_view>

constexpr const char kDefLibrary[] = "LIBRARY";
constexpr const char kDefExports[] = "EXPORTS";
constexpr const char kDefNoName[] = "NONAME";
constexpr const char kDefData[] = "DATA";
// entry == importname: the name the DLL exports, where the entry's own name is the symbol.
constexpr const char kDefImportName[] = "==";

// True for a keyword of Microsoft's, LLVM's or GNU's .def grammar.
bool IsDefKeyword(std::string_view word);

// True for the blanks between words.
bool IsDefBlank(char c);

// True for the characters that end an unquoted word: blanks, ';', '=' and '"'.
bool EndsDefWord(char c);

// The name as one word of a .def: quoted when it is a keyword, starts with '@' or holds a
// character that ends a word here or in another tool's grammar (',' and '\'').
std::string NameAsDefWord(const std::string& name);

// False for names no .def can carry, even quoted (empty, or holding a quote or control byte).
bool CanWriteDefName(const std::string& name);
