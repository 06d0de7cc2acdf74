#pragma once
// A map from RVAs to numbers in one flat hash table (open addressing), at one allocation per
// growth rather than one per entry: the node of the block of code at each address. A bitmap
// of the code's range answers most lookups of addresses that are not there without touching
// the table.

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kNoRva = ~0u;

struct RvaMap {
    uint32_t denseStart = 0; // the bitmap's range: [denseStart, denseEnd)
    uint32_t denseEnd = 0;
    std::vector<uint64_t> present;
    std::vector<uint32_t> keys; // kNoRva where free; the size is a power of two
    std::vector<uint32_t> values;
    size_t count = 0;
};

// Keeps a bitmap of the RVAs in [start, end) that are there; call before the first insertion.
void SetDenseRange(RvaMap* map, uint32_t start, uint32_t end);
// The value stored for rva, or kNoRva.
uint32_t FindRva(const RvaMap& map, uint32_t rva);
// The value stored for rva; when there is none, stores value for it and returns value.
// rva must not be kNoRva.
uint32_t FindOrAddRva(RvaMap* map, uint32_t rva, uint32_t value);
