#pragma once
// Finds how a 32-bit function returns by following its code from the entry through every
// path it can bound: all paths ending in `ret N` with one N > 0 make it stdcall with N bytes of
// arguments; all ending in a plain `ret` make it cdecl or stdcall without arguments, which the
// code cannot tell apart. Paths that leave through an imported function are left to the ones
// that return. Anything else is unknown, with the reason.
//
// The code of a DLL is decoded once, into a graph of blocks shared by all its exports, and
// what each block can lead to is summed up once; the functions called are decoded, once, only
// as far as it takes to see whether they can return. The time grows with the code, not with
// the number of exports that reach it.

#include "callee_returns.h"
#include "code_graph.h"
#include "code_image.h"
#include "convention_finding.h"

#include <cstdint>
#include <utility>
#include <vector>

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

// What is known of a DLL's code, kept from one export to the next: the instructions decoded so
// far, what each leads to, and the functions called, as far as decoded.
struct CodeAnalysis {
    CodeGraph graph;
    CalleeReturns callees;            // the functions called, as far as decoded
    std::vector<uint8_t> callReturns; // by node: a call's function can return
    std::vector<uint8_t> summed;      // by node: its outcomes are known
    std::vector<uint32_t> outcomeOf;  // by node: index into outcomes, which most nodes share
    std::vector<Outcomes> outcomes;
    std::vector<uint32_t> local; // by node: its index in the current search, or kNoNode
    // Scratch of the searches, kept to spare each export its allocations.
    std::vector<uint32_t> order, low, stack, found;
    std::vector<uint8_t> done;
    std::vector<std::pair<uint32_t, uint32_t>> path; // node, next edge to look at
};

// How the function returns (Stdcall, PlainReturn or Unknown), without asking whether it takes
// arguments in registers.
ConventionFinding FindReturnKind(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry);
