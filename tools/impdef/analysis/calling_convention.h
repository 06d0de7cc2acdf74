#pragma once
// The calling convention of a 32-bit function, from the analyses of its code: how its paths
// return (return_paths), and, for a stdcall one, whether it takes arguments in ECX or EDX
// (argument_registers), which makes it no stdcall function a C caller declares.

#include "code_image.h"
#include "convention_finding.h"
#include "return_paths.h"

#include <cstdint>

ConventionFinding FindConvention(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry);
