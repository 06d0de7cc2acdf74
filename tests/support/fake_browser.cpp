#include "fake_browser.h"

#include "test_files.h"

#include <windows.h>

namespace {
std::string BrowserPath() {
    char systemFolder[MAX_PATH];
    GetSystemDirectoryA(systemFolder, MAX_PATH);
    return std::string(systemFolder) + "\\iexplore.exe";
}

std::string KeptAsidePath() {
    return BrowserPath() + ".morvane-kept";
}
} // namespace

std::string FakeBrowserRecord() {
    return BrowserPath() + ".cmdline";
}

bool InstallFakeBrowser() {
    if (GetFileAttributesA(KeptAsidePath().c_str()) == INVALID_FILE_ATTRIBUTES)
        CopyTo(BrowserPath(), KeptAsidePath());
    DeleteFileA(FakeBrowserRecord().c_str());
    return CopyTo(FakeToolPath(), BrowserPath());
}

void RemoveFakeBrowser() {
    if (CopyTo(KeptAsidePath(), BrowserPath()))
        DeleteFileA(KeptAsidePath().c_str());
    DeleteFileA(FakeBrowserRecord().c_str());
    DeleteFileA((BrowserPath() + ".cwd").c_str());
}

std::string ArgumentsOf(const std::string& commandLine) {
    size_t nameEnd = commandLine[0] == '"' ? commandLine.find('"', 1) + 1 : commandLine.find(' ');
    size_t arguments = commandLine.find_first_not_of(' ', nameEnd);
    return arguments == std::string::npos ? "" : commandLine.substr(arguments);
}
