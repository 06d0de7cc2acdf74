#pragma once
// The few file operations whose portable forms differ between Windows and POSIX.

#include <cstdio>
#include <string>

// Opens a file for binary writing that must not exist yet; null if it does or on failure.
std::FILE* CreateNewFile(const std::string& path);

// Renames from over to, replacing an existing file. On failure reason says why.
bool RenameReplacing(const std::string& from, const std::string& to, std::string* reason);

// Where the last component of path starts: after the last '\' or '/' (or, on Windows, ':').
// On Windows the walk knows the double-byte characters of the ANSI code page, whose second byte
// may equal a backslash.
size_t FileNameStart(const std::string& path);
