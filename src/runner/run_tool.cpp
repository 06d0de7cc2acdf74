#include "runner/run_tool.h"

#include "runner/output_line_splitter.h"
#include "ui/output_log.h"

#include <windows.h>

// The records' sizes on 32-bit Windows, and on 64-bit Windows for the test twin.
static_assert(sizeof(SECURITY_ATTRIBUTES) == (sizeof(void*) == 4 ? 12 : 24), "the record");
static_assert(sizeof(STARTUPINFOA) == (sizeof(void*) == 4 ? 68 : 104), "the record");

namespace {

constexpr char kPipeErrorLine[] = "创建管道Pipe出错";
constexpr char kStartErrorCaption[] = "运行程序出错";

// The program's own start-up information with the child's output and error going to the
// pipe and its console window hidden.
STARTUPINFOA HiddenStartupWithOutputTo(HANDLE writeEnd) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return startup;
}

// Reads the pipe one byte at a time until every writer has closed it (or a read fails),
// putting each finished line into the log.
void CopyOutputToLog(DialogHandle dialog, HANDLE readEnd) {
    OutputLineSplitter splitter;
    splitter.sink = [dialog](const AnsiText& line) { AppendLogLine(dialog, line); };
    Start(splitter);
    char readBuffer[READ_BUFFER_SIZE] = {};
    DWORD bytesRead = 0;
    while (ReadFile(readEnd, readBuffer, 1, &bytesRead, nullptr)) {
        // A successful read may deliver nothing; the previous byte must not be fed again.
        if (bytesRead == 1)
            Feed(splitter, readBuffer[0]);
    }
    // The tool's last line may lack its line feed; it still belongs in the log.
    Finish(splitter);
}

} // namespace

int RunTool(DialogHandle dialog, CommandLine commandLine) {
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        AppendLogLine(dialog, kPipeErrorLine);
        return -1;
    }

    STARTUPINFOA startup = HiddenStartupWithOutputTo(writeEnd);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    // Only the child (and whatever inherits from it) may hold the write end from now on, so
    // that the pipe breaks when the last of them ends.
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        MessageBoxA(dialog, commandLine.c_str(), kStartErrorCaption, MB_ICONERROR);
        return -1;
    }

    CopyOutputToLog(dialog, readEnd);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return 0;
}
