#include "code_graph.h"

#include "import_table.h"
#include "message_text.h"
#include "table_bounds.h"
#include "x86_decoder.h"

#include <algorithm>

namespace {

constexpr uint32_t kMaxTableEntries = 1024;
// A block is cut after this many instructions: code entered in the middle of a block is
// decoded again up to the next block, at most this much.
constexpr int kBlockLength = 32;
constexpr size_t kBytesPerBlock = 32;

struct Decoder {
    CodeGraph* graph;
    const CodeImage& image;
    std::vector<PendingNode>& pending; // kept by the graph: a walk reuses its memory
    std::vector<uint32_t> leadsTo;     // the current instruction's edges
    CodeWindow window;
    EntryGap entryGap;
    uint32_t tableJumpAt = kNoRva; // the current block ends in a jump through a table there
};

void SetUnknown(CodeGraph* graph, uint32_t node, std::string reason) {
    graph->nodes[node].end = PathEnd::Unknown;
    graph->nodes[node].reasonIndex = static_cast<uint32_t>(graph->reasons.size());
    graph->reasons.push_back(std::move(reason));
}

// The node that stands for all the code past the budget.
uint32_t LimitNode(Decoder* d) {
    CodeGraph* graph = d->graph;
    if (graph->limitNode == kNoNode) {
        graph->limitNode = static_cast<uint32_t>(graph->nodes.size());
        graph->nodes.push_back({0, 0, {0}, 0, PathEnd::None, false});
        SetUnknown(graph, graph->limitNode,
                   "it has more code than the " + std::to_string(d->image.instructionBudget) +
                       " instructions followed in this DLL");
    }
    return graph->limitNode;
}

// The node of the instruction at rva, queued for decoding when new. Past the budget, all new
// code is one node that says so.
uint32_t NodeFor(Decoder* d, uint32_t rva, const PathState& state) {
    CodeGraph* graph = d->graph;
    if (graph->nodes.size() < d->image.instructionBudget) {
        const uint32_t fresh = static_cast<uint32_t>(graph->nodes.size());
        // The one address the map cannot hold is no code either: decoding it says so.
        const uint32_t node = rva == kNoRva ? fresh : FindOrAddRva(&graph->nodeAt, rva, fresh);
        if (node == fresh) {
            graph->nodes.push_back({rva, 0, {0}, 0, PathEnd::None, false});
            d->pending.push_back({node, state});
        }
        return node;
    }
    const uint32_t known = FindRva(graph->nodeAt, rva);
    if (known != kNoRva) {
        return known;
    }
    return LimitNode(d);
}

// The next instruction, unless it is another export's entry reached only through padding
// after a call: the call did not return, and the code there belongs to that export.
void FallThrough(Decoder* d, uint32_t next, const PathState& state) {
    if (!(state.afterCall && IsExportEntry(d->image, next, &d->entryGap))) {
        d->leadsTo.push_back(NodeFor(d, next, state));
    }
}

// The import whose slot is at that address, or null.
const std::string* ImportAt(const CodeImage& image, uint32_t slot) {
    const auto found = image.imports.find(slot);
    return found == image.imports.end() ? nullptr : &found->second;
}

} // namespace

bool CallInstructionReturns(const CodeImage& image, const Instruction& call) {
    const MemoryOperand& m = call.memory;
    const bool throughSlot = call.indirectCall && m.present && m.base < 0 && m.index < 0;
    const std::string* import =
        throughSlot ? ImportAt(image, static_cast<uint32_t>(m.displacement)) : nullptr;
    return import == nullptr || !ImportNeverReturns(*import);
}

