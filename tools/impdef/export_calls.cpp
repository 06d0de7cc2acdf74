#include "export_calls.h"

#include "import_table.h"
#include "name_decoration.h"
#include "stack_arguments.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace {

// Room for the ends of paths outside the code: jumps out of it, and tables read past it.
constexpr uint64_t kLeavesOutsideCode = 65536;
// The stack walks of all exports follow at most this many instructions per instruction the
// DLL's code may hold.
constexpr size_t kStackStepsPerInstruction = 2;

// The file bytes backing rva inside a section that passes the filter, as offset and count.
bool SectionBytes(ByteView file, const PeImage& image, uint32_t rva, bool executableOnly,
                  uint64_t* offset, uint64_t* count) {
    const PeSection* section = FindSection(image, rva);
    if (section == nullptr || (executableOnly && !IsExecutable(*section))) {
        return false;
    }
    const uint64_t into = rva - static_cast<uint64_t>(section->virtualAddress);
    if (into >= section->rawSize) {
        return false;
    }
    *offset = section->rawOffset + into;
    const uint64_t rawEnd = static_cast<uint64_t>(section->rawOffset) + section->rawSize;
    const uint64_t end = std::min(rawEnd, file.size);
    *count = *offset < end ? end - *offset : 0;
    return *count != 0;
}

// What the stack walk adds to a finding: the _name@0 alias for a plain return that reads no
// argument, the second candidate for ret N when the first argument comes back in EAX (a
// structure returned through a hidden pointer, which the decoration leaves out, looks the
// same as a function returning its first pointer argument), and the arguments a function that
// never returns reads. A _name@0 serves only a caller that declares the function __stdcall
// without arguments, and such a call of code whose every return is a plain ret is right
// whatever the code reads: so for it the walk may take an element of a local array, reached
// through an index it cannot bound, to stay in the array.
void AddStackFindings(const StackArgumentUse& use, CallFinding* finding) {
    if (finding->neverReturns) {
        finding->argumentBytes = use.bytesReadWithoutReturn;
    } else if (finding->kind == CallKind::PlainReturn) {
        finding->noStackArguments = use.followed && !use.readsArgument;
    } else if (finding->kind == CallKind::Stdcall) {
        finding->mayReturnStructure = use.returnsFirst && finding->argumentBytes >= 4;
    }
}

} // namespace

bool NeedsCallFinding(const ExportEntry& entry) {
    return entry.named && !entry.data && !entry.forwarded && !IsDecorated(entry.name);
}

std::vector<CallFinding> FindExportCalls(const ExportTable& table, const CodeImage& code) {
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
    std::vector<CallFinding> findings(table.entries.size(), {CallKind::NotExamined, 0, ""});
    std::vector<std::pair<uint32_t, bool>> walks; // entry, only whether it reads an argument
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        if (!NeedsCallFinding(entry)) {
            continue;
        }
        CallFinding& finding = findings[i];
        finding = FindCallKind(code, entry.address);
        finding.nameTaken =
            finding.kind == CallKind::Stdcall && !decoratedNames.empty() &&
            decoratedNames.count(StdcallName(entry.name, finding.argumentBytes)) != 0;
        if (finding.kind == CallKind::PlainReturn || finding.kind == CallKind::Stdcall ||
            finding.neverReturns) {
            walks.emplace_back(entry.address, finding.kind == CallKind::PlainReturn);
        }
    }
    // From the last entry to the first, so that code running on into a later export's is
    // followed once (see StackWalkMemo).
    std::sort(walks.rbegin(), walks.rend());
    walks.erase(std::unique(walks.begin(), walks.end()), walks.end());
    StackWalkMemo memo;
    memo.stepsLeft = code.instructionBudget * kStackStepsPerInstruction;
    std::unordered_map<uint32_t, StackArgumentUse> stackUse; // by entry: aliases share code
    for (const auto& [address, stopAtRead] : walks) {
        stackUse[address] = FindStackArgumentUse(code, address, stopAtRead, &memo);
    }
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        CallFinding& finding = findings[i];
        const auto known = stackUse.find(entry.address);
        if (finding.kind == CallKind::NotExamined || known == stackUse.end()) {
            continue;
        }
        AddStackFindings(known->second, &finding);
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

CodeImage FileCodeImage(ByteView file, const PeImage& image, const ExportTable& table) {
    CodeImage code;
    code.code = [file, &image](uint32_t rva, unsigned char* out, size_t want) -> size_t {
        uint64_t offset = 0;
        uint64_t count = 0;
        if (!SectionBytes(file, image, rva, true, &offset, &count)) {
            return 0;
        }
        const size_t got = static_cast<size_t>(std::min<uint64_t>(count, want));
        return ReadBytes(file, offset, got, out) ? got : 0;
    };
    code.readU32 = [file, &image](uint32_t rva, uint32_t* value) {
        uint64_t offset = 0;
        uint64_t count = 0;
        return SectionBytes(file, image, rva, false, &offset, &count) && count >= 4 &&
               ReadU32(file, offset, value);
    };
    code.imageBase = static_cast<uint32_t>(image.imageBase);
    code.imports = ReadImportSlots(file, image);
    // Each instruction starts at a byte of its own: the code's size bounds the work.
    uint64_t codeBytes = kLeavesOutsideCode;
    uint64_t start = ~0u, end = 0;
    for (const PeSection& section : image.sections) {
        if (IsExecutable(section)) {
            codeBytes += section.rawSize;
            start = std::min<uint64_t>(start, section.virtualAddress);
            end = std::max<uint64_t>(end, uint64_t{section.virtualAddress} + section.rawSize);
        }
    }
    code.codeStart = static_cast<uint32_t>(std::min(start, end));
    code.codeEnd = static_cast<uint32_t>(std::min<uint64_t>(end, ~0u));
    code.instructionBudget = static_cast<size_t>(std::min<uint64_t>(codeBytes, kMaxInstructions));
    for (const ExportEntry& entry : table.entries) {
        if (!entry.data && !entry.forwarded) {
            code.entries.push_back(entry.address);
        }
    }
    std::sort(code.entries.begin(), code.entries.end());
    return code;
}
