#include "callee_returns.h"

#include <algorithm>

namespace {

enum : uint8_t { kUndecided, kReturns, kNever };

// Files the blocks the graph found for decoding later, and makes room for them.
void TakeNewBlocks(CalleeReturns* c) {
    for (const PendingNode& p : c->graph.pending) {
        uint32_t slot = static_cast<uint32_t>(c->states.size());
        if (c->freeSlots.empty()) {
            c->states.push_back(p.state);
        } else {
            slot = c->freeSlots.back();
            c->freeSlots.pop_back();
            c->states[slot] = p.state;
        }
        FindOrAddRva(&c->waiting, p.node, slot);
    }
    c->graph.pending.clear();
    const size_t count = c->graph.nodes.size();
    c->status.resize(count, kUndecided);
    c->decoded.resize(count, 0);
    c->order.resize(count, 0);
    c->low.resize(count, 0);
}

// Decodes the block when not done yet; true when it ends a path that counts as returning.
bool Ends(CalleeReturns* c, const CodeImage& image, uint32_t u) {
    const uint32_t slot = c->decoded[u] ? kNoRva : FindRva(c->waiting, u);
    if (slot != kNoRva) {
        const PendingNode block{u, c->states[slot]};
        c->freeSlots.push_back(slot);
        DecodeOneBlock(&c->graph, image, block);
        TakeNewBlocks(c);
    }
    c->decoded[u] = 1;
    return c->graph.nodes[u].end != PathEnd::None;
}

// Visits u: true when it ends a returning path itself.
bool Open(CalleeReturns* c, const CodeImage& image, uint32_t u) {
    const uint32_t order = ++c->counter;
    c->order[u] = c->low[u] = order;
    c->stack.push_back(u);
    c->path.push_back({u, 0});
    return Ends(c, image, u);
}

// Everything still on the stack is in a component of a node on the path, which leads to the
// returning block just found: all of it returns.
bool Found(CalleeReturns* c) {
    for (uint32_t u : c->stack) {
        c->status[u] = kReturns;
    }
    c->stack.clear();
    c->path.clear();
    return true;
}

// A component whose paths all ran out without returning.
void CloseComponent(CalleeReturns* c, uint32_t root) {
    auto from = c->stack.end();
    while (*--from != root) {
    }
    for (auto m = from; m != c->stack.end(); ++m) {
        c->status[*m] = kNever;
    }
    c->stack.erase(from, c->stack.end());
}

} // namespace

bool CanReturn(CalleeReturns* c, const CodeImage& image, uint32_t rva) {
    const uint32_t root = AddBlock(&c->graph, image, rva);
    TakeNewBlocks(c);
    if (c->status[root] != kUndecided) {
        return c->status[root] == kReturns;
    }
    const uint32_t visitedFrom = c->counter + 1; // order values of this search start here
    if (Open(c, image, root)) {
        return Found(c);
    }
    while (!c->path.empty()) {
        const uint32_t u = c->path.back().first;
        const uint32_t i = c->path.back().second;
        const CodeNode& node = c->graph.nodes[u];
        if (i < node.edgeCount) {
            c->path.back().second = i + 1;
            const uint32_t v = c->graph.edges[node.firstEdge + i];
            if (c->status[v] == kReturns) {
                return Found(c);
            }
            if (c->status[v] == kNever) {
                continue;
            }
            if (c->order[v] < visitedFrom) {
                if (Open(c, image, v)) {
                    return Found(c);
                }
            } else {
                c->low[u] = std::min(c->low[u], c->order[v]); // on the stack
            }
            continue;
        }
        c->path.pop_back();
        if (!c->path.empty()) {
            const uint32_t parent = c->path.back().first;
            c->low[parent] = std::min(c->low[parent], c->low[u]);
        }
        if (c->low[u] == c->order[u]) {
            CloseComponent(c, u);
        }
    }
    return false;
}
