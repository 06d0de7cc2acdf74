#include "rva_map.h"

#include <algorithm>

namespace {

constexpr size_t kFirstSize = 64;

size_t SlotOf(const RvaMap& map, uint32_t rva) {
    const size_t mask = map.keys.size() - 1;
    size_t slot = (rva * 2654435761u) & mask; // Knuth's multiplicative hash
    while (map.keys[slot] != kNoRva && map.keys[slot] != rva) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

void Grow(RvaMap* map) {
    const size_t size = std::max(kFirstSize, map->keys.size() * 2);
    std::vector<uint32_t> keys(size, kNoRva);
    std::vector<uint32_t> values(size);
    keys.swap(map->keys);
    values.swap(map->values);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] != kNoRva) {
            const size_t slot = SlotOf(*map, keys[i]);
            map->keys[slot] = keys[i];
            map->values[slot] = values[i];
        }
    }
}

} // namespace

uint32_t FindRva(const RvaMap& map, uint32_t rva) {
    if (map.keys.empty()) {
        return kNoRva;
    }
    const size_t slot = SlotOf(map, rva);
    return map.keys[slot] == rva ? map.values[slot] : kNoRva;
}

uint32_t FindOrAddRva(RvaMap* map, uint32_t rva, uint32_t value) {
    // Kept at most half full.
    if (2 * (map->count + 1) > map->keys.size()) {
        Grow(map);
    }
    const size_t slot = SlotOf(*map, rva);
    if (map->keys[slot] == rva) {
        return map->values[slot];
    }
    map->keys[slot] = rva;
    map->values[slot] = value;
    ++map->count;
    return value;
}
