#include "paged_file.h"

#include "file_platform.h"
#include "message_text.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr uint64_t kPageSize = 16 * 1024;
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
        if (!page->bytes) {
            page->bytes.reset(new unsigned char[kPageSize]);
        }
        page->count = static_cast<size_t>(std::min(kPageSize, paged->size - number * kPageSize));
        errno = 0;
        if (!SeekTo(paged->file.get(), number * kPageSize) ||
            std::fread(page->bytes.get(), 1, page->count, paged->file.get()) != page->count) {
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
    *available = page->count - into;
    return page->bytes.get() + into;
}
