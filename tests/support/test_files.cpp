#include "test_files.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace {
std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

std::string OwnPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}
} // namespace

std::string FakeToolPath() {
    return FolderOf(OwnPath()) + "\\fake_tool.exe";
}

std::string NewTempFolder(const std::string& name) {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + " " + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(++counter);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool CopyTo(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
