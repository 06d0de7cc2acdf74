// Lib: makes an import library from a module-definition file.
#include "lib_run.h"

#include <cstdio>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const int code = RunLib(args, &out, &err);
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(err.c_str(), stderr);
    return code;
}
