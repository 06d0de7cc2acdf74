#pragma once
// A DLL read in pages as the parser asks for its bytes: the headers, the export directory and
// the analysed code, never the whole file. Error texts are worded to follow "<path>: ".

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct PagedFile {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, std::fclose};
    uint64_t size = 0;
    std::unordered_map<uint64_t, std::vector<unsigned char>> pages; // by page number
    const std::vector<unsigned char>* lastPage = nullptr;
    uint64_t lastPageNumber = 0;
    std::string readError; // set when a read failed; the bytes then count as missing
};

// Opens the file, finds its size and reads its first page.
bool OpenPagedFile(const std::string& path, PagedFile* paged, std::string* error);

// The bytes from offset to the end of its page, without copying: null at or past the end of
// the file or when reading fails. available receives their count.
const unsigned char* PagedSpan(PagedFile* paged, uint64_t offset, size_t* available);
