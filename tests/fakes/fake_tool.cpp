// Stands in for the definition tool, Lib.exe and the browser in tests. Its first argument picks
// what it prints; any other first argument (a real tool's command line) makes it append its
// whole command line and a LF to "<its own path>.cmdline", and its current folder and a LF to
// "<its own path>.cwd", then print the bytes of "<its own path>.out", if that file exists, and
// then wait as long as "<its own path>.hold" exists (20 s at most, then it says so).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

void Write(DWORD stdHandle, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stdHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

void Out(const std::string& bytes) {
    Write(STD_OUTPUT_HANDLE, bytes);
}
void Err(const std::string& bytes) {
    Write(STD_ERROR_HANDLE, bytes);
}

std::string OwnPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

void AppendLine(const std::string& path, const std::string& line) {
    std::ofstream(path, std::ios::binary | std::ios::app) << line << '\n';
}

int RecordAndReplay() {
    AppendLine(OwnPath() + ".cmdline", GetCommandLineA());
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    AppendLine(OwnPath() + ".cwd", folder);
    std::ifstream replay(OwnPath() + ".out", std::ios::binary);
    if (replay)
        Out(std::string(std::istreambuf_iterator<char>(replay), std::istreambuf_iterator<char>()));
    const std::string hold = OwnPath() + ".hold";
    for (int waited = 0; GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 20) {
        if (waited >= 20000) {
            Out("held too long\n");
            break;
        }
        Sleep(20);
    }
    return 0;
}

// Prints how it was started: the start-up flags, the show state and what waits on its standard
// input (read only when something does, so that a wrong handle cannot block it).
int ReportStartup() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    char input[64] = {};
    DWORD available = 0;
    DWORD read = 0;
    if (PeekNamedPipe(startup.hStdInput, nullptr, 0, nullptr, &available, nullptr) && available)
        ReadFile(startup.hStdInput, input, sizeof(input) - 1, &read, nullptr);
    char report[160];
    std::snprintf(report, sizeof(report), "flags %lx show %u stdin '%s'\n",
                  static_cast<unsigned long>(startup.dwFlags), startup.wShowWindow, input);
    Out(report);
    return 0;
}

// Leaves behind a process that holds the output pipe and writes into it after this one ended.
int StartLateGrandchild() {
    std::string command = "\"" + OwnPath() + "\" late_line";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 1;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    Out("tool done\n");
    return 0;
}

int PrintManyLines(int count) {
    const std::string line = std::string(59, 'b') + "\n";
    for (int i = 0; i < count; ++i)
        Out(line);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "crlf")
        Out("first\r\nsecond\r\n");
    else if (mode == "nul")
        Out(std::string("a\0b\n\0\0c\n", 8));
    else if (mode == "empty_writes") {
        // On Windows a zero-byte write reaches the reader as a successful read of nothing
        // (Wine's pipes drop it).
        Out("a");
        Out("");
        Out("b\n");
        Out("");
        Out("c\n");
    } else if (mode == "long")
        Out(std::string(5000, 'x') + "\nafter\n");
    else if (mode == "gbk")
        Out("已生成：导出函数表\n中文\n");
    else if (mode == "nothing")
        return 0;
    else if (mode == "no_final_lf")
        Out("first\nlast");
    else if (mode == "stderr") {
        Out("out 1\n");
        Err("err 2\n");
        Out("out 3\n");
        Err("err 4\n");
    } else if (mode == "error_exit") {
        Out("reading input\n");
        Err("error: no such file\n");
        return 3;
    } else if (mode == "grandchild")
        return StartLateGrandchild();
    else if (mode == "late_line") {
        Sleep(700);
        Out("grandchild line\n");
    } else if (mode == "startup")
        return ReportStartup();
    else if (mode == "many_lines")
        return PrintManyLines(10000);
    else
        return RecordAndReplay();
    return 0;
}
