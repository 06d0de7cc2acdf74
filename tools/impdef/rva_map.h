#pragma once
// A map from RVAs to numbers: the node of the instruction at each address. RVAs inside the
// code's range are kept in pages of a flat array, allocated as the code is reached, so that a
// walk along the code stays in the cache; the others in one flat hash table (open
// addressing), at one allocation per growth rather than one per instruction.

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kNoRva = ~0u;

struct RvaMap {
    uint32_t denseStart = 0; // RVAs in [denseStart, denseEnd) are kept in pages
    uint32_t denseEnd = 0;
    std::vector<std::vector<uint32_t>> pages;
    std::vector<uint32_t> keys; // kNoRva where free; the size is a power of two
    std::vector<uint32_t> values;
    size_t count = 0;
};

// Keeps the RVAs in [start, end) in pages; call before the first insertion.
void SetDenseRange(RvaMap* map, uint32_t start, uint32_t end);
// The value stored for rva, or kNoRva.
uint32_t FindRva(const RvaMap& map, uint32_t rva);
// The value stored for rva; when there is none, stores value for it and returns value.
// rva must not be kNoRva.
uint32_t FindOrAddRva(RvaMap* map, uint32_t rva, uint32_t value);
