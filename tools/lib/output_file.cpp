#include "output_file.h"

#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

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

// std::rename does not replace an existing file on Windows.
bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

bool WriteFileReplacing(const std::string& path, const Bytes& bytes, std::string* error) {
    const std::string temporary = path + ".tmp";
    if (!WriteAll(temporary, bytes)) {
        std::remove(temporary.c_str());
        *error = "cannot write '" + temporary + "'";
        return false;
    }
    if (!ReplaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        *error = "cannot replace '" + path + "'";
        return false;
    }
    return true;
}
