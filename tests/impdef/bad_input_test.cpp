// Damaged and unusual inputs: each must end in one clear error line, exit code 1, and no
// output file, with an existing target left as it was.

#include "export_table.h"
#include "impdef_run.h"
#include "pe_image.h"
#include "test_image.h"
#include "tool_run_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using Damage = std::function<void(std::vector<unsigned char>*, const TestImageLayout&)>;

struct DamageCase {
    const char* what;
    Damage damage;
    const char* error;
};

Damage CutAt(std::function<uint32_t(const TestImageLayout&)> length) {
    return [length](std::vector<unsigned char>* bytes, const TestImageLayout& layout) {
        bytes->resize(length(layout));
    };
}

Damage Set32(std::function<uint32_t(const TestImageLayout&)> offset, uint32_t value) {
    return [offset, value](std::vector<unsigned char>* bytes, const TestImageLayout& layout) {
        Put32(bytes, offset(layout), value);
    };
}

Damage Set16(std::function<uint32_t(const TestImageLayout&)> offset, uint16_t value) {
    return [offset, value](std::vector<unsigned char>* bytes, const TestImageLayout& layout) {
        Put16(bytes, offset(layout), value);
    };
}

uint32_t ExportField(const TestImageLayout& l, uint32_t field) {
    return l.exportDirectory + field;
}

const std::vector<DamageCase>& DamageCases() {
    using L = const TestImageLayout&;
    static const std::vector<DamageCase> cases = {
        // Truncation at each header boundary
        {"empty file", CutAt([](L) { return 0; }), "not a PE file (the file is empty)"},
        {"one byte", CutAt([](L) { return 1; }),
         "is truncated: the DOS header runs past the end of the file"},
        {"MZ only", CutAt([](L) { return 2; }),
         "is truncated: the DOS header runs past the end of the file"},
        {"DOS header less a byte", CutAt([](L) { return 63; }),
         "is truncated: the DOS header runs past the end of the file"},
        {"DOS header only", CutAt([](L l) { return l.peHeader; }),
         "is truncated: the PE header offset points past the end of the file"},
        {"half the PE signature", CutAt([](L l) { return l.peHeader + 2; }),
         "is truncated: the PE header offset points past the end of the file"},
        {"PE signature only", CutAt([](L l) { return l.peHeader + 4; }),
         "is truncated: the COFF file header runs past the end of the file"},
        {"COFF header less a byte", CutAt([](L l) { return l.optionalHeader - 1; }),
         "is truncated: the COFF file header runs past the end of the file"},
        {"no optional header", CutAt([](L l) { return l.optionalHeader; }),
         "is truncated: the optional header runs past the end of the file"},
        {"optional header cut", CutAt([](L l) { return l.optionalHeader + 62; }),
         "is truncated: the optional header runs past the end of the file"},
        {"data directories cut", CutAt([](L l) { return l.exportDataDirectory + 6; }),
         "is truncated: the optional header's data directories runs past the end of the file"},
        {"no section table", CutAt([](L l) { return l.sectionTable; }),
         "is truncated: the section table runs past the end of the file"},
        {"section table cut", CutAt([](L l) { return l.sectionTable + 119; }),
         "is truncated: the section table runs past the end of the file"},
        {"no export directory", CutAt([](L l) { return l.exportDirectory; }),
         "is truncated: the export directory runs past the end of the file"},
        {"export directory cut", CutAt([](L l) { return l.exportDirectory + 39; }),
         "is truncated: the export directory runs past the end of the file"},
        {"address table cut", CutAt([](L l) { return l.functions + 10; }),
         "is truncated: the export address table runs past the end of the file"},
        {"name pointers cut", CutAt([](L l) { return l.namePointers + 6; }),
         "is truncated: the export name pointer table runs past the end of the file"},
        {"name ordinals cut", CutAt([](L l) { return l.nameOrdinals + 3; }),
         "is truncated: the export name ordinal table runs past the end of the file"},
        {"names cut", CutAt([](L l) { return l.strings + 1; }),
         "is truncated: the export name 0 runs past the end of the file"},
        // Wrong signatures
        {"no MZ", Set16([](L) { return 0; }, 0x5A58), "not a PE file (no MZ signature)"},
        {"no PE", Set32([](L l) { return l.peHeader; }, 0x4558), "not a PE file (no PE signature)"},
        {"PE header far away", Set32([](L) { return 0x3C; }, 0xFFFFFFF0),
         "is truncated: the PE header offset points past the end of the file"},
        {"unknown magic", Set16([](L l) { return l.optionalHeader; }, 0x107),
         "not a PE file (unknown optional header magic 0x107)"},
        // Tables and pointers out of range, huge counts
        {"huge section count", Set16([](L l) { return l.peHeader + 6; }, 0xFFFF),
         "is truncated: the section table runs past the end of the file"},
        {"no export table", Set32([](L l) { return l.exportDataDirectory; }, 0),
         "has no export table"},
        {"export directory outside the image",
         Set32([](L l) { return l.exportDataDirectory; }, 0x90000),
         "the export directory (RVA 0x90000) lies outside every section"},
        {"export section outside the file",
         Set32([](L l) { return l.sectionTable + 80 + 20; }, 0xFFFFFF00),
         "is truncated: the export directory runs past the end of the file"},
        {"huge function count", Set32([](L l) { return ExportField(l, 20); }, 0xFFFFFFFF),
         "is truncated: the export address table runs past the end of the file"},
        {"huge name count", Set32([](L l) { return ExportField(l, 24); }, 0x40000000),
         "is truncated: the export name pointer table runs past the end of the file"},
        {"address table outside the image", Set32([](L l) { return ExportField(l, 28); }, 0x90000),
         "the export address table (RVA 0x90000) lies outside every section"},
        {"name pointer out of range", Set32([](L l) { return l.namePointers; }, 0x90000),
         "the export name 0 (RVA 0x90000) lies outside every section"},
        {"name without its NUL in its section",
         [](std::vector<unsigned char>* bytes, L l) {
             std::fill(bytes->begin() + 0x400, bytes->begin() + 0x600, 'A'); // .data
             Put32(bytes, l.namePointers + 4, 0x2000);
         },
         "the export name 1 runs past the end of its section"},
        {"name ordinal out of range", Set16([](L l) { return l.nameOrdinals; }, 0xFFFF),
         "export name 0 refers to function 65535, but there are only 6"},
        {"ordinal above 65535", Set32([](L l) { return ExportField(l, 16); }, 0xFFFFFFF0),
         "export ordinal 4294967280 is out of range (above 65535)"},
    };
    return cases;
}

