#include "byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const unsigned char kBytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 'a', 'b', 0, 'c'};
const ByteView kView{kBytes, sizeof kBytes};

struct RangeCase {
    uint64_t offset;
    uint64_t length;
    bool inside;
};

TEST(ByteReader, RangeChecksNeverWrapOrReadPastTheEnd) {
    const RangeCase cases[] = {
        {0, 9, true},           {9, 0, true},           {8, 1, true},
        {8, 2, false},          {9, 1, false},          {10, 0, false},
        {1, UINT64_MAX, false}, {UINT64_MAX, 2, false}, {UINT64_MAX - 1, 4, false},
    };
    for (const RangeCase& c : cases) {
        EXPECT_EQ(HasRange(kView, c.offset, c.length), c.inside)
            << "offset " << c.offset << " length " << c.length;
    }
}

TEST(ByteReader, ReadsLittleEndianValuesOnlyInsideTheBuffer) {
    uint32_t u32 = 0;
    uint16_t u16 = 0;
    EXPECT_TRUE(ReadU32(kView, 0, &u32));
    EXPECT_EQ(u32, 0x04030201u);
    EXPECT_TRUE(ReadU32(kView, 5, &u32));
    EXPECT_EQ(u32, 0x63006261u);
    EXPECT_FALSE(ReadU32(kView, 6, &u32));
    EXPECT_FALSE(ReadU32(kView, UINT64_MAX - 2, &u32));
    EXPECT_TRUE(ReadU16(kView, 3, &u16));
    EXPECT_EQ(u16, 0x0504);
    EXPECT_TRUE(ReadU16(kView, 7, &u16));
    EXPECT_FALSE(ReadU16(kView, 8, &u16));
}

struct StringCase {
    uint64_t offset;
    uint64_t limit;
    bool found;
    const char* text;
};

TEST(ByteReader, StringsNeedTheirNulBeforeTheLimit) {
    const StringCase cases[] = {
        {5, 9, true, "ab"},  {6, 9, true, "b"},
        {7, 9, true, ""},    {5, 7, false, ""},
        {8, 9, false, ""},   {8, 100, false, ""},
        {9, 100, false, ""}, {UINT64_MAX, UINT64_MAX, false, ""},
    };
    for (const StringCase& c : cases) {
        std::string text = "unchanged";
        EXPECT_EQ(ReadCString(kView, c.offset, c.limit, &text), c.found) << "offset " << c.offset;
        if (c.found) {
            EXPECT_EQ(text, c.text);
        }
    }
}

} // namespace
