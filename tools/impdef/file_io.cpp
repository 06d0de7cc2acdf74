#include "file_io.h"

#include "file_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

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

} // namespace

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
