#include "callee_returns.h"

#include <algorithm>

namespace {

enum : uint8_t { kUndecided, kReturns, kNever };
enum class Answer { Returns, Never, GivenUp };

// How many calls deep a search asks whether the functions called return.
constexpr int kMaxDepth = 6;

// One search in progress: the blocks it opened that are not settled, and its path.
struct Search {
    uint32_t visitedFrom; // its order values start here
    std::vector<uint32_t> stack;
    std::vector<std::pair<uint32_t, uint32_t>> path; // node, next edge to look at
};

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
    c->assumedIn.resize(count, 0);
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
bool Open(CalleeReturns* c, Search* s, const CodeImage& image, uint32_t u) {
    const uint32_t order = ++c->counter;
    c->order[u] = c->low[u] = order;
    s->stack.push_back(u);
    s->path.push_back({u, 0});
    return Ends(c, image, u);
}

// Everything still on the stack is in a component of a node on the path, which leads to the
// returning block just found: all of it returns.
Answer Found(CalleeReturns* c, const Search& s) {
    for (uint32_t u : s.stack) {
        c->status[u] = kReturns;
    }
    return Answer::Returns;
}

// A component whose paths all ran out without returning.
void CloseComponent(CalleeReturns* c, Search* s, uint32_t root) {
    auto from = s->stack.end();
    while (*--from != root) {
    }
    for (auto m = from; m != s->stack.end(); ++m) {
        c->status[*m] = kNever;
    }
    s->stack.erase(from, s->stack.end());
}

// The search reached a block an enclosing search has open: its blocks stay undecided, for a
// later search to visit again.
Answer GiveUp(CalleeReturns* c, const Search& s) {
    for (uint32_t u : s.stack) {
        c->order[u] = 0;
    }
    c->abandoned += s.stack.size();
    return Answer::GivenUp;
}

Answer DecideReturns(CalleeReturns* c, const CodeImage& image, uint32_t root);

// Whether the call that ends block u leads on to the instruction after it, its one edge.
// Unless padding follows the call, the compiler took it to return: the code after it is the
// caller's own, whatever the function called does (it may return through a saved context).
bool CallNodeLeadsOn(CalleeReturns* c, const CodeImage& image, uint32_t u) {
    if (!PaddingAt(image, c->graph.nodes[c->graph.edges[c->graph.nodes[u].firstEdge]].rva)) {
        return true;
    }
    const uint32_t callee = AddBlock(&c->graph, image, c->graph.nodes[u].callee);
    TakeNewBlocks(c);
    if (c->status[callee] != kUndecided) {
        return c->status[callee] == kReturns;
    }
    if (c->depth >= kMaxDepth || c->order[callee] >= c->activeFrom ||
        c->assumedIn[callee] == c->activeFrom || c->abandoned > image.instructionBudget) {
        return true;
    }
    ++c->depth;
    const Answer answer = DecideReturns(c, image, callee);
    --c->depth;
    if (answer == Answer::GivenUp) {
        c->assumedIn[callee] = c->activeFrom;
    }
    return answer != Answer::Never;
}

Answer DecideReturns(CalleeReturns* c, const CodeImage& image, uint32_t root) {
    Search s{c->counter + 1, {}, {}};
    if (Open(c, &s, image, root)) {
        return Found(c, s);
    }
    while (!s.path.empty()) {
        const uint32_t u = s.path.back().first;
        const uint32_t i = s.path.back().second;
        if (i < c->graph.nodes[u].edgeCount) {
            s.path.back().second = i + 1;
            if (c->graph.nodes[u].isCall && !CallNodeLeadsOn(c, image, u)) {
                continue;
            }
            const uint32_t v = c->graph.edges[c->graph.nodes[u].firstEdge + i];
            if (c->status[v] == kReturns) {
                return Found(c, s);
            }
            if (c->status[v] == kNever) {
                continue;
            }
            if (c->order[v] >= s.visitedFrom) {
                c->low[u] = std::min(c->low[u], c->order[v]); // on the stack
            } else if (c->order[v] >= c->activeFrom) {
                return GiveUp(c, s);
            } else if (Open(c, &s, image, v)) {
                return Found(c, s);
            }
            continue;
        }
        s.path.pop_back();
        if (!s.path.empty()) {
            const uint32_t parent = s.path.back().first;
            c->low[parent] = std::min(c->low[parent], c->low[u]);
        }
        if (c->low[u] == c->order[u]) {
            CloseComponent(c, &s, u);
        }
    }
    return Answer::Never;
}

} // namespace

bool CalleeCanReturn(CalleeReturns* c, const CodeImage& image, uint32_t rva) {
    const uint32_t root = AddBlock(&c->graph, image, rva);
    TakeNewBlocks(c);
    if (c->status[root] != kUndecided) {
        return c->status[root] == kReturns;
    }
    c->activeFrom = c->counter + 1;
    return DecideReturns(c, image, root) == Answer::Returns;
}
