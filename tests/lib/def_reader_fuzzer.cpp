// Feeds arbitrary bytes to the .def reader and, when it accepts them, builds the library.
#include "def_file.h"
#include "import_library.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    DefFile def;
    std::string error;
    if (!ParseDefText(text, "fuzz.def", &def, &error))
        return 0;
    Bytes library;
    BuildImportLibrary(def, "fuzz.dll", Machine::X86, &library, &error);
    return 0;
}
