#include "return_paths.h"

#include <algorithm>

namespace {

constexpr uint8_t kMany = 3; // more than the two values kept

// Adds value to the smallest two of a set; count saturates at kMany.
void AddSmallest(uint32_t (&kept)[2], uint8_t* count, uint32_t value, bool more) {
    const uint8_t held = std::min<uint8_t>(*count, 2);
    if (std::find(kept, kept + held, value) != kept + held) {
        *count = more ? kMany : *count;
        return;
    }
    if (held < 2) {
        kept[held] = value;
        *count = more ? kMany : static_cast<uint8_t>(held + 1);
    } else {
        kept[1] = std::min(kept[1], value);
        *count = kMany;
    }
    if (kept[1] < kept[0] && *count >= 2) {
        std::swap(kept[0], kept[1]);
    }
}

void MergeOutcomes(Outcomes* into, const Outcomes& from) {
    for (uint8_t i = 0; i < std::min<uint8_t>(from.popCount, 2); ++i) {
        AddSmallest(into->pops, &into->popCount, from.pops[i], from.popCount == kMany);
    }
    for (uint8_t i = 0; i < std::min<uint8_t>(from.importCount, 2); ++i) {
        AddSmallest(into->imports, &into->importCount, from.imports[i], from.importCount == kMany);
    }
    into->plainReturn |= from.plainReturn;
    if (from.unknownRva < into->unknownRva ||
        (from.unknownRva == into->unknownRva && from.reason < into->reason)) {
        into->unknownRva = from.unknownRva;
        into->reason = from.reason;
    }
}

bool Same(const Outcomes& x, const Outcomes& y) {
    return x.unknownRva == y.unknownRva && x.reason == y.reason && x.pops[0] == y.pops[0] &&
           x.pops[1] == y.pops[1] && x.imports[0] == y.imports[0] && x.imports[1] == y.imports[1] &&
           x.popCount == y.popCount && x.importCount == y.importCount &&
           x.plainReturn == y.plainReturn;
}

Outcomes OwnEnd(const CodeNode& node) {
    Outcomes own;
    switch (node.end) {
    case PathEnd::PlainReturn:
        own.plainReturn = true;
        break;
    case PathEnd::ReturnPop:
        AddSmallest(own.pops, &own.popCount, node.popBytes, false);
        break;
    case PathEnd::Import:
        AddSmallest(own.imports, &own.importCount, node.importSlot, false);
        break;
    case PathEnd::Unknown:
        own.unknownRva = node.rva == kNoRva ? kNoRva - 1 : node.rva; // kNoRva means none
        own.reason = node.reasonIndex;
        break;
    case PathEnd::None:
        break;
    }
    return own;
}

} // namespace

