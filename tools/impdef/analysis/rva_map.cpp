#include "rva_map.h"

#include <algorithm>

namespace {

constexpr size_t kFirstSize = 64;
constexpr uint32_t kMaxDenseRange = 1u << 28;

bool InDenseRange(const RvaMap& map, uint32_t rva) {
    return rva >= map.denseStart && rva < map.denseEnd;
}

bool Marked(const RvaMap& map, uint32_t rva) {
    const uint32_t bit = rva - map.denseStart;
    return ((map.present[bit >> 6] >> (bit & 63)) & 1) != 0;
}

size_t SlotOf(const RvaMap& map, uint32_t rva) {
    const size_t mask = map.keys.size() - 1;
    // Knuth's multiplicative hash, whose high bits depend on all of the RVA's
    const uint64_t product = static_cast<uint64_t>(rva * 2654435761u) * mask;
    size_t slot = static_cast<size_t>(product >> 32);
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

void SetDenseRange(RvaMap* map, uint32_t start, uint32_t end) {
    if (end > start && end - start <= kMaxDenseRange) {
        map->denseStart = start;
        map->denseEnd = end;
        map->present.assign(((end - start - 1) >> 6) + 1, 0);
    }
}

uint32_t FindRva(const RvaMap& map, uint32_t rva) {
    if (map.keys.empty() || (InDenseRange(map, rva) && !Marked(map, rva))) {
        return kNoRva;
    }
    const size_t slot = SlotOf(map, rva);
    return map.keys[slot] == rva ? map.values[slot] : kNoRva;
}

uint32_t FindOrAddRva(RvaMap* map, uint32_t rva, uint32_t value) {
    if (InDenseRange(*map, rva)) {
        const uint32_t bit = rva - map->denseStart;
        map->present[bit >> 6] |= uint64_t{1} << (bit & 63);
    }
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
