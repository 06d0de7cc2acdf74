#pragma once
// The calling convention of each function a 32-bit DLL exports under an undecorated name,
// found in its code.

#include "byte_reader.h"
#include "call_analysis.h"
#include "export_table.h"
#include "pe_image.h"

#include <vector>

// True for the entries whose code is examined: named, undecorated functions in the image.
bool NeedsCallFinding(const ExportEntry& entry);

// One finding per entry of the table (NotExamined for the others).
std::vector<CallFinding> FindExportCalls(const ExportTable& table, const CodeImage& code);

// The code of an image held in memory (the whole file, or the parts of it that were read).
CodeImage FileCodeImage(ByteView file, const PeImage& image, const ExportTable& table);
