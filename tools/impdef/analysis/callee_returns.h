#pragma once
// Whether a function the DLL calls can return: some path from its entry reaches a return, a
// tail jump to an import or code that cannot be followed (which counts as returning), taking
// the calls on the way to return. A call leads on only when the function it calls can return,
// asked in turn a few calls deep; deeper, or when it calls back into a function still being
// asked about, the call is taken to return. The functions are decoded only as far as it takes
// to find such a path, in a graph of their own; each block is decoded and settled once.

#include "code_graph.h"
#include "code_image.h"

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
    // The searches (Tarjan's, stopping at the first returning block found), by node. Order
    // values of the searches in progress start at activeFrom.
    std::vector<uint32_t> order, low;
    std::vector<uint32_t> assumedIn; // by node: the search in which its call was taken to return
    uint32_t counter = 0;
    uint32_t activeFrom = 0;
    int depth = 0;
    size_t abandoned = 0; // blocks visited by searches given up, which may be visited again
};

bool CalleeCanReturn(CalleeReturns* callees, const CodeImage& image, uint32_t rva);
