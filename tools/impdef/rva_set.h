#pragma once
// A set of RVAs in one flat table (open addressing): the instructions a walk has seen, at one
// allocation per growth rather than one per instruction.

#include <cstddef>
#include <cstdint>
#include <vector>

struct RvaSet {
    std::vector<uint32_t> slots; // kEmptySlot where free; the size is a power of two
    size_t count = 0;
};

// Adds rva; false if it was there already.
bool InsertRva(RvaSet* set, uint32_t rva);
