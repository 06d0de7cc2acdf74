#include "file_io.h"

#include "file_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Larger files are no DLL anyone can load in a 32-bit process.
constexpr size_t kMaxFileSize = size_t(1) << 30;
constexpr size_t kReadChunk = size_t(1) << 20;
constexpr int kTempNameAttempts = 100;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Reason() {
    return std::strerror(errno);
}

bool WriteAndClose(std::FILE* file, const std::string& text) {
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

// The file's size as far as the stream can tell, or 0; only a hint for the first read,
// since a file may change while it is read and a directory has no meaningful size.
size_t FileSizeHint(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    const long size = std::ftell(file);
    std::rewind(file);
    return size > 0 && static_cast<unsigned long>(size) < kMaxFileSize ? static_cast<size_t>(size)
                                                                       : 0;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* error) {
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open (" + Reason() + ")";
        return false;
    }
    bytes->clear();
    // One byte more than the size, so that the first read alone shows the end of the file.
    size_t want = FileSizeHint(file.get()) + 1;
    for (;;) {
        const size_t used = bytes->size();
        if (used >= kMaxFileSize) {
            *error = "is too large for a DLL (over 1 GiB)";
            return false;
        }
        bytes->resize(used + want);
        errno = 0;
        const size_t got = std::fread(bytes->data() + used, 1, want, file.get());
        bytes->resize(used + got);
        if (got < want) {
            break;
        }
        want = kReadChunk;
    }
    if (std::ferror(file.get())) {
        *error = "cannot read (" + Reason() + ")";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    // The temporary file's name extends the target's, so it lies in the same folder.
    std::string temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < kTempNameAttempts && file == nullptr; ++attempt) {
        temp = path + "." + std::to_string(attempt) + ".tmp";
        errno = 0;
        file = CreateNewFile(temp);
        if (file == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (file == nullptr) {
        *error = "cannot write (" + Reason() + ")";
        return false;
    }
    if (!WriteAndClose(file, text)) {
        *error = "cannot write (" + Reason() + ")";
        std::remove(temp.c_str());
        return false;
    }
    std::string reason;
    if (!RenameReplacing(temp, path, &reason)) {
        *error = "cannot write (" + reason + ")";
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
