#include "call_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t kCodeRva = 0x1000;
constexpr uint32_t kImageBase = 0x10000000;

// An image whose only section, executable, holds bytes at kCodeRva.
CodeImage ImageOf(const std::vector<unsigned char>& bytes, std::vector<uint32_t> entries) {
    CodeImage image;
    image.code = [&bytes](uint32_t rva, unsigned char* out, size_t want) -> size_t {
        if (rva < kCodeRva || rva - kCodeRva >= bytes.size()) {
            return 0;
        }
        const size_t got = std::min(want, bytes.size() - (rva - kCodeRva));
        std::copy_n(bytes.begin() + (rva - kCodeRva), got, out);
        return got;
    };
    image.readU32 = [&bytes](uint32_t rva, uint32_t* value) {
        if (rva < kCodeRva || rva - kCodeRva + 4 > bytes.size()) {
            return false;
        }
        const size_t at = rva - kCodeRva;
        *value = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                 static_cast<uint32_t>(bytes[at + 3]) << 24;
        return true;
    };
    image.imageBase = kImageBase;
    image.entries = std::move(entries);
    return image;
}

struct AnalysisCase {
    const char* what;
    std::vector<unsigned char> code; // the function starts at its first byte
    CallKind kind;
    uint32_t argumentBytes;
    const char* reason; // start of the reason, for Unknown
    std::vector<uint32_t> otherEntries;
};

constexpr CallKind S = CallKind::Stdcall, P = CallKind::PlainReturn, U = CallKind::Unknown;

const AnalysisCase kCases[] = {
    {"ret 8", {0xC2, 0x08, 0x00}, S, 8, "", {}},
    {"ret", {0xC3}, P, 0, "", {}},
    {"ret 0 is a plain return", {0xC2, 0x00, 0x00}, P, 0, "", {}},
    {"frame, then ret 12", {0x55, 0x8B, 0xEC, 0x5D, 0xC2, 0x0C, 0x00}, S, 12, "", {}},
    {"both branches ret 8",
     {0x85, 0xC0, 0x74, 0x05, 0x33, 0xC0, 0xC2, 0x08, 0x00, 0x40, 0xC2, 0x08, 0x00},
     S,
     8,
     "",
     {}},
    {"ret 4 on one branch, ret on the other",
     {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC3},
     U,
     0,
     "it returns both with ret and ret 4",
     {}},
    {"ret 4 and ret 8",
     {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x04, 0x00, 0xC2, 0x08, 0x00},
     U,
     0,
     "it returns with ret 4 and ret 8",
     {}},
    {"ret 6 is no stdcall return", {0xC2, 0x06, 0x00}, U, 0, "it returns with ret 6", {}},
    {"a tail jmp to code that returns with ret 4",
     {0xE9, 0x03, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"a loop, then ret 16", {0x48, 0x75, 0xFD, 0xC2, 0x10, 0x00}, S, 16, "", {}},
    {"a bounded jump table, every case ret 8",
     {0x83, 0xF8, 0x01, 0x77, 0x07, 0xFF, 0x24, 0x85, 0x20, 0x10, 0x00, 0x10, 0xC2, 0x08,
      0x00, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC,
      0xCC, 0xCC, 0xCC, 0xCC, 0x0C, 0x10, 0x00, 0x10, 0x0C, 0x10, 0x00, 0x10},
     S,
     8,
     "",
     {}},
    {"a jump table whose size the code does not show",
     {0xFF, 0x24, 0x85, 0x20, 0x10, 0x00, 0x10},
     U,
     0,
     "it jumps through a table",
     {}},
    {"a tail jump through an import",
     {0xFF, 0x25, 0x00, 0x20, 0x00, 0x10},
     U,
     0,
     "it leaves through an import",
     {}},
    {"a jump to a register", {0xFF, 0xE0}, U, 0, "it jumps to a computed address", {}},
    {"no return: int3", {0xCC}, U, 0, "no return found", {}},
    {"no return: jmp $", {0xEB, 0xFE}, U, 0, "no return found", {}},
    {"an invalid instruction", {0x0F, 0x04}, U, 0, "the instruction at RVA 0x1000 cannot", {}},
    {"code running past the section", {0x90, 0x90}, U, 0, "its code leaves the executable", {}},
    {"a far return", {0xCB}, U, 0, "it uses a far jump", {}},
    {"a call that does not return falls onto the next export",
     {0x74, 0x06, 0xE8, 0, 0, 0, 0, 0xC3, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {0x1007}},
    {"ecx read on entry: fastcall or thiscall",
     {0x8B, 0xC1, 0xC2, 0x04, 0x00},
     U,
     0,
     "it returns with ret 4 but reads ecx",
     {}},
    {"edx tested on entry",
     {0x85, 0xD2, 0x74, 0x00, 0xC2, 0x08, 0x00},
     U,
     0,
     "it returns with ret 8 but",
     {}},
    {"ecx pushed to make room, set, then read",
     {0x51, 0x8B, 0x4C, 0x24, 0x08, 0x8B, 0xC1, 0x59, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"edx cleared, then read", {0x33, 0xD2, 0x8B, 0xC2, 0xC2, 0x04, 0x00}, S, 4, "", {}},
    {"ecx read after a call, which sets it",
     {0xE8, 0, 0, 0, 0, 0x8B, 0xC1, 0xC2, 0x04, 0x00},
     S,
     4,
     "",
     {}},
    {"a call to a function that never returns ends its path",
     {0x85, 0xC0, 0x74, 0x08, 0xE8, 0x07, 0, 0, 0, 0xC2, 0x08, 0x00, 0xC2, 0x04, 0x00, 0xCC, 0xEB,
      0xFE},
     S,
     4,
     "",
     {}},
    {"the same without the next export's entry known",
     {0x74, 0x06, 0xE8, 0, 0, 0, 0, 0xC3, 0xC2, 0x04, 0x00},
     U,
     0,
     "it returns both",
     {}},
};

TEST(CallAnalysis, FollowsEveryPathToItsReturn) {
    for (const AnalysisCase& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> entries = c.otherEntries;
        entries.push_back(kCodeRva);
        std::sort(entries.begin(), entries.end());
        const CallFinding finding = FindCallKind(ImageOf(c.code, entries), kCodeRva);
        EXPECT_EQ(finding.kind, c.kind);
        EXPECT_EQ(finding.argumentBytes, c.argumentBytes);
        EXPECT_EQ(finding.reason.rfind(c.reason, 0), 0u) << finding.reason;
    }
}

TEST(CallAnalysis, GivesUpOnTooMuchCode) {
    std::vector<unsigned char> code(30000, 0x90);
    code.push_back(0xC3);
    const CallFinding finding = FindCallKind(ImageOf(code, {kCodeRva}), kCodeRva);
    EXPECT_EQ(finding.kind, CallKind::Unknown);
    EXPECT_NE(finding.reason.find("more code than"), std::string::npos) << finding.reason;
}

} // namespace
