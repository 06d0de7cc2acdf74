#include "export_table.h"
#include "pe_image.h"
#include "test_image.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    uint32_t ordinal;
    bool named;
    const char* name;
    bool data;
    const char* forwarder; // null when not forwarded
};

ExportTable Read(const TestImagePlan& plan, PeImage* image) {
    TestImageLayout layout{};
    const std::vector<unsigned char> bytes = BuildTestImage(plan, &layout);
    const ByteView view{bytes.data(), bytes.size()};
    ExportTable table;
    std::string error;
    EXPECT_TRUE(ParsePeImage(view, image, &error)) << error;
    EXPECT_TRUE(ReadExportTable(view, *image, &table, &error)) << error;
    return table;
}

void ExpectEntries(const ExportTable& table, const std::vector<Expected>& expected) {
    ASSERT_EQ(table.entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExportEntry& entry = table.entries[i];
        const Expected& want = expected[i];
        EXPECT_EQ(entry.ordinal, want.ordinal) << i;
        EXPECT_EQ(entry.named, want.named) << i;
        EXPECT_EQ(entry.name, want.name) << i;
        EXPECT_EQ(entry.data, want.data) << i;
        EXPECT_EQ(entry.forwarded, want.forwarder != nullptr) << i;
        EXPECT_EQ(entry.forwarder, want.forwarder ? want.forwarder : "") << i;
    }
}

const std::vector<Expected> kTypicalEntries = {
    {1, true, "Alpha", false, nullptr}, {2, true, "Counter", true, nullptr},
    {3, false, "", false, nullptr},     {5, true, "Beta", false, "OTHER.Gamma"},
    {6, true, "Delta", false, nullptr}, {6, true, "DeltaAlias", false, nullptr},
};

TEST(ExportTable, ReadsEveryKindOfEntryOfAPe32Image) {
    PeImage image{};
    const ExportTable table = Read(TypicalPlan(), &image);
    EXPECT_FALSE(image.is64);
    EXPECT_EQ(image.machine, 0x14C);
    EXPECT_EQ(table.internalName, "test.dll");
    ExpectEntries(table, kTypicalEntries);
}

// A function lies in a section that code runs from: flagged executable or holding code.
// Packed DLLs flag their code section executable without the code flag.
TEST(ExportTable, TellsFunctionsByTheSectionsExecuteOrCodeFlag) {
    const std::pair<uint32_t, bool> cases[] = {
        {0x60000020, false}, // code, execute, read
        {0xE0000040, false}, // execute, read, write, initialised data: packed
        {0x40000020, false}, // code without execute
        {0xC0000040, true},  // read, write, initialised data
    };
    for (const auto& c : cases) {
        TestImageLayout layout{};
        std::vector<unsigned char> bytes = BuildTestImage(TypicalPlan(), &layout);
        Put32(&bytes, layout.sectionTable + 36, c.first); // .text's characteristics
        const ByteView view{bytes.data(), bytes.size()};
        PeImage image{};
        ExportTable table;
        std::string error;
        ASSERT_TRUE(ParsePeImage(view, &image, &error)) << error;
        ASSERT_TRUE(ReadExportTable(view, image, &table, &error)) << error;
        ASSERT_EQ(table.entries[0].name, "Alpha");
        EXPECT_EQ(table.entries[0].data, c.second) << std::hex << c.first;
    }
}

TEST(ExportTable, ReadsAPe32PlusImageAlike) {
    TestImagePlan plan = TypicalPlan();
    plan.is64 = true;
    PeImage image{};
    const ExportTable table = Read(plan, &image);
    EXPECT_TRUE(image.is64);
    EXPECT_EQ(image.machine, 0x8664);
    ExpectEntries(table, kTypicalEntries);
}

TEST(ExportTable, OrdinalsStartAtTheBaseAndSkipEmptySlots) {
    TestImagePlan plan;
    plan.ordinalBase = 100;
    plan.internalName = "";
    plan.slots = {{SlotKind::Empty, {}, ""},
                  {SlotKind::Code, {"F"}, ""},
                  {SlotKind::Empty, {}, ""},
                  {SlotKind::Empty, {"NamedButNull"}, ""},
                  {SlotKind::Data, {}, ""}};
    PeImage image{};
    const ExportTable table = Read(plan, &image);
    EXPECT_EQ(table.internalName, "");
    ExpectEntries(table, {{101, true, "F", false, nullptr},
                          {103, true, "NamedButNull", false, nullptr},
                          {104, false, "", true, nullptr}});
}

TEST(ExportTable, LastPossibleOrdinalIsAccepted) {
    TestImagePlan plan;
    plan.ordinalBase = 65534;
    plan.slots = {{SlotKind::Code, {"A"}, ""}, {SlotKind::Code, {}, ""}};
    PeImage image{};
    ExpectEntries(Read(plan, &image),
                  {{65534, true, "A", false, nullptr}, {65535, false, "", false, nullptr}});
}

} // namespace
