// Lib: makes an import library from a module-definition file.
#include "lib_run.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#if defined(__MINGW32__)
// The C++ runtime's default handler for an uncaught exception names the exception's type
// through a C++ name demangler that would be a sixth of Lib.exe. main catches what Lib can
// throw (running out of memory), so the handler has nothing to say.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
#endif

int main(int argc, char** argv) {
    std::string out;
    std::string err;
    int code = 1;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        code = RunLib(args, &out, &err);
    } catch (const std::bad_alloc&) {
        err += "Lib: error: out of memory\n";
    }
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(err.c_str(), stderr);
    return code;
}
