#pragma once
// A map from RVAs to numbers in one flat table (open addressing): the instruction at each
// address, at one allocation per growth rather than one per instruction.

#include <cstddef>
#include <cstdint>
#include <vector>

struct RvaMap {
    std::vector<uint32_t> keys; // kNoRva where free; the size is a power of two
    std::vector<uint32_t> values;
    size_t count = 0;
};

constexpr uint32_t kNoRva = ~0u;

// The value stored for rva, or kNoRva.
uint32_t FindRva(const RvaMap& map, uint32_t rva);
// The value stored for rva; when there is none, stores value for it and returns value.
// rva must not be kNoRva.
uint32_t FindOrAddRva(RvaMap* map, uint32_t rva, uint32_t value);
