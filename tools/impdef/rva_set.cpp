#include "rva_set.h"

#include <algorithm>

namespace {

constexpr uint32_t kEmptySlot = ~0u;
constexpr size_t kFirstSize = 64;

size_t SlotOf(const RvaSet& set, uint32_t rva) {
    const size_t mask = set.slots.size() - 1;
    size_t slot = (rva * 2654435761u) & mask; // Knuth's multiplicative hash
    while (set.slots[slot] != kEmptySlot && set.slots[slot] != rva) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

void Grow(RvaSet* set) {
    std::vector<uint32_t> old(std::max(kFirstSize, set->slots.size() * 2), kEmptySlot);
    old.swap(set->slots);
    for (uint32_t rva : old) {
        if (rva != kEmptySlot) {
            set->slots[SlotOf(*set, rva)] = rva;
        }
    }
}

} // namespace

bool InsertRva(RvaSet* set, uint32_t rva) {
    // Kept at most half full; the one RVA that equals the empty mark is no instruction.
    if (rva == kEmptySlot) {
        return false;
    }
    if (2 * (set->count + 1) > set->slots.size()) {
        Grow(set);
    }
    const size_t slot = SlotOf(*set, rva);
    if (set->slots[slot] == rva) {
        return false;
    }
    set->slots[slot] = rva;
    ++set->count;
    return true;
}
