#pragma once
// The decorations of 32-bit C and C++ names, by the same rules in both tools: which export
// names already carry one, the name a Visual C++ caller links against for a stdcall function
// (what qen_impdef writes), and the .def names that are that caller's symbol as written (what
// Lib reads).

#include <cstdint>
#include <string>

// True for _name@N, name@N, @name@N (fastcall), name@@N (vectorcall) and ?name@@... (C++).
bool IsDecorated(const std::string& name);

// _name@N
std::string StdcallName(const std::string& name, uint32_t argumentBytes);

// True for C++ (?...), fastcall (@name@N), vectorcall (name@@N) and stdcall given its
// underscore (_name@N), whose bare name holds no '@': a Visual C++ caller references them as
// written. name must not be empty.
bool IsWrittenAsSymbol(const std::string& name);
