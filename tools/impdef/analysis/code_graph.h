#pragma once
// The code of a DLL as a graph of blocks of straight-line code, each decoded once however
// many paths reach it. A block ends its path (ret, ret N, a tail jump to an import, or code
// the graph cannot follow, with the reason) or leads on to other blocks. A block ending in a
// call names the function it calls, and leads on to the next instruction only if that
// function can return.

#include "code_image.h"
#include "rva_map.h"
#include "table_bounds.h"
#include "x86_decoder.h"

#include <cstdint>
#include <string>
#include <vector>

enum class PathEnd : uint8_t { None, PlainReturn, ReturnPop, Import, Unknown };

constexpr uint32_t kNoNode = ~0u;

struct CodeNode {
    uint32_t rva;
    uint32_t firstEdge; // the nodes it leads on to: edges[firstEdge, firstEdge + edgeCount)
    // What its end or its call names; a call's one edge, if any, is the instruction after it.
    union {
        uint32_t popBytes;    // ReturnPop: N
        uint32_t importSlot;  // Import: the slot's address
        uint32_t reasonIndex; // Unknown: into reasons
        uint32_t callee;      // isCall: the RVA it calls
    };
    uint16_t edgeCount;
    PathEnd end;
    bool isCall;
};

// What a path knows on reaching an instruction.
struct PathState {
    RegisterBounds bounds;
    bool afterCall; // only padding since a call: the call may not have returned
};

// A block to decode, with what the first path to it knows.
struct PendingNode {
    uint32_t node;
    PathState state;
};

struct CodeGraph {
    std::vector<CodeNode> nodes;
    std::vector<uint32_t> edges;
    std::vector<std::string> reasons;
    RvaMap nodeAt;
    uint32_t limitNode = kNoNode;     // stands for all the code past the image's budget
    size_t instructions = 0;          // decoded so far
    size_t tableReadsLeft = 0;        // entries of jump and byte tables, set to the budget
    std::vector<PendingNode> pending; // scratch for each walk
    // By the RVA of a jump through a table, an index into tableJumpNodes: the block it ends, or
    // kNoNode when the blocks ending there lead on differently (or not all of them are known).
    RvaMap tableJumps;
    std::vector<uint32_t> tableJumpNodes;
};

// The targets of the jump through a table at rva, as the graph followed them; false when it
// did not follow them all, or followed different ones on different paths.
bool TableJumpTargets(const CodeGraph& graph, uint32_t rva, std::vector<uint32_t>* targets);

// Decodes the code reachable from rva (through jumps, branches, tables and the returns of
// calls, not into the functions called) that the graph does not hold yet; returns rva's node.
uint32_t DecodeCode(CodeGraph* graph, const CodeImage& image, uint32_t rva);

// For a walk that decodes as it goes: the node of the block at rva, new ones left in
// graph->pending for the caller to take; and the decoding of one such block, whose new
// successors go to graph->pending likewise.
uint32_t AddBlock(CodeGraph* graph, const CodeImage& image, uint32_t rva);

// For `call [slot]`: false when the slot is that of an import that never returns.
bool CallInstructionReturns(const CodeImage& image, const Instruction& call);

// Whether the instruction at rva is alignment padding (nop in its forms, lea or mov of a
// register to itself, int3): what a compiler leaves after a call it knows cannot return.
bool PaddingAt(const CodeImage& image, uint32_t rva);
void DecodeOneBlock(CodeGraph* graph, const CodeImage& image, const PendingNode& block);
