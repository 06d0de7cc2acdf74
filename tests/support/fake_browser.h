// A fake iexplore.exe in the system folder of the test prefix (the shell looks there first).
// It appends each command line it gets, with a LF, to the file FakeBrowserRecord() names.
#pragma once
#include <string>

// Puts the fake in place (keeping the prefix's own browser aside) with an empty record.
bool InstallFakeBrowser();
// Puts the prefix's own browser back.
void RemoveFakeBrowser();
std::string FakeBrowserRecord();

// The arguments of a recorded command line: what follows the program's own (maybe quoted) name.
std::string ArgumentsOf(const std::string& commandLine);
