// The programs' GetTickCount64: kernel32's where there is one, and on Windows XP a 64-bit count
// of its own on GetTickCount. Wine always has the newer function, so the XP path is fed its
// 32-bit counts here.
#include "tick_count64.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<DWORD> g_ticks;
size_t g_nextTick = 0;

DWORD WINAPI NextTick() {
    return g_ticks.at(g_nextTick++);
}
ULONGLONG WINAPI NewerCount() {
    return 0x123456789ULL;
}

struct XpCase {
    const char* what;
    std::vector<DWORD> ticks;
    std::vector<ULONGLONG> counts;
};

TEST(TickCount64, WithoutKernelsFunctionTheCountGoesOnPastEachWrapOfGetTickCount) {
    const XpCase cases[] = {
        {"no wrap", {0, 5, 5, 70000}, {0, 5, 5, 70000}},
        {"one wrap",
         {0xFFFFFFF0, 0xFFFFFFFF, 0x10, 0x20},
         {0xFFFFFFF0, 0xFFFFFFFF, 0x100000010, 0x100000020}},
        {"two wraps",
         {0xFFFFFFFE, 1, 0xFFFFFFFF, 0},
         {0xFFFFFFFE, 0x100000001, 0x1FFFFFFFF, 0x200000000}},
    };
    for (const XpCase& c : cases) {
        g_ticks = c.ticks;
        g_nextTick = 0;
        std::atomic<ULONGLONG> last{0};
        std::vector<ULONGLONG> counts;
        for (size_t i = 0; i < c.ticks.size(); ++i)
            counts.push_back(TickCount64From(nullptr, NextTick, last));
        EXPECT_EQ(counts, c.counts) << c.what;
    }
}

TEST(TickCount64, KernelsFunctionIsUsedWhereThereIsOne) {
    std::atomic<ULONGLONG> last{0};
    EXPECT_EQ(TickCount64From(NewerCount, GetTickCount, last), 0x123456789ULL);
    EXPECT_EQ(last.load(), 0u);
}

TEST(TickCount64, TheXpCountFollowsGetTickCount) {
    std::atomic<ULONGLONG> last{0};
    const DWORD before = GetTickCount();
    const ULONGLONG count = TickCount64From(nullptr, GetTickCount, last);
    EXPECT_GE(count, before);
    EXPECT_LE(count, static_cast<ULONGLONG>(GetTickCount()));
}

} // namespace
