// The two console tools the program drives: their file names (appended to the program
// directory) and the option texts of their command lines.
#pragma once

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
