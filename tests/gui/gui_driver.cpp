#include "gui_driver.h"

#include <fstream>

namespace {

constexpr DWORD kPollIntervalMs = 5;

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool PutExtraFile(const std::string& folder, const ExtraFile& extra) {
    std::string target = folder + "\\" + extra.name;
    if (!extra.sourcePath.empty()) {
        return CopyFileA(extra.sourcePath.c_str(), target.c_str(), TRUE) != FALSE;
    }
    return WriteFileBytes(target, extra.contents);
}

struct DialogSearch {
    DWORD processId;
    HWND except;
    HWND found;
};

BOOL CALLBACK CheckTopLevelWindow(HWND window, LPARAM searchAddress) {
    auto* search = reinterpret_cast<DialogSearch*>(searchAddress);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || window == search->except || !IsWindowVisible(window) ||
        ClassNameOf(window) != "#32770") {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

} // namespace

std::string WindowsPathOf(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    return windowsPath;
}

std::string MakeProgramFolder(const std::string& exePath, const std::vector<ExtraFile>& extras) {
    char tempDir[MAX_PATH];
    if (GetTempPathA(MAX_PATH, tempDir) == 0) {
        return "";
    }
    std::string folder;
    for (int attempt = 0; folder.empty() && attempt < 100; ++attempt) {
        std::string candidate = std::string(tempDir) + "morvane-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount() + attempt);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            folder = candidate;
        }
    }
    if (folder.empty()) {
        return "";
    }
    bool ok = CopyFileA(exePath.c_str(), (folder + "\\" + FileNameOf(exePath)).c_str(), TRUE);
    for (const ExtraFile& extra : extras) {
        ok = ok && PutExtraFile(folder, extra);
    }
    if (!ok) {
        RemoveProgramFolder(folder);
        return "";
    }
    return folder;
}

bool RemoveProgramFolder(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    bool ok = true;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = RemoveProgramFolder(path) && ok;
            } else {
                ok = DeleteFileA(path.c_str()) && ok;
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    return RemoveDirectoryA(folder.c_str()) && ok;
}

bool StartProgram(const std::string& exePath, RunningProgram& program, DWORD timeoutMs) {
    return StartProgramWithFiles(exePath, {}, program, timeoutMs);
}

bool StartProgramWithFiles(const std::string& exePath, const std::vector<std::string>& files,
                           RunningProgram& program, DWORD timeoutMs) {
    std::string commandLine = "\"" + exePath + "\"";
    for (const std::string& file : files)
        commandLine += " \"" + file + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    program.process = info.hProcess;
    program.processId = info.dwProcessId;
    program.dialog = WaitForDialogOfProcess(program.processId, nullptr, timeoutMs);
    if (program.dialog == nullptr) {
        StopProgram(program);
        return false;
    }
    return true;
}

HWND FindDialogOfProcess(DWORD processId, HWND except) {
    DialogSearch search = {processId, except, nullptr};
    EnumWindows(CheckTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialogOfProcess(DWORD processId, HWND except, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindDialogOfProcess(processId, except);
        if (found != nullptr || GetTickCount() - start >= timeoutMs) {
            return found;
        }
        Sleep(kPollIntervalMs);
    }
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                     LRESULT* result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs,
                             &answer)) {
        return false;
    }
    if (result != nullptr) {
        *result = static_cast<LRESULT>(answer);
    }
    return true;
}

bool ReadWindowText(HWND window, std::string& text, DWORD timeoutMs) {
    LRESULT length = 0;
    if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, timeoutMs, &length)) {
        return false;
    }
    // The length may count more bytes than the text has; WM_GETTEXT says how many it copied.
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    LRESULT copied = 0;
    if (!SendWithTimeout(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]),
                         timeoutMs, &copied)) {
        return false;
    }
    text.assign(buffer.data(), static_cast<size_t>(copied));
    return true;
}

bool ReadControlText(HWND dialog, int controlId, std::string& text, DWORD timeoutMs) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr && ReadWindowText(control, text, timeoutMs);
}

std::string ClassNameOf(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool ListControls(HWND dialog, std::vector<ControlInfo>& controls, DWORD timeoutMs) {
    controls.clear();
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ControlInfo info = {child, GetDlgCtrlID(child), ClassNameOf(child), ""};
        if (!ReadWindowText(child, info.text, timeoutMs)) {
            return false;
        }
        controls.push_back(info);
    }
    return true;
}

bool SendCommand(HWND dialog, int controlId, int notification, DWORD timeoutMs) {
    return SendWithTimeout(dialog, WM_COMMAND, MAKEWPARAM(controlId, notification),
                           reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)), timeoutMs);
}

bool PostCommand(HWND dialog, int controlId, int notification) {
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, notification),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId))) != FALSE;
}

HWND FocusedWindowIn(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool IsRunning(const RunningProgram& program) {
    return program.process != nullptr && WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT;
}

bool WaitForExit(const RunningProgram& program, DWORD timeoutMs, DWORD& exitCode) {
    return program.process != nullptr &&
           WaitForSingleObject(program.process, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(program.process, &exitCode);
}

bool CloseAndWait(const RunningProgram& program, DWORD timeoutMs, DWORD& exitCode) {
    return PostMessageA(program.dialog, WM_CLOSE, 0, 0) &&
           WaitForExit(program, timeoutMs, exitCode);
}

void StopProgram(RunningProgram& program) {
    if (program.process != nullptr) {
        if (IsRunning(program)) {
            TerminateProcess(program.process, 1);
            WaitForSingleObject(program.process, kDefaultTimeoutMs);
        }
        CloseHandle(program.process);
    }
    program = RunningProgram();
}
