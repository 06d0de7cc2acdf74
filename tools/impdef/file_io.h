#pragma once
// Writing the .def so that the target is replaced only by a complete file, keeping what the
// user had there. Error texts name the file and the system's reason.

#include <string>

constexpr const char* kBackupSuffix = ".bak";

// Writes text to a new temporary file in the target's folder and renames it over the target.
// On failure the temporary file is gone and an existing target is as it was.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);

// When path holds something other than text, copies it to path.bak (replacing an older one,
// through a temporary file) and sets kept. A path that cannot be read is left alone.
bool KeepBackupIfChanged(const std::string& path, const std::string& text, bool* kept,
                         std::string* error);
