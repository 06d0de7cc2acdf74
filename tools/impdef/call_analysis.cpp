#include "call_analysis.h"

#include "code_graph.h"
#include "register_use.h"
#include "x86_decoder.h"

#include <algorithm>

namespace {

constexpr int kMaxEntryInsns = 64;
constexpr uint8_t kMany = 3; // more than the two values kept

// The ends of all paths from a node, kept to a fixed size: the two smallest N of `ret N`, the
// two imports of lowest slot address, the unknown end of lowest RVA. Merging is the same in
// any order, so every entry into the same code gets the same summary.
struct Outcomes {
    uint32_t unknownRva = kNoRva;
    uint32_t reason = 0;
    uint32_t pops[2] = {0, 0};
    uint32_t imports[2] = {0, 0};
    uint8_t popCount = 0;
    uint8_t importCount = 0;
    bool plainReturn = false;
};

// Adds value to the smallest two of a set; count saturates at kMany.
void AddSmallest(uint32_t (&kept)[2], uint8_t* count, uint32_t value, bool more) {
    const uint8_t held = std::min<uint8_t>(*count, 2);
    if (std::find(kept, kept + held, value) != kept + held) {
        *count = more ? kMany : *count;
        return;
    }
    if (held < 2) {
        kept[held] = value;
        std::sort(kept, kept + held + 1);
        *count = more ? kMany : static_cast<uint8_t>(held + 1);
        return;
    }
    if (value < kept[1]) {
        kept[1] = value;
        std::sort(kept, kept + 2);
    }
    *count = kMany;
}

void Merge(Outcomes* into, const Outcomes& from) {
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

Outcomes OwnEnd(const CodeNode& node) {
    Outcomes own;
    switch (node.end) {
    case PathEnd::PlainReturn:
        own.plainReturn = true;
        break;
    case PathEnd::ReturnPop:
        AddSmallest(own.pops, &own.popCount, node.detail, false);
        break;
    case PathEnd::Import:
        AddSmallest(own.imports, &own.importCount, node.detail, false);
        break;
    case PathEnd::Unknown:
        own.unknownRva = node.rva;
        own.reason = node.detail;
        break;
    case PathEnd::None:
        break;
    }
    return own;
}

} // namespace

struct CodeAnalysis {
    CodeGraph graph;
    std::vector<uint8_t> returns; // by node: some path from it returns (or cannot be followed)
    std::vector<Outcomes> outcomes;
};

std::shared_ptr<CodeAnalysis> NewCodeAnalysis() {
    return std::make_shared<CodeAnalysis>();
}

namespace {

// The nodes a node leads on to: a call leads on only when the function it calls returns.
uint32_t LiveEdges(const CodeAnalysis& a, uint32_t node) {
    const CodeNode& n = a.graph.nodes[node];
    return n.callee != kNoNode && !a.returns[n.callee] ? 0 : n.edgeCount;
}

uint32_t Edge(const CodeAnalysis& a, uint32_t node, uint32_t i) {
    return a.graph.edges[a.graph.nodes[node].firstEdge + i];
}

// Predecessor lists of the nodes from first on, in one flat array.
struct Predecessors {
    std::vector<uint32_t> start; // by node - first; one more at the end
    std::vector<uint32_t> nodes;
};

template <typename ForEach>
Predecessors CollectPredecessors(const CodeAnalysis& a, uint32_t first, ForEach forEach) {
    const uint32_t end = static_cast<uint32_t>(a.graph.nodes.size());
    Predecessors p;
    p.start.assign(end - first + 1, 0);
    for (uint32_t u = first; u < end; ++u) {
        forEach(u, [&](uint32_t v) {
            if (v >= first && v != kNoNode) {
                ++p.start[v - first + 1];
            }
        });
    }
    for (size_t i = 1; i < p.start.size(); ++i) {
        p.start[i] += p.start[i - 1];
    }
    p.nodes.resize(p.start.back());
    std::vector<uint32_t> fill(p.start.begin(), p.start.end() - 1);
    for (uint32_t u = first; u < end; ++u) {
        forEach(u, [&](uint32_t v) {
            if (v >= first && v != kNoNode) {
                p.nodes[fill[v - first]++] = u;
            }
        });
    }
    return p;
}

// Which of the nodes from first on can return: a node that ends in a return, an import or code
// that cannot be followed; one that leads on to such a node; a call to a function that can
// return, followed by such a node. The nodes before first are settled and lead to none of them.
void FindReturning(CodeAnalysis* a, uint32_t first) {
    const CodeGraph& g = a->graph;
    const uint32_t end = static_cast<uint32_t>(g.nodes.size());
    a->returns.resize(end, 0);
    const Predecessors byEdge = CollectPredecessors(*a, first, [&](uint32_t u, auto add) {
        for (uint32_t i = 0; i < g.nodes[u].edgeCount; ++i) {
            add(Edge(*a, u, i));
        }
    });
    const Predecessors byCallee =
        CollectPredecessors(*a, first, [&](uint32_t u, auto add) { add(g.nodes[u].callee); });
    std::vector<uint32_t> work;
    const auto mark = [&](uint32_t u) {
        if (!a->returns[u]) {
            a->returns[u] = 1;
            work.push_back(u);
        }
    };
    const auto reconsider = [&](uint32_t u) {
        const CodeNode& n = g.nodes[u];
        if (n.end != PathEnd::None) {
            mark(u);
            return;
        }
        for (uint32_t i = 0; i < LiveEdges(*a, u); ++i) {
            if (a->returns[Edge(*a, u, i)]) {
                mark(u);
                return;
            }
        }
    };
    for (uint32_t u = first; u < end; ++u) {
        reconsider(u);
    }
    while (!work.empty()) {
        const uint32_t v = work.back() - first;
        work.pop_back();
        for (uint32_t i = byEdge.start[v]; i < byEdge.start[v + 1]; ++i) {
            reconsider(byEdge.nodes[i]);
        }
        for (uint32_t i = byCallee.start[v]; i < byCallee.start[v + 1]; ++i) {
            reconsider(byCallee.nodes[i]);
        }
    }
}

// Sums up the ends reachable from each node from first on, one strongly connected component
// at a time (Tarjan's algorithm, without recursion).
void SumUp(CodeAnalysis* a, uint32_t first) {
    const uint32_t end = static_cast<uint32_t>(a->graph.nodes.size());
    a->outcomes.resize(end);
    const uint32_t count = end - first;
    std::vector<uint32_t> order(count, kNoNode), low(count), component(count, kNoNode);
    std::vector<uint32_t> stack;
    std::vector<std::pair<uint32_t, uint32_t>> calls; // node, next edge to look at
    uint32_t counter = 0;
    const auto open = [&](uint32_t u) {
        order[u - first] = low[u - first] = counter++;
        stack.push_back(u);
        calls.push_back({u, 0});
    };
    const auto close = [&](uint32_t root) {
        auto from = stack.end();
        while (*--from != root) {
        }
        Outcomes sum;
        for (auto m = from; m != stack.end(); ++m) {
            component[*m - first] = root;
        }
        for (auto m = from; m != stack.end(); ++m) {
            Merge(&sum, OwnEnd(a->graph.nodes[*m]));
            for (uint32_t i = 0; i < LiveEdges(*a, *m); ++i) {
                const uint32_t v = Edge(*a, *m, i);
                if (v < first || component[v - first] != root) {
                    Merge(&sum, a->outcomes[v]);
                }
            }
        }
        for (auto m = from; m != stack.end(); ++m) {
            a->outcomes[*m] = sum;
        }
        stack.erase(from, stack.end());
    };
    for (uint32_t s = first; s < end; ++s) {
        if (order[s - first] != kNoNode) {
            continue;
        }
        open(s);
        while (!calls.empty()) {
            auto& [u, i] = calls.back();
            if (i < LiveEdges(*a, u)) {
                const uint32_t v = Edge(*a, u, i++);
                if (v < first) {
                    continue;
                }
                if (order[v - first] == kNoNode) {
                    open(v);
                } else if (component[v - first] == kNoNode) {
                    low[u - first] = std::min(low[u - first], order[v - first]);
                }
                continue;
            }
            const uint32_t done = u;
            calls.pop_back();
            if (low[done - first] == order[done - first]) {
                close(done);
            }
            if (!calls.empty()) {
                const uint32_t parent = calls.back().first;
                low[parent - first] = std::min(low[parent - first], low[done - first]);
            }
        }
    }
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
    text += image.imports.at(o.imports[0]);
    if (o.importCount >= 2) {
        text += (o.importCount == kMany ? ", " : " and ") + image.imports.at(o.imports[1]);
    }
    return o.importCount == kMany ? text + " and others" : text;
}

// The paths that return decide; tail jumps to imports pop what the import pops, which the
// code does not show, so they count only when no path returns.
CallFinding Verdict(const CodeImage& image, const CodeAnalysis& a, const Outcomes& o) {
    if (o.unknownRva != kNoRva) {
        return {CallKind::Unknown, 0, a.graph.reasons[o.reason]};
    }
    if (o.popCount == 0) {
        if (o.plainReturn) {
            return {CallKind::PlainReturn, 0, ""};
        }
        if (o.importCount != 0) {
            return {CallKind::Unknown, 0, "it leaves through " + ImportList(image, o)};
        }
        return {CallKind::Unknown, 0, "no return found (it never returns)"};
    }
    const std::string rets = RetList(o.pops, o.popCount);
    if (o.plainReturn) {
        return {CallKind::Unknown, 0, "it returns both with ret and " + rets};
    }
    if (o.popCount > 1 || o.pops[0] % 4 != 0) {
        return {CallKind::Unknown, 0, "it returns with " + rets};
    }
    return {CallKind::Stdcall, o.pops[0], ""};
}

const unsigned char* CodeAt(const CodeImage& image, uint32_t rva, unsigned char* buffer,
                            size_t* got) {
    *got = image.code(rva, buffer, kMaxInsnLength);
    return buffer;
}

// True when the straight path from the entry (through jumps, past conditional branches)
// reads ECX or EDX before setting them: the function takes arguments in registers, as
// fastcall and thiscall do, and a stdcall caller would not pass them.
bool ReadsArgumentRegisters(const CodeImage& image, uint32_t rva) {
    uint8_t set = 0;
    unsigned char buffer[kMaxInsnLength];
    for (int i = 0; i < kMaxEntryInsns && (set & (kEcx | kEdx)) != (kEcx | kEdx); ++i) {
        size_t got = 0;
        const unsigned char* bytes = CodeAt(image, rva, buffer, &got);
        X86Insn insn{};
        if (got == 0 || !DecodeX86(bytes, got, &insn)) {
            return false;
        }
        const RegisterUse use = RegistersUsed(bytes, insn);
        if ((use.reads & ~set & (kEcx | kEdx)) != 0) {
            return true;
        }
        set |= use.writes;
        rva += insn.length;
        if (insn.flow == InsnFlow::Jump) {
            rva += static_cast<uint32_t>(insn.displacement);
        } else if (insn.flow != InsnFlow::Next && insn.flow != InsnFlow::Branch) {
            return false; // a call sets both; the other ends leave no more to see
        }
    }
    return false;
}

} // namespace

CallFinding FindCallKind(const CodeImage& image, uint32_t entry) {
    CodeAnalysis& a = *image.analysis;
    const uint32_t first = static_cast<uint32_t>(a.graph.nodes.size());
    const uint32_t node = DecodeCode(&a.graph, image, entry);
    FindReturning(&a, first);
    SumUp(&a, first);
    CallFinding finding = Verdict(image, a, a.outcomes[node]);
    if (finding.kind == CallKind::Stdcall && ReadsArgumentRegisters(image, entry)) {
        finding = {CallKind::Unknown, 0,
                   "it returns with ret " + std::to_string(finding.argumentBytes) +
                       " but reads ecx or edx before setting them (fastcall or thiscall?)"};
    }
    return finding;
}
