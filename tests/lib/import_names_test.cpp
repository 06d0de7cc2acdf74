#include "import_names.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* name;
    const char* importName; // after "==", or ""
    int ordinal;            // -1: none
    bool isData;
    Machine machine;
    const char* symbol;
    ImportNameType nameType;
    const char* imported; // what the loader looks up, or "alias of" the import name
    const char* publics;  // the archive symbols, space-separated
};

constexpr ImportNameType kName = ImportNameType::Name;
constexpr ImportNameType kNoPrefix = ImportNameType::NoPrefix;
constexpr ImportNameType kOrdinal = ImportNameType::Ordinal;
constexpr Machine kX86 = Machine::X86;
constexpr Machine kX64 = Machine::X64;

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

TEST(MakeImportEntry, FollowsTheX86DecorationAndOrdinalRules) {
    const NameCase cases[] = {
        // A name as the DLL exports it: the caller's symbol gets '_', the import is as written.
        {"foo", "", -1, false, kX86, "_foo", kNoPrefix, "foo", "_foo __imp__foo"},
        {"_foo", "", -1, false, kX86, "__foo", kNoPrefix, "_foo", "__foo __imp___foo"},
        {"Sum@8", "", -1, false, kX86, "_Sum@8", kNoPrefix, "Sum@8", "_Sum@8 __imp__Sum@8"},
        // Written as the caller's symbol: stdcall with its '_', fastcall, vectorcall, C++.
        {"_Sum@8", "", -1, false, kX86, "_Sum@8", kName, "_Sum@8", "_Sum@8 __imp__Sum@8"},
        {"@Fast@12", "", -1, false, kX86, "@Fast@12", kName, "@Fast@12", "@Fast@12 __imp_@Fast@12"},
        {"vec@@16", "", -1, false, kX86, "vec@@16", kName, "vec@@16", "vec@@16 __imp_vec@@16"},
        {"?f@@YAXXZ", "", -1, false, kX86, "?f@@YAXXZ", kName, "?f@@YAXXZ",
         "?f@@YAXXZ __imp_?f@@YAXXZ"},
        // Not a decoration: no digits, no name, or a second '@' in the bare name.
        {"a@b", "", -1, false, kX86, "_a@b", kNoPrefix, "a@b", "_a@b __imp__a@b"},
        {"@8", "", -1, false, kX86, "_@8", kNoPrefix, "@8", "_@8 __imp__@8"},
        {"_@8", "", -1, false, kX86, "__@8", kNoPrefix, "_@8", "__@8 __imp___@8"},
        {"_a@b@8", "", -1, false, kX86, "__a@b@8", kNoPrefix, "_a@b@8", "__a@b@8 __imp___a@b@8"},
        {"@a@b@8", "", -1, false, kX86, "_@a@b@8", kNoPrefix, "@a@b@8", "_@a@b@8 __imp__@a@b@8"},
        {"a@@b", "", -1, false, kX86, "_a@@b", kNoPrefix, "a@@b", "_a@@b __imp__a@@b"},
        {"a@b@@8", "", -1, false, kX86, "_a@b@@8", kNoPrefix, "a@b@@8", "_a@b@@8 __imp__a@b@@8"},
        // Ordinals import by number whatever the name looks like; 0 is an ordinal too.
        {"foo", "", 5, false, kX86, "_foo", kOrdinal, "", "_foo __imp__foo"},
        {"_Sum@8", "", 65535, false, kX86, "_Sum@8", kOrdinal, "", "_Sum@8 __imp__Sum@8"},
        {"zero", "", 0, false, kX86, "_zero", kOrdinal, "", "_zero __imp__zero"},
        {"Sum@8", "Sum", 7, false, kX86, "_Sum@8", kOrdinal, "", "_Sum@8 __imp__Sum@8"},
        // Data has the __imp_ symbol only.
        {"value", "", -1, true, kX86, "_value", kNoPrefix, "value", "__imp__value"},
        {"value", "", 3, true, kX86, "_value", kOrdinal, "", "__imp__value"},
        // "== importname": a name type that gives it, or else an alias of its own import.
        {"Sum@8", "Sum", -1, false, kX86, "_Sum@8", ImportNameType::Undecorate, "Sum",
         "_Sum@8 __imp__Sum@8"},
        {"_Sum@8", "Sum@8", -1, false, kX86, "_Sum@8", kNoPrefix, "Sum@8", "_Sum@8 __imp__Sum@8"},
        {"_Sum@8", "_Sum@8", -1, false, kX86, "_Sum@8", kName, "_Sum@8", "_Sum@8 __imp__Sum@8"},
        {"foo", "bar", -1, false, kX86, "_foo", kName, "alias of bar", "_foo __imp__foo"},
        {"v", "w", -1, true, kX86, "_v", kName, "alias of w", "__imp__v"},
        // x64: names as written.
        {"foo", "", -1, false, kX64, "foo", kName, "foo", "foo __imp_foo"},
        {"Sum@8", "", -1, false, kX64, "Sum@8", kName, "Sum@8", "Sum@8 __imp_Sum@8"},
        {"_Sum@8", "", -1, false, kX64, "_Sum@8", kName, "_Sum@8", "_Sum@8 __imp__Sum@8"},
        {"v", "", -1, true, kX64, "v", kName, "v", "__imp_v"},
        {"o", "", 2, false, kX64, "o", kOrdinal, "", "o __imp_o"},
        {"a", "a", -1, false, kX64, "a", kName, "a", "a __imp_a"},
        {"_a", "a", -1, false, kX64, "_a", kName, "alias of a", "_a __imp__a"},
    };
    for (const NameCase& c : cases) {
        DefExport exported;
        exported.name = c.name;
        exported.importName = c.importName;
        exported.hasOrdinal = c.ordinal >= 0;
        exported.ordinal = static_cast<uint16_t>(c.ordinal < 0 ? 0 : c.ordinal);
        exported.isData = c.isData;
        const ImportEntry entry = MakeImportEntry(exported, c.machine);
        EXPECT_EQ(entry.symbolName, c.symbol) << c.name;
        EXPECT_EQ(entry.nameType, c.nameType) << c.name;
        EXPECT_EQ(entry.type, c.isData ? ImportType::Data : ImportType::Code) << c.name;
        EXPECT_EQ(entry.ordinalOrHint, exported.ordinal) << c.name;
        EXPECT_EQ(entry.aliasOf.empty() ? ImportedName(entry) : "alias of " + entry.aliasOf,
                  c.imported)
            << c.name;
        EXPECT_EQ(Joined(PublicSymbols(entry)), c.publics) << c.name;
    }
}

} // namespace
