#include "file_contents.h"

#include "file_handle.h"
#include "file_platform.h"
#include "message_text.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr size_t kReadChunk = size_t(1) << 20;
constexpr int kTempNameAttempts = 1000;
constexpr size_t kWriteBuffer = size_t(1) << 16;

// The file's size as far as the stream can tell, or 0: only a hint for the first read, since
// a file may change while it is read and a folder has no meaningful size.
size_t FileSizeHint(std::FILE* file) {
    const long long size = FileSize(file);
    std::rewind(file);
    return size > 0 && static_cast<uint64_t>(size) < kMaxFileSize ? static_cast<size_t>(size) : 0;
}

// Closes the file; false with errno set when it or an earlier write failed.
bool Close(std::FILE* file) {
    const bool failed = std::ferror(file) != 0;
    const int writeErrno = errno;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (failed)
        errno = writeErrno;
    return !failed && closed;
}

// A temporary file that did not exist before, beside path; null with errno set on failure.
std::FILE* CreateTemporaryBeside(const std::string& path, std::string* temporary) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        *temporary = path + "." + std::to_string(attempt) + ".tmp";
        errno = 0;
        std::FILE* file = CreateNewFile(*temporary);
        if (file != nullptr || errno != EEXIST)
            return file;
    }
    return nullptr;
}

} // namespace

bool ReadFileContents(const std::string& path, std::string* text, std::string* error) {
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open the file: " + Reason();
        return false;
    }
    text->clear();
    // One byte more than the size, so that the first read alone meets the end of the file.
    size_t want = FileSizeHint(file.get()) + 1;
    for (;;) {
        const size_t used = text->size();
        if (used >= kMaxFileSize) {
            *error = "the file is too large (1 GiB or more)";
            return false;
        }
        text->resize(used + want);
        errno = 0;
        const size_t got = std::fread(&(*text)[used], 1, want, file.get());
        text->resize(used + got);
        if (got < want)
            break;
        want = kReadChunk;
    }
    if (std::ferror(file.get())) {
        *error = "cannot read the file: " + Reason();
        return false;
    }
    return true;
}

bool ReplaceFileByWriting(const std::string& path,
                          const std::function<bool(std::FILE*, std::string*)>& write,
                          std::string* error) {
    std::string temporary;
    std::FILE* file = CreateTemporaryBeside(path, &temporary);
    if (file == nullptr) {
        *error = "cannot write '" + temporary + "': " + Reason();
        return false;
    }
    errno = 0;
    std::setvbuf(file, nullptr, _IOFBF, kWriteBuffer);
    bool written = false;
    try {
        written = write(file, error);
    } catch (...) { // out of memory: no temporary file left behind
        std::fclose(file);
        std::remove(temporary.c_str());
        throw;
    }
    if (!Close(file) || !written) {
        if (written)
            *error = "cannot write '" + temporary + "': " + Reason();
        std::remove(temporary.c_str());
        return false;
    }
    std::string reason;
    if (!RenameReplacing(temporary, path, &reason)) {
        *error = "cannot replace '" + path + "': " + reason;
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
