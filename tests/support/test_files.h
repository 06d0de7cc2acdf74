// Files and folders for tests: the fake tool built beside the test programs, fresh temporary
// folders, and whole-file reads and writes.
#pragma once
#include <string>

// The fake tool that the tests copy under the real tools' names.
std::string FakeToolPath();

// A new empty folder under the temporary folder whose name starts with `name` (which may hold
// spaces and code-page-936 characters). RemoveProgramFolder removes it with its files.
std::string NewTempFolder(const std::string& name);

bool CopyTo(const std::string& from, const std::string& to);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
