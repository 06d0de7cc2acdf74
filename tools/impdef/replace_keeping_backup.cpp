#include "replace_keeping_backup.h"

#include "file_contents.h"
#include "file_handle.h"
#include "message_text.h"

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kCopyChunk = size_t(1) << 16;

// What the target held, compared piece by piece with the new text.
struct OldTarget {
    FilePtr file; // null when there is none, or it cannot be read
    bool differs = false;
    std::string piece; // the old bytes matched against the newest piece
};

void Compare(OldTarget* old, const std::string& piece) {
    if (!old->file || old->differs) {
        return;
    }
    old->piece.resize(piece.size());
    const size_t got = std::fread(&old->piece[0], 1, piece.size(), old->file.get());
    old->differs = got != piece.size() || old->piece != piece;
    if (std::ferror(old->file.get())) {
        old->file.reset(); // a folder, or a failing disk: nothing to keep
    }
}

// After the last piece: whether the old file held more than the new text.
bool ChangedAtEnd(OldTarget* old) {
    if (!old->file) {
        return false;
    }
    if (!old->differs) {
        old->differs = std::fgetc(old->file.get()) != EOF;
    }
    return old->differs && !std::ferror(old->file.get());
}

bool Copy(std::FILE* from, std::FILE* to) {
    std::vector<char> chunk(kCopyChunk);
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

bool KeepAsBackup(const std::string& path, std::FILE* old, std::string* error) {
    std::rewind(old);
    const auto copy = [old, &path](std::FILE* file, std::string* copyError) {
        if (Copy(old, file))
            return true;
        *copyError = "cannot keep '" + path + "' as a backup: " + Reason();
        return false;
    };
    return ReplaceFileByWriting(path + kBackupSuffix, copy, error);
}

} // namespace

bool ReplaceKeepingBackup(const std::string& path, const TextProducer& produce, bool* kept,
                          std::string* error) {
    *kept = false;
    OldTarget old;
    old.file.reset(std::fopen(path.c_str(), "rb"));
    const auto write = [&](std::FILE* file, std::string* writeError) {
        produce([&](const std::string& piece) {
            std::fwrite(piece.data(), 1, piece.size(), file);
            Compare(&old, piece);
        });
        // The new text is complete: the old one is kept before it is replaced.
        if (ChangedAtEnd(&old)) {
            if (!KeepAsBackup(path, old.file.get(), writeError)) {
                return false;
            }
            *kept = true;
        }
        old.file.reset(); // Windows cannot replace a file that is still open
        return true;
    };
    return ReplaceFileByWriting(path, write, error);
}
