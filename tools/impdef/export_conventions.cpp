#include "export_conventions.h"

#include "calling_convention.h"
#include "name_decoration.h"
#include "stack_arguments.h"

#include <algorithm>
#include <set>

namespace {

// The stack walks of all exports follow at most this many instructions per instruction the
// DLL's code may hold.
constexpr size_t kStackStepsPerInstruction = 2;

// What the stack walk adds to a finding: the _name@0 alias for a plain return that reads no
// argument, the second candidate for ret N when the first argument comes back in EAX (a
// structure returned through a hidden pointer, which the decoration leaves out, looks the
// same as a function returning its first pointer argument), and the arguments a function that
// never returns reads. A _name@0 serves only a caller that declares the function __stdcall
// without arguments, and such a call of code whose every return is a plain ret is right
// whatever the code reads: so for it the walk may take an element of a local array, reached
// through an index it cannot bound, to stay in the array.
void AddStackFindings(const StackArgumentUse& use, ConventionFinding* finding) {
    if (finding->neverReturns) {
        finding->argumentBytes = use.bytesReadWithoutReturn;
    } else if (finding->kind == ConventionKind::PlainReturn) {
        finding->noStackArguments = use.followed && !use.readsArgument;
    } else if (finding->kind == ConventionKind::Stdcall) {
        finding->mayReturnStructure = use.returnsFirst && finding->argumentBytes >= 4;
    }
}

} // namespace

bool NeedsConvention(const ExportEntry& entry) {
    return entry.named && !entry.data && !entry.forwarded && !IsDecorated(entry.name);
}

std::vector<ConventionFinding> FindExportConventions(const ExportTable& table,
                                                     const CodeImage& code) {
    // Some DLLs export a stdcall function both plain and decorated; the decorated export then
    // serves the caller, and a second entry of that name would clash with it.
    std::set<std::string> decoratedNames, exportedNames; // _x@N; all decorated names
    for (const ExportEntry& entry : table.entries) {
        if (entry.named && entry.name[0] == '_' && IsDecorated(entry.name)) {
            decoratedNames.insert(entry.name);
        }
        if (entry.named && IsDecorated(entry.name)) {
            exportedNames.insert(entry.name);
        }
    }
    CodeAnalysis analysis;
    std::vector<ConventionFinding> findings(table.entries.size(),
                                            {ConventionKind::NotExamined, 0, ""});
    std::vector<std::pair<uint32_t, WalkQuestion>> walks; // by entry
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        if (!NeedsConvention(entry)) {
            continue;
        }
        ConventionFinding& finding = findings[i];
        finding = FindConvention(code, &analysis, entry.address);
        finding.nameTaken =
            finding.kind == ConventionKind::Stdcall && !decoratedNames.empty() &&
            decoratedNames.count(StdcallName(entry.name, finding.argumentBytes)) != 0;
        if (finding.kind == ConventionKind::PlainReturn ||
            finding.kind == ConventionKind::Stdcall || finding.neverReturns) {
            walks.emplace_back(entry.address, finding.kind == ConventionKind::PlainReturn
                                                  ? WalkQuestion::ReadsArgument
                                                  : WalkQuestion::ReturnsFirst);
        }
    }
    // From the last entry to the first, so that code running on into a later export's is
    // followed once (see StackWalkMemo).
    std::sort(walks.rbegin(), walks.rend());
    walks.erase(std::unique(walks.begin(), walks.end()), walks.end());
    StackWalkMemo memo;
    memo.stepsLeft = code.instructionBudget * kStackStepsPerInstruction;
    std::vector<StackArgumentUse> stackUse; // by walk: aliases share one
    stackUse.reserve(walks.size());
    for (const auto& [address, question] : walks) {
        stackUse.push_back(FindStackArgumentUse(code, &analysis, address, question, &memo));
    }
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        ConventionFinding& finding = findings[i];
        const auto walked = std::lower_bound(
            walks.begin(), walks.end(), entry.address,
            [](const auto& walk, uint32_t address) { return walk.first > address; });
        if (finding.kind == ConventionKind::NotExamined || walked == walks.end() ||
            walked->first != entry.address) {
            continue;
        }
        AddStackFindings(stackUse[static_cast<size_t>(walked - walks.begin())], &finding);
        // A second name the DLL exports itself needs no entry (and would clash with its own).
        const uint32_t secondBytes = finding.noStackArguments ? 0
                                     : finding.neverReturns   ? finding.argumentBytes
                                                              : finding.argumentBytes - 4;
        if ((finding.noStackArguments || finding.mayReturnStructure || finding.neverReturns) &&
            (exportedNames.count(StdcallName(entry.name, secondBytes)) != 0 ||
             exportedNames.count(entry.name + "@" + std::to_string(secondBytes)) != 0)) {
            finding.noStackArguments = finding.mayReturnStructure = false;
            finding.argumentBytes = finding.neverReturns ? 0 : finding.argumentBytes;
        }
    }
    return findings;
}
