// The two console tools the program drives: their file names (appended to the program
// directory) and the option texts of their command lines.
#pragma once

constexpr char kImpdefToolName[] = "\\qen_impdef.exe";
constexpr char kLibToolName[] = "\\Lib.exe";

constexpr char kImpdefNamesOnlyOption[] = "-c";
constexpr char kImpdefOutputOption[] = "-o";
constexpr char kLibDefOption[] = "/DEF:";
constexpr char kLibMachineOption[] = "/MACHINE:IX86";
