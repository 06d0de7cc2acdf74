// Lib: makes an import library from a module-definition file.
#include "lib_run.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunLib(args, std::cout, std::cerr);
}