namespace {

// guessed: the bound may be another index's, so the table ends early at an entry that is no
// code (the next table, which Visual C++ puts right after it).
void FollowTable(Decoder* d, uint32_t node, uint32_t tableAddress, uint32_t largest, bool guessed) {
    CodeGraph* graph = d->graph;
    if (largest == kUnbounded) {
        SetUnknown(graph, node, "it jumps through a table whose size it does not show");
        return;
    }
    if (largest >= kMaxTableEntries) {
        SetUnknown(graph, node,
                   "it jumps through a table of " + std::to_string(largest + 1) +
                       " entries, more than the " + std::to_string(kMaxTableEntries) + " followed");
        return;
    }
    if (graph->tableReadsLeft <= largest) {
        SetUnknown(graph, node,
                   "it jumps through a table, past the " +
                       std::to_string(d->image.instructionBudget) +
                       " table entries followed in this DLL");
        return;
    }
    graph->tableReadsLeft -= largest + 1;
    const uint32_t table = tableAddress - d->image.imageBase;
    for (uint32_t i = 0; i <= largest; ++i) {
        uint32_t target = 0;
        const bool read = d->image.readU32(table + 4 * i, &target);
        const uint32_t rva = target - d->image.imageBase;
        const bool code = rva >= d->image.codeStart && rva < d->image.codeEnd;
        if (guessed && i != 0 && (!read || (d->image.codeEnd != 0 && !code))) {
            return;
        }
        if (!read) {
            d->leadsTo.clear();
            SetUnknown(graph, node, "its jump table at RVA " + Hex(table) + " cannot be read");
            return;
        }
        d->leadsTo.push_back(NodeFor(d, rva, {NoBounds(), false}));
    }
}

void JumpThroughPointer(Decoder* d, uint32_t node, uint32_t slot) {
    const std::string* import = ImportAt(d->image, slot);
    if (import == nullptr) {
        SetUnknown(d->graph, node, "it leaves through an import or a function pointer");
    } else if (!ImportNeverReturns(*import)) {
        d->graph->nodes[node].end = PathEnd::Import;
        d->graph->nodes[node].importSlot = slot;
    }
}

// What the instruction at rva does to its block: true when the block goes on with the next
// instruction; otherwise the block ends, with the edges, end or reason the instruction gives.
bool Follow(Decoder* d, uint32_t node, uint32_t rva, const Instruction& instruction,
            PathState* state) {
    const X86Insn& insn = instruction.x;
    CodeGraph* graph = d->graph;
    const uint32_t next = rva + insn.length;
    const uint32_t target = next + static_cast<uint32_t>(insn.displacement);
    TableReads reads{d->image.readU32, d->image.imageBase, &graph->tableReadsLeft};
    TrackBounds(&reads, instruction, &state->bounds);
    switch (insn.flow) {
    case InsnFlow::Next:
        state->afterCall = (state->afterCall && IsPadding(instruction)) || instruction.indirectCall;
        return CallInstructionReturns(d->image, instruction) &&
               !(state->afterCall && IsExportEntry(d->image, next, &d->entryGap));
    case InsnFlow::Call:
        graph->nodes[node].isCall = true;
        graph->nodes[node].callee = target;
        state->afterCall = true;
        FallThrough(d, next, *state);
        return false;
    case InsnFlow::Return:
        graph->nodes[node].end = PathEnd::PlainReturn;
        return false;
    case InsnFlow::ReturnPop:
        graph->nodes[node].end = insn.popBytes == 0 ? PathEnd::PlainReturn : PathEnd::ReturnPop;
        graph->nodes[node].popBytes = insn.popBytes;
        return false;
    case InsnFlow::Jump:
        state->afterCall = false;
        d->leadsTo.push_back(NodeFor(d, target, *state));
        return false;
    case InsnFlow::Branch:
        state->afterCall = false;
        d->leadsTo.push_back(NodeFor(d, target, *state));
        FallThrough(d, next, *state);
        return false;
    case InsnFlow::JumpTable: {
        d->tableJumpAt = rva;
        bool guessed = false;
        const uint32_t largest = TableBound(instruction, state->bounds, &guessed);
        FollowTable(d, node, insn.address, largest, guessed);
        return false;
    }
    case InsnFlow::JumpPointer:
        JumpThroughPointer(d, node, insn.address);
        return false;
    case InsnFlow::JumpRegister:
        SetUnknown(graph, node, "it jumps to a computed address");
        return false;
    case InsnFlow::FarFlow:
        SetUnknown(graph, node, "it uses a far jump, call or return");
        return false;
    case InsnFlow::Stop:
        return false;
    }
    return false;
}

bool SameEdges(const CodeGraph& graph, uint32_t a, uint32_t b) {
    const CodeNode &x = graph.nodes[a], &y = graph.nodes[b];
    return x.edgeCount == y.edgeCount && std::equal(graph.edges.begin() + x.firstEdge,
                                                    graph.edges.begin() + x.firstEdge + x.edgeCount,
                                                    graph.edges.begin() + y.firstEdge);
}

// Code entered in the middle of a block is decoded again: a jump through a table can end
// several blocks, each with the bounds of its own paths.
void NoteTableJump(CodeGraph* graph, uint32_t rva, uint32_t node) {
    const bool known = graph->nodes[node].end != PathEnd::Unknown;
    const uint32_t next = static_cast<uint32_t>(graph->tableJumpNodes.size());
    const uint32_t index = FindOrAddRva(&graph->tableJumps, rva, next);
    if (index == next) {
        graph->tableJumpNodes.push_back(known ? node : kNoNode);
    } else if (uint32_t& first = graph->tableJumpNodes[index];
               first != kNoNode && (!known || !SameEdges(*graph, first, node))) {
        first = kNoNode;
    }
}

// Decodes a block: straight-line code up to a jump, branch, call or end of its path, the start
// of another block, or kBlockLength instructions.
void DecodeBlock(Decoder* d, const PendingNode& p) {
    CodeGraph* graph = d->graph;
    uint32_t rva = graph->nodes[p.node].rva;
    PathState state = p.state;
    d->leadsTo.clear();
    d->tableJumpAt = kNoRva;
    for (int count = 1;; ++count) {
        if (graph->instructions++ >= d->image.instructionBudget) {
            d->leadsTo.push_back(LimitNode(d));
            break;
        }
        Instruction instruction; // DecodeAt sets every field first
        const Decoded decoded = DecodeAt(d->image, &d->window, rva, &instruction, Detail::Operands);
        if (decoded == Decoded::NoCode) {
            SetUnknown(graph, p.node, "its code leaves the executable sections at RVA " + Hex(rva));
            break;
        }
        if (decoded == Decoded::Invalid) {
            SetUnknown(graph, p.node, "the instruction at RVA " + Hex(rva) + " cannot be decoded");
            break;
        }
        if (!Follow(d, p.node, rva, instruction, &state)) {
            break;
        }
        rva += instruction.x.length;
        if (count == kBlockLength || FindRva(graph->nodeAt, rva) != kNoRva) {
            d->leadsTo.push_back(NodeFor(d, rva, state));
            break;
        }
    }
    CodeNode& decoded = graph->nodes[p.node];
    decoded.firstEdge = static_cast<uint32_t>(graph->edges.size());
    decoded.edgeCount = static_cast<uint16_t>(d->leadsTo.size());
    graph->edges.insert(graph->edges.end(), d->leadsTo.begin(), d->leadsTo.end());
    if (d->tableJumpAt != kNoRva) {
        NoteTableJump(graph, d->tableJumpAt, p.node);
    }
}

} // namespace

