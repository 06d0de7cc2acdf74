// libFuzzer target: the PE reader, the export table reader and the .def writer on any bytes.

#include "def_writer.h"
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
    WriteDef(table, {}, "fuzz.dll", false);
    WriteDef(table, {}, "fuzz.dll", true);
    CountExports(table);
    return 0;
}
