// qen_impdef: writes a DLL's export table as a module-definition (.def) file.

#include "impdef_run.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end with LF alone, also on Windows.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const int code = RunImpdef(args, &out, &err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    std::fflush(stderr);
    return code;
}