namespace {

void Prepare(CodeGraph* graph, const CodeImage& image) {
    if (graph->nodes.empty()) {
        graph->tableReadsLeft = image.instructionBudget;
        SetDenseRange(&graph->nodeAt, image.codeStart, image.codeEnd);
        // Room for a block every kBytesPerBlock bytes of code, so that the arrays seldom grow.
        const size_t blocks = std::min<size_t>(image.instructionBudget,
                                               (image.codeEnd - image.codeStart) / kBytesPerBlock);
        graph->nodes.reserve(blocks);
        graph->edges.reserve(blocks);
    }
}

} // namespace

uint32_t DecodeCode(CodeGraph* graph, const CodeImage& image, uint32_t rva) {
    Prepare(graph, image);
    Decoder d{graph, image, graph->pending, {}, {}, {}};
    const uint32_t entry = NodeFor(&d, rva, {NoBounds(), false});
    while (!d.pending.empty()) {
        const PendingNode p = d.pending.back();
        d.pending.pop_back();
        DecodeBlock(&d, p);
    }
    return entry;
}

uint32_t AddBlock(CodeGraph* graph, const CodeImage& image, uint32_t rva) {
    Prepare(graph, image);
    Decoder d{graph, image, graph->pending, {}, {}, {}};
    return NodeFor(&d, rva, {NoBounds(), false});
}

void DecodeOneBlock(CodeGraph* graph, const CodeImage& image, const PendingNode& block) {
    Decoder d{graph, image, graph->pending, {}, {}, {}};
    DecodeBlock(&d, block);
}

bool TableJumpTargets(const CodeGraph& graph, uint32_t rva, std::vector<uint32_t>* targets) {
    const uint32_t index = FindRva(graph.tableJumps, rva);
    if (index == kNoRva || graph.tableJumpNodes[index] == kNoNode) {
        return false;
    }
    const CodeNode& node = graph.nodes[graph.tableJumpNodes[index]];
    targets->clear();
    for (uint32_t i = 0; i < node.edgeCount; ++i) {
        const uint32_t to = graph.edges[node.firstEdge + i];
        if (to == graph.limitNode) {
            return false;
        }
        targets->push_back(graph.nodes[to].rva);
    }
    return true;
}

bool PaddingAt(const CodeImage& image, uint32_t rva) {
    CodeWindow window;
    Instruction instruction; // DecodeAt sets every field first
    return DecodeAt(image, &window, rva, &instruction, Detail::Operands) == Decoded::Instruction &&
           (instruction.opcode == 0xCC || IsPadding(instruction));
}
