// Measures how long Morvane.exe takes from process start to its dialog being visible.
// startup_benchmark [RUNS]: starts the program RUNS times (default 10) from one program
// folder, closes it each time, and prints every time and their minimum, median and maximum.
// The dialog is looked for every 5 ms, which bounds the resolution.
#include "gui_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Returns the start-up time in milliseconds, or a negative number when the run failed.
double TimeOneStart(const std::string& exePath) {
    LARGE_INTEGER start, shown;
    QueryPerformanceCounter(&start);
    RunningProgram program;
    if (!StartProgram(exePath, program)) {
        return -1;
    }
    QueryPerformanceCounter(&shown);
    DWORD exitCode = 0;
    bool closed = CloseAndWait(program, kDefaultTimeoutMs, exitCode);
    StopProgram(program);
    return closed && exitCode == 0 ? Milliseconds(start, shown) : -1;
}

} // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    std::string folder = MakeProgramFolder(WindowsPathOf(MORVANE_EXE), {});
    if (folder.empty() || runs < 1) {
        std::fprintf(stderr, "cannot set up the program folder\n");
        return 1;
    }
    std::vector<double> times;
    for (int run = 1; run <= runs; ++run) {
        double ms = TimeOneStart(folder + "\\Morvane.exe");
        if (ms < 0) {
            std::fprintf(stderr, "run %d failed\n", run);
            RemoveProgramFolder(folder);
            return 1;
        }
        std::printf("run %2d: %7.1f ms\n", run, ms);
        times.push_back(ms);
    }
    RemoveProgramFolder(folder);
    std::sort(times.begin(), times.end());
    std::printf("runs %d: min %.1f ms, median %.1f ms, max %.1f ms\n", runs, times.front(),
                times[times.size() / 2], times.back());
    return 0;
}
