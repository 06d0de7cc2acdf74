// Runs the whole library manager on arbitrary bytes as a .def file: the file is read from
// disk, and the first byte chooses the machine, so that both the x86 and the x64 naming and
// the library writing see every input the reader accepts.
#include "lib_run.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string ScratchPath(const char* extension) {
    return "/tmp/lib_run_fuzzer_" + std::to_string(getpid()) + extension;
}

const std::string& DefPath() {
    static const std::string path = ScratchPath(".def");
    return path;
}

void RemoveDefFile() {
    std::remove(DefPath().c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string& def = DefPath();
    static const std::string lib = ScratchPath(".lib");
    static const int removeAtExit = std::atexit(RemoveDefFile);
    (void)removeAtExit;
    std::FILE* file = std::fopen(def.c_str(), "wb");
    if (file == nullptr)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const bool x64 = size > 0 && (data[0] & 1) != 0;
    std::string out;
    std::string err;
    RunLib({"/NOLOGO", "/DEF:" + def, x64 ? "/MACHINE:X64" : "/MACHINE:X86", "/OUT:" + lib}, &out,
           &err);
    std::remove(lib.c_str());
    return 0;
}
