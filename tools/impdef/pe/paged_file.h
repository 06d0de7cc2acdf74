#pragma once
// A DLL read in pages as the parser asks for its bytes: the headers, the export directory and
// the analysed code, never the whole file. Only the pages used last are kept, so the memory it
// takes is the same however large the file is. Error texts are worded to follow "<path>: ".

#include "file_handle.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

constexpr uint64_t kNoPage = ~uint64_t(0);
// Reading the export directory walks three tables at once, and the code walk jumps back to
// functions it has seen: eight pages hold both, so few pages are read twice.
constexpr size_t kKeptPages = 8;

struct KeptPage {
    uint64_t number = kNoPage;
    uint64_t lastUse = 0;                   // 0: never used
    std::unique_ptr<unsigned char[]> bytes; // a whole page, read over, never zeroed first
    size_t count = 0;                       // how many of them the file has
};

struct PagedFile {
    FilePtr file;
    uint64_t size = 0;
    std::array<KeptPage, kKeptPages> pages;
    uint64_t uses = 0;
    KeptPage* lastPage = nullptr;
    std::string readError; // set when a read failed; the bytes then count as missing
};

// Opens the file, finds its size and reads its first page.
bool OpenPagedFile(const std::string& path, PagedFile* paged, std::string* error);

// The bytes from offset to the end of its page, without copying, valid until the next call:
// null at or past the end of the file or when reading fails. available receives their count.
const unsigned char* PagedSpan(PagedFile* paged, uint64_t offset, size_t* available);
