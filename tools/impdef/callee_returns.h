#pragma once
// Whether a function the DLL calls can return: some path from its entry reaches a return, a
// tail jump to an import or code that cannot be followed (which counts as returning), taking
// the calls on the way to return. The functions are decoded only as far as it takes to find
// such a path, in a graph of their own; each block is decoded and settled once for all calls.

#include "call_analysis.h"
#include "code_graph.h"

#include <cstdint>
#include <utility>
#include <vector>

struct CalleeReturns {
    CodeGraph graph;
    // The blocks found, not decoded yet: by node, a slot of states (slots are reused).
    RvaMap waiting;
    std::vector<PathState> states;
    std::vector<uint32_t> freeSlots;
    std::vector<uint8_t> status; // by node: undecided, returns, never
    std::vector<uint8_t> decoded;
    // The search (Tarjan's, stopping at the first returning block found), by node.
    std::vector<uint32_t> order, low, stack;
    std::vector<std::pair<uint32_t, uint32_t>> path; // node, next edge to look at
    uint32_t counter = 0;
};

bool CanReturn(CalleeReturns* callees, const CodeImage& image, uint32_t rva);
