#include "file_io.h"

#include "file_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// Larger files are no DLL anyone can load in a 32-bit process.
constexpr size_t kMaxFileSize = size_t(1) << 30;
constexpr size_t kReadChunk = size_t(1) << 20;
constexpr int kTempNameAttempts = 100;
constexpr size_t kCompareChunk = size_t(1) << 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Reason() {
    return std::strerror(errno);
}

bool FillAndClose(std::FILE* file, const std::function<bool(std::FILE*)>& fill) {
    const bool written = fill(file) && std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

// Compares the rest of a file with text; false on a read error.
bool ContentDiffers(std::FILE* file, const std::string& text, bool* differs) {
    std::vector<char> chunk(kCompareChunk);
    size_t at = 0;
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (got == 0) {
            *differs = at != text.size();
            return !std::ferror(file);
        }
        if (got > text.size() - at || text.compare(at, got, chunk.data(), got) != 0) {
            *differs = true;
            return true;
        }
        at += got;
    }
}

bool Copy(std::FILE* from, std::FILE* to) {
    std::vector<char> chunk(kCompareChunk);
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), from);
        if (got == 0) {
            return !std::ferror(from);
        }
        if (std::fwrite(chunk.data(), 1, got, to) != got) {
            return false;
        }
    }
}

// Writes a new temporary file in path's folder through fill and renames it over path. On
// failure the temporary file is gone and an existing path is as it was.
bool ReplaceThroughTemp(const std::string& path, const std::function<bool(std::FILE*)>& fill,
                        std::string* error) {
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
    if (!FillAndClose(file, fill)) {
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
    return ReplaceThroughTemp(
        path,
        [&text](std::FILE* file) {
            return std::fwrite(text.data(), 1, text.size(), file) == text.size();
        },
        error);
}

bool KeepBackupIfChanged(const std::string& path, const std::string& text, bool* kept,
                         std::string* error) {
    *kept = false;
    FilePtr old(std::fopen(path.c_str(), "rb"));
    bool differs = false;
    // A target that cannot be read (none, or a folder) has nothing to keep; writing it will
    // say what is wrong.
    if (!old || !ContentDiffers(old.get(), text, &differs) || !differs) {
        return true;
    }
    std::rewind(old.get());
    if (!ReplaceThroughTemp(
            path + kBackupSuffix, [&old](std::FILE* file) { return Copy(old.get(), file); },
            error)) {
        return false;
    }
    *kept = true;
    return true;
}
