#pragma once
// The few file operations whose portable forms differ between Windows and POSIX.

#include <cstdint>
#include <cstdio>
#include <string>

// Opens a file for binary writing that must not exist yet; null if it does or on failure.
std::FILE* CreateNewFile(const std::string& path);

// Renames from over to, replacing an existing file. On failure reason says why.
bool RenameReplacing(const std::string& from, const std::string& to, std::string* reason);

// Moves the stream to offset bytes from the start; false on failure, with errno set.
bool SeekTo(std::FILE* file, uint64_t offset);

// The file's size, or -1 when the stream cannot tell; leaves the stream at the end.
long long FileSize(std::FILE* file);

// Where the last component of path starts: after the last '\' or '/' (or, on Windows, ':').
// On Windows the walk knows the double-byte characters of the ANSI code page, whose second byte
// may equal a backslash.
size_t FileNameStart(const std::string& path);
