#include "paged_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint64_t kPageSize = 16 * 1024;
// Larger files are no DLL anyone can load in a 32-bit process.
constexpr uint64_t kMaxFileSize = uint64_t(1) << 30;

std::string Reason() {
    return std::strerror(errno);
}

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The file's size, or -1 when the stream cannot tell.
long long FileSize(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return ftello(file);
#endif
}

// The page to read a new one into: a free one, or the one used longest ago.
KeptPage* PageToReplace(PagedFile* paged) {
    return &*std::min_element(
        paged->pages.begin(), paged->pages.end(),
        [](const KeptPage& a, const KeptPage& b) { return a.lastUse < b.lastUse; });
}

const KeptPage* Page(PagedFile* paged, uint64_t number) {
    KeptPage* page = paged->lastPage;
    if (page == nullptr || page->number != number) {
        const auto found =
            std::find_if(paged->pages.begin(), paged->pages.end(),
                         [number](const KeptPage& kept) { return kept.number == number; });
        page = found != paged->pages.end() ? &*found : nullptr;
    }
    if (page == nullptr) {
        page = PageToReplace(paged);
        page->number = kNoPage;
        page->bytes.resize(
            static_cast<size_t>(std::min(kPageSize, paged->size - number * kPageSize)));
        errno = 0;
        if (!SeekTo(paged->file.get(), number * kPageSize) ||
            std::fread(page->bytes.data(), 1, page->bytes.size(), paged->file.get()) !=
                page->bytes.size()) {
            paged->readError = "cannot read (" + Reason() + ")";
            return nullptr;
        }
        page->number = number;
    }
    page->lastUse = ++paged->uses;
    paged->lastPage = page;
    return page;
}

} // namespace

bool OpenPagedFile(const std::string& path, PagedFile* paged, std::string* error) {
    errno = 0;
    paged->file.reset(std::fopen(path.c_str(), "rb"));
    if (!paged->file) {
        *error = "cannot open (" + Reason() + ")";
        return false;
    }
    // Pages are read whole; the stream's own buffer would only copy them twice.
    std::setvbuf(paged->file.get(), nullptr, _IONBF, 0);
    // A folder opens as a stream on some systems; its first read says what it is.
    unsigned char first = 0;
    errno = 0;
    if (std::fread(&first, 1, 1, paged->file.get()) == 0 && std::ferror(paged->file.get())) {
        *error = "cannot read (" + Reason() + ")";
        return false;
    }
    errno = 0;
    const long long size = FileSize(paged->file.get());
    if (size < 0) {
        *error = "cannot read (" + Reason() + ")";
        return false;
    }
    if (static_cast<uint64_t>(size) >= kMaxFileSize) {
        *error = "is too large for a DLL (over 1 GiB)";
        return false;
    }
    paged->size = static_cast<uint64_t>(size);
    return true;
}

const unsigned char* PagedSpan(PagedFile* paged, uint64_t offset, size_t* available) {
    const KeptPage* page = offset < paged->size ? Page(paged, offset / kPageSize) : nullptr;
    if (page == nullptr) {
        return nullptr;
    }
    const size_t into = static_cast<size_t>(offset % kPageSize);
    *available = page->bytes.size() - into;
    return page->bytes.data() + into;
}
