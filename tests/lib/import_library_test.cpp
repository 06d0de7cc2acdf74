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

// A COFF symbol record's name: in the record, or at an offset into the string table.
std::string SymbolName(const Bytes& obj, size_t symbols, size_t index) {
    const size_t record = symbols + 18 * index;
    if (ReadLE(obj, record, 4) != 0) {
        const std::string inRecord = ReadText(obj, record, 8);
        return inRecord.substr(0, inRecord.find('\0'));
    }
    const size_t strings = symbols + 18 * ReadLE(obj, 12, 4);
    return ReadNames(obj, strings + ReadLE(obj, record + 4, 4), 1)[0];
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
        {7, "_alpha@4", 0, 0 | 2 << 2}, // code, no prefix
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

// The header's name field holds 16 bytes, the closing '/' among them: a name of 15 fits, one
// of 16 (vcruntime140.dll) or more goes into the longnames member, once.
TEST(BuildImportLibrary, PutsADllNameTooLongForTheHeaderIntoTheLongnamesMemberOnce) {
    const std::pair<std::string, bool> cases[] = {{"vcruntime14.dll", false},
                                                  {"vcruntime140.dll", true},
                                                  {"vcruntime1400.dll", true},
                                                  {"a-rather-long-name.dll", true}};
    for (const auto& c : cases) {
        const std::string& dll = c.first;
        const Bytes lib = Build("EXPORTS\n f\n g\n", dll, Machine::X86);
        const std::vector<Member> members = ReadMembers(lib);
        ASSERT_EQ(members.size(), 8u);
        EXPECT_EQ(members[2].name, "//");
        EXPECT_EQ(ReadText(members[2].data, 0, members[2].data.size()),
                  c.second ? dll + '\0' : std::string())
            << dll;
        for (size_t i = 3; i < members.size(); ++i)
            EXPECT_EQ(members[i].name, c.second ? "/0" : dll + "/") << dll;
    }
}

TEST(BuildImportLibrary, MakesAnAliasOfItsOwnImportWhenNoNameTypeGivesTheImportName) {
    const Bytes lib = Build("EXPORTS\n f == g\n v == w DATA\n g\n", "a.dll", Machine::X86);
    const std::vector<Member> members = ReadMembers(lib);
    ASSERT_EQ(members.size(), 3u + 3u + 5u);
    // f: aliases _f -> _g and __imp__f -> __imp__g, g's import made by its own entry later;
    // v: the import of w, then the alias __imp__v -> __imp__w.
    const struct {
        size_t member;
        const char* target;
        const char* alias;
    } aliases[] = {{6, "_g", "_f"}, {7, "__imp__g", "__imp__f"}, {9, "__imp__w", "__imp__v"}};
    for (const auto& alias : aliases) {
        const Bytes& obj = members[alias.member].data;
        EXPECT_EQ(ReadLE(obj, 0, 2), 0x014Cu);
        EXPECT_EQ(ReadLE(obj, 2, 2), 0u);  // no sections
        EXPECT_EQ(ReadLE(obj, 12, 4), 4u); // @feat.00, target, weak external, auxiliary record
        const size_t symbols = ReadLE(obj, 8, 4) + 18;
        EXPECT_EQ(SymbolName(obj, symbols - 18, 0), "@feat.00");
        EXPECT_EQ(ReadLE(obj, symbols - 18 + 8, 4), 1u);    // safe for /SAFESEH
        EXPECT_EQ(ReadLE(obj, symbols + 12, 2), 0u);        // target: undefined
        EXPECT_EQ(ReadLE(obj, symbols + 16, 1), 2u);        // external
        EXPECT_EQ(ReadLE(obj, symbols + 18 + 16, 1), 105u); // weak external
        EXPECT_EQ(ReadLE(obj, symbols + 18 + 17, 1), 1u);   // one auxiliary record
        EXPECT_EQ(ReadLE(obj, symbols + 36, 4), 1u);        // stands for symbol 1
        EXPECT_EQ(ReadLE(obj, symbols + 40, 4), 3u);        // searched as an alias
        EXPECT_EQ(SymbolName(obj, symbols - 18, 1), alias.target);
        EXPECT_EQ(SymbolName(obj, symbols - 18, 2), alias.alias);
    }
    EXPECT_EQ(ReadText(members[8].data, 20, 4), std::string("_w\0a", 4));
    EXPECT_EQ(ReadLE(members[8].data, 18, 2), 1u | 2u << 2); // data, no prefix
    EXPECT_EQ(ReadText(members[10].data, 20, 4), std::string("_g\0a", 4));
}

TEST(BuildImportLibrary, RefusesADefFileWithNothingToImportOrTooMuch) {
    DefFile def;
    Bytes lib;
    std::string error;
    EXPECT_FALSE(BuildImportLibrary(def, "a.dll", Machine::X86, &lib, &error));
    EXPECT_EQ(error, "no exports: the .def file lists none after EXPORTS");
    def.exports.resize(65533);
    for (size_t i = 0; i < def.exports.size(); ++i)
        def.exports[i].name = "f" + std::to_string(i);
    EXPECT_FALSE(BuildImportLibrary(def, "a.dll", Machine::X64, &lib, &error));
    EXPECT_EQ(error, "too many exports: 65533 to import; one import library holds at most 65532 "
                     "(its symbol index numbers the objects with 16 bits, and 3 objects describe "
                     "the DLL; an export imported through '==' may take 3)");
    def.exports.back().isPrivate = true;
    EXPECT_TRUE(BuildImportLibrary(def, "a.dll", Machine::X64, &lib, &error)) << error;
    for (DefExport& exported : def.exports)
        exported.isPrivate = true;
    EXPECT_FALSE(BuildImportLibrary(def, "a.dll", Machine::X86, &lib, &error));
    EXPECT_EQ(error, "no exports: all are PRIVATE");
}

TEST(WriteArchive, RefusesMoreObjectsThanTheSecondLinkerMemberCanNumber) {
    const uint8_t object[2] = {0, 0};
    std::vector<ArchiveMember> members(65536, ArchiveMember{"x.dll", object, 2, {}, 0});
    Bytes lib;
    std::string error;
    EXPECT_FALSE(WriteArchive(members, ByteSink{&lib, nullptr}, &error));
    EXPECT_TRUE(lib.empty());
    EXPECT_EQ(error, "too many objects for one library: 65536, at most 65535");
    members.pop_back();
    EXPECT_TRUE(WriteArchive(members, ByteSink{&lib, nullptr}, &error));
}

} // namespace
