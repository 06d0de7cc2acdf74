#include "import_library.h"

#include "archive_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

// Bounds-checked reads from the library's bytes; out-of-range reads fail the test.
uint32_t ReadLE(const Bytes& b, size_t offset, size_t width) {
    EXPECT_LE(offset + width, b.size());
    uint32_t value = 0;
    for (size_t i = 0; i < width && offset + i < b.size(); ++i)
        value |= static_cast<uint32_t>(b[offset + i]) << (8 * i);
    return value;
}

uint32_t ReadBE32(const Bytes& b, size_t offset) {
    EXPECT_LE(offset + 4, b.size());
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && offset + i < b.size(); ++i)
        value = value << 8 | b[offset + i];
    return value;
}

std::string ReadText(const Bytes& b, size_t offset, size_t size) {
    EXPECT_LE(offset + size, b.size());
    if (offset + size > b.size())
        return std::string();
    return std::string(b.begin() + offset, b.begin() + offset + size);
}

// NUL-terminated strings, count of them, from offset.
std::vector<std::string> ReadNames(const Bytes& b, size_t offset, size_t count) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count && offset < b.size(); ++i) {
        std::string name;
        while (offset < b.size() && b[offset] != 0)
            name += static_cast<char>(b[offset++]);
        ++offset;
        names.push_back(name);
    }
    return names;
}

struct Member {
    size_t headerOffset;
    std::string name; // the header's name field, blanks trimmed
    Bytes data;
};

std::string Trimmed(std::string text) {
    return text.erase(text.find_last_not_of(' ') + 1);
}

std::vector<Member> ReadMembers(const Bytes& lib) {
    EXPECT_EQ(ReadText(lib, 0, 8), "!<arch>\n");
    std::vector<Member> members;
    size_t offset = 8;
    while (offset + 60 <= lib.size()) {
        EXPECT_EQ(offset % 2, 0u) << "members start on even offsets";
        EXPECT_EQ(ReadText(lib, offset + 58, 2), "`\n");
        const size_t size = std::strtoul(ReadText(lib, offset + 48, 10).c_str(), nullptr, 10);
        const size_t start = offset + 60;
        EXPECT_LE(start + size, lib.size());
        if (start + size > lib.size())
            break;
        members.push_back({offset, Trimmed(ReadText(lib, offset, 16)),
                           Bytes(lib.begin() + start, lib.begin() + start + size)});
        offset = start + size + size % 2;
    }
    EXPECT_EQ(offset, lib.size());
    return members;
}

Bytes Build(const char* defText, const std::string& dllName, Machine machine) {
    DefFile def;
    std::string error;
    EXPECT_TRUE(ParseDefText(defText, "t.def", &def, &error)) << error;
    Bytes lib;
    EXPECT_TRUE(BuildImportLibrary(def, dllName, machine, &lib, &error)) << error;
    return lib;
}

const char kDef[] = "EXPORTS\n zeta\n alpha@4\n mid @7 NONAME\n gone PRIVATE\n val DATA\n";

