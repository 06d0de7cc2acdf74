#pragma once
// The code of a PE image as the analyses see it.

#include "byte_reader.h"
#include "code_image.h"
#include "export_table.h"
#include "pe_image.h"

// The code of an image held in memory (the whole file, or the parts of it that were read).
CodeImage FileCodeImage(ByteView file, const PeImage& image, const ExportTable& table);