namespace {

uint32_t Edge(const CodeAnalysis& a, uint32_t node, uint32_t i) {
    return a.graph.edges[a.graph.nodes[node].firstEdge + i];
}

uint32_t AllEdges(const CodeAnalysis& a, uint32_t node) {
    return a.graph.nodes[node].edgeCount;
}

// An export's paths: a call leads on only when the function it calls can return.
uint32_t LiveEdges(const CodeAnalysis& a, uint32_t node) {
    const CodeNode& n = a.graph.nodes[node];
    return n.isCall && !a.callReturns[node] ? 0 : n.edgeCount;
}

// The nodes of one component, where they lie on the search's stack.
struct Members {
    const uint32_t* first;
    const uint32_t* last;
    const uint32_t* begin() const { return first; }
    const uint32_t* end() const { return last; }
};

// Calls close(members, outside) for each strongly connected component of the nodes in scope
// over the edges edgeCount gives, after every component it leads to (Tarjan's algorithm,
// without recursion); outside(v) tells whether an edge leaves the component.
template <typename EdgeCount, typename Close>
void ForEachComponent(CodeAnalysis* a, const std::vector<uint32_t>& scope, EdgeCount edgeCount,
                      Close close) {
    std::vector<uint32_t>& local = a->local;
    local.resize(a->graph.nodes.size(), kNoNode);
    for (uint32_t i = 0; i < scope.size(); ++i) {
        local[scope[i]] = i;
    }
    std::vector<uint32_t>& order = a->order;
    std::vector<uint32_t>& low = a->low;
    std::vector<uint32_t>& stack = a->stack;
    std::vector<uint8_t>& done = a->done;
    auto& path = a->path;
    order.assign(scope.size(), kNoNode);
    low.assign(scope.size(), 0);
    done.assign(scope.size(), 0);
    uint32_t counter = 0;
    const auto open = [&](uint32_t u) {
        order[local[u]] = low[local[u]] = counter++;
        stack.push_back(u);
        path.push_back({u, 0});
    };
    const auto outside = [&](uint32_t v) { return local[v] == kNoNode || done[local[v]]; };
    for (uint32_t s : scope) {
        if (order[local[s]] != kNoNode) {
            continue;
        }
        open(s);
        while (!path.empty()) {
            auto& [u, i] = path.back();
            if (i < edgeCount(u)) {
                const uint32_t v = Edge(*a, u, i++);
                if (local[v] == kNoNode) {
                    continue;
                }
                if (order[local[v]] == kNoNode) {
                    open(v);
                } else if (!done[local[v]]) {
                    low[local[u]] = std::min(low[local[u]], order[local[v]]);
                }
                continue;
            }
            const uint32_t finished = u;
            path.pop_back();
            if (!path.empty()) {
                const uint32_t parent = path.back().first;
                low[local[parent]] = std::min(low[local[parent]], low[local[finished]]);
            }
            if (low[local[finished]] == order[local[finished]]) {
                auto from = stack.end();
                while (*--from != finished) {
                }
                const Members members{&*from, stack.data() + stack.size()};
                close(members, outside);
                for (uint32_t m : members) {
                    done[local[m]] = 1;
                }
                stack.erase(from, stack.end());
            }
        }
    }
    for (uint32_t u : scope) {
        local[u] = kNoNode;
    }
}

// The nodes reachable from node whose outcomes are not known yet.
const std::vector<uint32_t>& Unsummed(CodeAnalysis* a, uint32_t node) {
    std::vector<uint32_t>& found = a->found;
    found.clear();
    if (a->summed[node]) {
        return found;
    }
    a->summed[node] = 2; // found, not summed yet
    found.push_back(node);
    for (size_t next = 0; next < found.size(); ++next) {
        const uint32_t u = found[next];
        for (uint32_t i = 0; i < AllEdges(*a, u); ++i) {
            const uint32_t v = Edge(*a, u, i);
            if (!a->summed[v]) {
                a->summed[v] = 2;
                found.push_back(v);
            }
        }
    }
    return found;
}

// Sums up the ends of the paths from each node in scope, one component at a time.
void SumUp(CodeAnalysis* a, const std::vector<uint32_t>& scope) {
    a->outcomeOf.resize(a->graph.nodes.size());
    const auto edgeCount = [a](uint32_t u) { return LiveEdges(*a, u); };
    ForEachComponent(a, scope, edgeCount, [a](const Members& members, auto outside) {
        Outcomes sum;
        uint32_t shared = kNoNode; // a successor's outcomes, which the sum often equals
        for (uint32_t m : members) {
            MergeOutcomes(&sum, OwnEnd(a->graph.nodes[m]));
            for (uint32_t i = 0; i < LiveEdges(*a, m); ++i) {
                const uint32_t v = Edge(*a, m, i);
                if (outside(v)) {
                    shared = a->outcomeOf[v];
                    MergeOutcomes(&sum, a->outcomes[shared]);
                }
            }
        }
        if (shared == kNoNode || !Same(sum, a->outcomes[shared])) {
            shared = static_cast<uint32_t>(a->outcomes.size());
            a->outcomes.push_back(sum);
        }
        for (uint32_t m : members) {
            a->outcomeOf[m] = shared;
            a->summed[m] = 1;
        }
    });
}

std::string RetList(const uint32_t (&pops)[2], uint8_t count) {
    std::string text = "ret " + std::to_string(pops[0]);
    if (count >= 2) {
        text += (count == kMany ? ", ret " : " and ret ") + std::to_string(pops[1]);
    }
    return count == kMany ? text + " and others" : text;
}

std::string ImportList(const CodeImage& image, const Outcomes& o) {
    std::string text = o.importCount == 1 ? "the import " : "the imports ";
    text += image.imports.find(o.imports[0])->second;
    if (o.importCount >= 2) {
        text +=
            (o.importCount == kMany ? ", " : " and ") + image.imports.find(o.imports[1])->second;
    }
    return o.importCount == kMany ? text + " and others" : text;
}

// The paths that return decide; tail jumps to imports pop what the import pops, which the
// code does not show, so they count only when no path returns.
ConventionFinding Verdict(const CodeImage& image, const CodeAnalysis& a, const Outcomes& o) {
    if (o.unknownRva != kNoRva) {
        return {ConventionKind::Unknown, 0, a.graph.reasons[o.reason]};
    }
    if (o.popCount == 0) {
        if (o.plainReturn) {
            return {ConventionKind::PlainReturn, 0, ""};
        }
        if (o.importCount != 0) {
            return {ConventionKind::Unknown, 0, "it leaves through " + ImportList(image, o)};
        }
        ConventionFinding never{ConventionKind::Unknown, 0, "no return found (it never returns)"};
        never.neverReturns = true;
        return never;
    }
    const std::string rets = RetList(o.pops, o.popCount);
    if (o.plainReturn) {
        return {ConventionKind::Unknown, 0, "it returns both with ret and " + rets};
    }
    if (o.popCount > 1 || o.pops[0] % 4 != 0) {
        return {ConventionKind::Unknown, 0, "it returns with " + rets};
    }
    return {ConventionKind::Stdcall, o.pops[0], ""};
}

} // namespace

ConventionFinding FindReturnKind(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry) {
    CodeAnalysis& a = *analysis;
    const uint32_t node = DecodeCode(&a.graph, image, entry);
    a.summed.resize(a.graph.nodes.size(), 0);
    const std::vector<uint32_t>& scope = Unsummed(&a, node);
    a.callReturns.resize(a.graph.nodes.size(), 0);
    for (uint32_t u : scope) {
        const CodeNode& n = a.graph.nodes[u];
        a.callReturns[u] = n.isCall && CalleeCanReturn(&a.callees, image, n.callee);
    }
    SumUp(&a, scope);
    return Verdict(image, a, a.outcomes[a.outcomeOf[node]]);
}
