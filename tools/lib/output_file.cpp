#include "output_file.h"

#include "file_platform.h"

#include <cstdio>
#include <fstream>

namespace {

bool WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

} // namespace

bool WriteFileReplacing(const std::string& path, const Bytes& bytes, std::string* error) {
    const std::string temporary = path + ".tmp";
    if (!WriteAll(temporary, bytes)) {
        std::remove(temporary.c_str());
        *error = "cannot write '" + temporary + "'";
        return false;
    }
    std::string reason;
    if (!RenameReplacing(temporary, path, &reason)) {
        std::remove(temporary.c_str());
        *error = "cannot replace '" + path + "'";
        return false;
    }
    return true;
}
