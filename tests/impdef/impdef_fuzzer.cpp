// libFuzzer target: the PE reader, the export table reader, the analysis of the exports' code
// and the .def writer on any bytes.

#include "def_writer.h"
#include "export_conventions.h"
#include "file_code_image.h"
#include "export_table.h"
#include "pe_image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView file{data, size};
    PeImage image{};
    ExportTable table;
    std::string error;
    if (!ParsePeImage(file, &image, &error) || !ReadExportTable(file, image, &table, &error)) {
        return 0;
    }
    const std::vector<ConventionFinding> calls =
        FindExportConventions(table, FileCodeImage(file, image, table));
    WriteDef(table, calls, "fuzz.dll", "X86", false);
    WriteDef(table, calls, "fuzz.dll", "X64", true);
    CountExports(table, calls);
    return 0;
}
