#pragma once
// The decorations of 32-bit C and C++ export names: which names already carry one, and the
// name a Visual C++ caller links against for a stdcall function.

#include <cstdint>
#include <string>

// True for _name@N, name@N, @name@N (fastcall), name@@N (vectorcall) and ?name@@... (C++).
bool IsDecorated(const std::string& name);

// _name@N
std::string StdcallName(const std::string& name, uint32_t argumentBytes);
