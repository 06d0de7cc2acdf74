#include "file_io.h"

#include "file_contents.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kCompareChunk = size_t(1) << 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Reason() {
    return std::strerror(errno);
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

} // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    return ReplaceFileContents(path, text.data(), text.size(), error);
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
    const auto copy = [&old, &path](std::FILE* file, std::string* copyError) {
        if (Copy(old.get(), file))
            return true;
        *copyError = "cannot keep '" + path + "' as a backup: " + Reason();
        return false;
    };
    if (!ReplaceFileByWriting(path + kBackupSuffix, copy, error)) {
        return false;
    }
    *kept = true;
    return true;
}
