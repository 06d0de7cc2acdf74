#pragma once
// A whole file read into memory, and a file replaced only by complete new contents. Failures
// carry the system's reason.

#include <cstdio>
#include <functional>
#include <string>

// Reads the file whole. On failure error says "cannot open the file: <reason>", "cannot read
// the file: <reason>" or that it is too large.
bool ReadFileContents(const std::string& path, std::string* text, std::string* error);

// Has write put the contents into a temporary file created new beside path (path.N.tmp, never
// one that exists), and renames it over path. On failure the temporary file is gone, an
// existing file at path is as it was, and error names the file and the reason. When write
// returns false, its message is the error; a failing stream gives "cannot write" with the
// reason.
bool ReplaceFileByWriting(const std::string& path,
                          const std::function<bool(std::FILE*, std::string*)>& write,
                          std::string* error);