TEST(BuildImportLibrary, LaysOutLinkerMembersLongnamesThenDescriptorObjectsThenImports) {
    const Bytes lib = Build(kDef, "short.dll", Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_EQ(members.size(), 3u + 3u + 4u); // PRIVATE is left out
    EXPECT_EQ(members[0].name, "/");
    EXPECT_EQ(members[1].name, "/");
    EXPECT_EQ(members[2].name, "//");
    EXPECT_TRUE(members[2].data.empty());
    for (size_t i = 3; i < members.size(); ++i)
        EXPECT_EQ(members[i].name, "short.dll/");
}

TEST(BuildImportLibrary, IndexesEverySymbolInBothLinkerMembersAndSortsTheSecond) {
    const Bytes lib = Build(kDef, "short.dll", Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_GE(members.size(), 4u);
    // First linker member: big-endian count and offsets, names in member order.
    const Bytes& first = members[0].data;
    const uint32_t count = ReadBE32(first, 0);
    const std::vector<std::string> firstNames = ReadNames(first, 4 + 4 * count, count);
    const std::vector<std::string> expected = {"__IMPORT_DESCRIPTOR_short",
                                               "__NULL_IMPORT_DESCRIPTOR",
                                               "\x7fshort_NULL_THUNK_DATA",
                                               "_zeta",
                                               "__imp__zeta",
                                               "_alpha@4",
                                               "__imp__alpha@4",
                                               "_mid",
                                               "__imp__mid",
                                               "__imp__val"};
    EXPECT_EQ(firstNames, expected);
    const size_t expectedMember[] = {3, 4, 5, 6, 6, 7, 7, 8, 8, 9};
    for (uint32_t i = 0; i < count && i < expected.size(); ++i)
        EXPECT_EQ(ReadBE32(first, 4 + 4 * i), members[expectedMember[i]].headerOffset) << i;

    // Second linker member: little-endian member offsets, 1-based indexes, sorted names.
    const Bytes& second = members[1].data;
    const uint32_t memberCount = ReadLE(second, 0, 4);
    ASSERT_EQ(memberCount, members.size() - 3);
    for (uint32_t i = 0; i < memberCount; ++i)
        EXPECT_EQ(ReadLE(second, 4 + 4 * i, 4), members[3 + i].headerOffset);
    const size_t symbolsAt = 4 + 4 * memberCount;
    ASSERT_EQ(ReadLE(second, symbolsAt, 4), count);
    const std::vector<std::string> sorted = ReadNames(second, symbolsAt + 4 + 2 * count, count);
    std::vector<std::string> expectedSorted = expected;
    std::sort(expectedSorted.begin(), expectedSorted.end());
    EXPECT_EQ(sorted, expectedSorted);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t index = ReadLE(second, symbolsAt + 4 + 2 * i, 2);
        const size_t original =
            std::find(expected.begin(), expected.end(), sorted[i]) - expected.begin();
        ASSERT_LT(original, expected.size());
        EXPECT_EQ(index + 2, expectedMember[original]) << sorted[i];
    }
}

TEST(BuildImportLibrary, SortsTheSecondLinkerMemberByUnsignedByteValue) {
    // A code-page-936 name sorts after every ASCII name, and 0x7F after '_'.
    const Bytes lib = Build("EXPORTS\n \xd6\xd0\n Z\n", "t.dll", Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_GE(members.size(), 2u);
    const Bytes& second = members[1].data;
    const uint32_t memberCount = ReadLE(second, 0, 4);
    const size_t symbolsAt = 4 + 4 * memberCount;
    const uint32_t count = ReadLE(second, symbolsAt, 4);
    const std::vector<std::string> expected = {"_Z",
                                               "__IMPORT_DESCRIPTOR_t",
                                               "__NULL_IMPORT_DESCRIPTOR",
                                               "__imp__Z",
                                               "__imp__\xd6\xd0",
                                               "_\xd6\xd0",
                                               "\x7ft_NULL_THUNK_DATA"};
    EXPECT_EQ(ReadNames(second, symbolsAt + 4 + 2 * count, count), expected);
}

struct ShortImportCase {
    size_t member;
    const char* symbol;
    uint16_t ordinalOrHint;
    uint16_t typeBits; // Type | Name Type << 2
};

TEST(BuildImportLibrary, WritesShortImportHeadersWithTypeNameTypeAndOrdinal) {
    const Bytes lib = Build(kDef, "short.dll", Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_EQ(members.size(), 10u);
    const ShortImportCase cases[] = {
        {6, "_zeta", 0, 0 | 2 << 2},    // code, no prefix
        {7, "_alpha@4", 0, 0 | 3 << 2}, // code, undecorate
        {8, "_mid", 7, 0 | 0 << 2},     // code, ordinal
        {9, "_val", 0, 1 | 2 << 2},     // data, no prefix
    };
    for (const ShortImportCase& c : cases) {
        const Bytes& obj = members[c.member].data;
        EXPECT_EQ(ReadLE(obj, 0, 2), 0x0000u);
        EXPECT_EQ(ReadLE(obj, 2, 2), 0xFFFFu);
        EXPECT_EQ(ReadLE(obj, 4, 2), 0u);
        EXPECT_EQ(ReadLE(obj, 6, 2), 0x014Cu);
        const std::string strings = std::string(c.symbol) + '\0' + "short.dll" + '\0';
        EXPECT_EQ(ReadLE(obj, 12, 4), strings.size());
        EXPECT_EQ(ReadLE(obj, 16, 2), c.ordinalOrHint) << c.symbol;
        EXPECT_EQ(ReadLE(obj, 18, 2), c.typeBits) << c.symbol;
        EXPECT_EQ(ReadText(obj, 20, strings.size()), strings);
        EXPECT_EQ(obj.size(), 20 + strings.size());
    }
}

TEST(BuildImportLibrary, DescribesTheDllInThreeCoffObjects) {
    const Bytes lib = Build("EXPORTS\n f\n", "abc.dll", Machine::X64);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_EQ(members.size(), 7u);
    // machine, sections, symbols, and the sections' names and sizes
    const Bytes& descriptor = members[3].data;
    EXPECT_EQ(ReadLE(descriptor, 0, 2), 0x8664u);
    EXPECT_EQ(ReadLE(descriptor, 2, 2), 2u);
    EXPECT_EQ(ReadLE(descriptor, 12, 4), 7u);
    EXPECT_EQ(ReadText(descriptor, 20, 8), ".idata$2");
    EXPECT_EQ(ReadLE(descriptor, 20 + 16, 4), 20u);
    EXPECT_EQ(ReadLE(descriptor, 20 + 32, 2), 3u); // relocations
    EXPECT_EQ(ReadText(descriptor, 60, 8), ".idata$6");
    EXPECT_EQ(ReadLE(descriptor, 60 + 16, 4), 8u); // "abc.dll\0"
    const Bytes& terminator = members[4].data;
    EXPECT_EQ(ReadText(terminator, 20, 8), ".idata$3");
    EXPECT_EQ(ReadLE(terminator, 20 + 16, 4), 20u);
    const Bytes& thunk = members[5].data;
    EXPECT_EQ(ReadText(thunk, 20, 8), ".idata$5");
    EXPECT_EQ(ReadLE(thunk, 20 + 16, 4), 8u); // one 64-bit entry
    EXPECT_EQ(ReadText(thunk, 60, 8), ".idata$4");
    const Bytes& import = members[6].data;
    EXPECT_EQ(ReadText(import, 20, 10), std::string("f\0abc.dll\0", 10));
}

TEST(BuildImportLibrary, PutsALongDllNameIntoTheLongnamesMemberOnce) {
    const std::string dll = "a-rather-long-name.dll";
    const Bytes lib = Build("EXPORTS\n f\n g\n", dll, Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_EQ(members.size(), 8u);
    EXPECT_EQ(members[2].name, "//");
    EXPECT_EQ(ReadText(members[2].data, 0, members[2].data.size()), dll + '\0');
    for (size_t i = 3; i < members.size(); ++i)
        EXPECT_EQ(members[i].name, "/0");
}

TEST(WriteArchive, RefusesMoreObjectsThanTheSecondLinkerMemberCanNumber) {
    std::vector<ArchiveMember> members(65536, ArchiveMember{"x.dll", Bytes(2, 0), {}});
    Bytes lib;
    std::string error;
    EXPECT_FALSE(WriteArchive(members, &lib, &error));
    EXPECT_EQ(error, "too many objects for one library: 65536, at most 65535");
    members.pop_back();
    EXPECT_TRUE(WriteArchive(members, &lib, &error));
}

} // namespace