class BadInput : public ToolRunTest {
  protected:
    // Runs the tool and checks that it failed with exactly `error` and wrote nothing.
    void ExpectFailure(const std::string& path, const std::string& error, const char* what) {
        for (const bool existingTarget : {true, false}) {
            if (existingTarget) {
                std::ofstream(def_, std::ios::binary) << "old contents\n";
            } else {
                fs::remove(def_);
            }
            const size_t files = FileCount(dir_);
            std::string out, err;
            EXPECT_EQ(RunImpdef({path, "-o", def_}, &out, &err), 1) << what;
            EXPECT_EQ(out, "") << what;
            EXPECT_EQ(err, "qen_impdef: error: " + error + "\n") << what;
            EXPECT_EQ(FileCount(dir_), files) << what << ": a file was left behind";
            if (existingTarget) {
                EXPECT_EQ(ReadText(def_), "old contents\n") << what;
            } else {
                EXPECT_FALSE(fs::exists(def_)) << what;
            }
        }
    }
};

TEST_F(BadInput, DamagedImagesGiveOneClearErrorAndNoOutput) {
    for (const DamageCase& c : DamageCases()) {
        TestImageLayout layout{};
        std::vector<unsigned char> bytes = BuildTestImage(TypicalPlan(), &layout);
        c.damage(&bytes, layout);
        WriteBytes(dll_, bytes);
        ExpectFailure(dll_, dll_ + ": " + c.error, c.what);
    }
}

TEST_F(BadInput, MissingFileOrDirectoryGivesAnErrorAndNoOutput) {
    ExpectFailure((dir_ / "missing.dll").string(),
                  (dir_ / "missing.dll").string() + ": cannot open (No such file or directory)",
                  "missing file");
    fs::create_directory(dir_ / "folder.dll");
    ExpectFailure((dir_ / "folder.dll").string(),
                  (dir_ / "folder.dll").string() + ": cannot read (Is a directory)", "directory");
}

TEST_F(BadInput, UnwritableTargetGivesAnErrorAndLeavesNoTemporaryFile) {
    TestImageLayout layout{};
    WriteBytes(dll_, BuildTestImage(TypicalPlan(), &layout));
    const std::string noFolder = (dir_ / "missing" / "a.def").string();
    std::string out, err;
    EXPECT_EQ(RunImpdef({dll_, "-o", noFolder}, &out, &err), 1);
    EXPECT_EQ(err, "qen_impdef: error: cannot write '" + noFolder +
                       ".0.tmp': No such file or directory\n");

    fs::create_directory(dir_ / "taken.def");
    const std::string folderTarget = (dir_ / "taken.def").string();
    err.clear();
    EXPECT_EQ(RunImpdef({dll_, "-o", folderTarget}, &out, &err), 1);
    EXPECT_EQ(err, "qen_impdef: error: cannot replace '" + folderTarget + "': Is a directory\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(FileCount(dir_), 2u) << "a temporary file was left behind";
}

TEST(BadInputInMemory, EveryTruncationFailsCleanlyOrReadsTheSameTable) {
    for (const bool is64 : {false, true}) {
        TestImagePlan plan = TypicalPlan();
        plan.is64 = is64;
        TestImageLayout layout{};
        const std::vector<unsigned char> whole = BuildTestImage(plan, &layout);
        for (size_t length = 0; length < whole.size(); ++length) {
            // An exact-size copy, so that a read past the end is caught by the sanitizers.
            const std::vector<unsigned char> cut(whole.begin(), whole.begin() + length);
            const ByteView view{cut.data(), cut.size()};
            PeImage image{};
            ExportTable table;
            std::string error;
            if (ParsePeImage(view, &image, &error) &&
                ReadExportTable(view, image, &table, &error)) {
                EXPECT_EQ(table.entries.size(), 6u) << length;
            } else {
                EXPECT_FALSE(error.empty()) << length;
                EXPECT_EQ(error.find('\n'), std::string::npos) << length;
            }
        }
    }
}

} // namespace
