#pragma once
// Writing the .def so that the target is replaced only by a complete file, keeping what the
// user had there. Error texts name the file and the system's reason.

#include <functional>
#include <string>

constexpr const char* kBackupSuffix = ".bak";

// Hands each piece of the new text to the sink it is given.
using TextProducer = std::function<void(const std::function<void(const std::string&)>& sink)>;

// Writes the pieces to a new temporary file in the target's folder as they come, comparing them
// with what path holds, and renames the file over path. When path held something else, it is
// first copied to path.bak (replacing an older one, through a temporary file) and kept is set;
// a target that cannot be read is not kept. On failure the temporary file is gone and an
// existing target is as it was.
bool ReplaceKeepingBackup(const std::string& path, const TextProducer& produce, bool* kept,
                          std::string* error);
