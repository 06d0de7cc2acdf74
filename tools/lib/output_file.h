#pragma once
// Writing a file so that readers never see it half written.
#include "byte_writer.h"

#include <string>

// Writes bytes to "path.tmp" and then renames that over path. On failure the temporary file
// is removed, an existing file at path is left as it was, and error says what went wrong.
bool WriteFileReplacing(const std::string& path, const Bytes& bytes, std::string* error);
