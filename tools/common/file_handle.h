#pragma once
// A C stream that closes itself, and the largest file either tool reads.

#include <cstdint>
#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Larger input is none a 32-bit tool can hold, nor a DLL a 32-bit process can load.
constexpr uint64_t kMaxFileSize = uint64_t(1) << 30;
