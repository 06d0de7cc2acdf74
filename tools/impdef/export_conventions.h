#pragma once
// The calling convention of each function a 32-bit DLL exports under an undecorated name,
// found in its code.

#include "code_image.h"
#include "convention_finding.h"
#include "export_table.h"

#include <vector>

// True for the entries whose code is examined: named, undecorated functions in the image.
bool NeedsConvention(const ExportEntry& entry);

// One finding per entry of the table (NotExamined for the others).
std::vector<ConventionFinding> FindExportConventions(const ExportTable& table,
                                                     const CodeImage& code);
