#include "import_names.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* name;
    uint16_t ordinal;
    bool isData;
    Machine machine;
    const char* symbol;
    ImportNameType nameType;
    const char* imported; // what the loader looks up
    const char* publics;  // the archive symbols, space-separated
};

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

TEST(MakeImportEntry, FollowsTheX86DecorationAndOrdinalRules) {
    const NameCase cases[] = {
        {"foo", 0, false, Machine::X86, "_foo", ImportNameType::NoPrefix, "foo", "_foo __imp__foo"},
        {"_foo", 0, false, Machine::X86, "__foo", ImportNameType::NoPrefix, "_foo",
         "__foo __imp___foo"},
        {"Sum@8", 0, false, Machine::X86, "_Sum@8", ImportNameType::Undecorate, "Sum",
         "_Sum@8 __imp__Sum@8"},
        {"@Fast@12", 0, false, Machine::X86, "@Fast@12", ImportNameType::Undecorate, "Fast",
         "@Fast@12 __imp_@Fast@12"},
        {"?f@@YAXXZ", 0, false, Machine::X86, "?f@@YAXXZ", ImportNameType::Name, "?f@@YAXXZ",
         "?f@@YAXXZ __imp_?f@@YAXXZ"},
        // Not a decoration: no digits, digits missing, or a second '@' in the bare name.
        {"a@b", 0, false, Machine::X86, "_a@b", ImportNameType::NoPrefix, "a@b", "_a@b __imp__a@b"},
        {"a@", 0, false, Machine::X86, "_a@", ImportNameType::NoPrefix, "a@", "_a@ __imp__a@"},
        {"@8", 0, false, Machine::X86, "_@8", ImportNameType::NoPrefix, "@8", "_@8 __imp__@8"},
        {"a@b@8", 0, false, Machine::X86, "_a@b@8", ImportNameType::NoPrefix, "a@b@8",
         "_a@b@8 __imp__a@b@8"},
        // Ordinals import by number whatever the name looks like.
        {"foo", 5, false, Machine::X86, "_foo", ImportNameType::Ordinal, "", "_foo __imp__foo"},
        {"Sum@8", 65535, false, Machine::X86, "_Sum@8", ImportNameType::Ordinal, "",
         "_Sum@8 __imp__Sum@8"},
        // Data has the __imp_ symbol only.
        {"value", 0, true, Machine::X86, "_value", ImportNameType::NoPrefix, "value",
         "__imp__value"},
        {"value", 3, true, Machine::X86, "_value", ImportNameType::Ordinal, "", "__imp__value"},
        // x64: names as written.
        {"foo", 0, false, Machine::X64, "foo", ImportNameType::Name, "foo", "foo __imp_foo"},
        {"Sum@8", 0, false, Machine::X64, "Sum@8", ImportNameType::Name, "Sum@8",
         "Sum@8 __imp_Sum@8"},
        {"v", 0, true, Machine::X64, "v", ImportNameType::Name, "v", "__imp_v"},
        {"o", 2, false, Machine::X64, "o", ImportNameType::Ordinal, "", "o __imp_o"},
    };
    for (const NameCase& c : cases) {
        DefExport exported;
        exported.name = c.name;
        exported.ordinal = c.ordinal;
        exported.isData = c.isData;
        const ImportEntry entry = MakeImportEntry(exported, c.machine);
        EXPECT_EQ(entry.symbolName, c.symbol) << c.name;
        EXPECT_EQ(entry.nameType, c.nameType) << c.name;
        EXPECT_EQ(entry.type, c.isData ? ImportType::Data : ImportType::Code) << c.name;
        EXPECT_EQ(entry.ordinalOrHint, c.ordinal) << c.name;
        EXPECT_EQ(ImportedName(entry), c.imported) << c.name;
        EXPECT_EQ(Joined(PublicSymbols(entry)), c.publics) << c.name;
    }
}

} // namespace
