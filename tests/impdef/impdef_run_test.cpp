#include "impdef_run.h"
#include "test_image.h"
#include "tool_run_test.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

using ImpdefRun = ToolRunTest;

// The typical image with code behind its functions: Alpha returns with ret 8, the unnamed
// slot with ret, Delta never returns.
TestImagePlan PlanWithCode(bool is64, uint16_t machine = 0, bool hybrid = false) {
    TestImagePlan plan = TypicalPlan();
    plan.is64 = is64;
    plan.machine = machine;
    plan.hybridMetadata = hybrid;
    plan.code[0] = {0xC2, 0x08, 0x00};
    plan.code[5] = {0xCC};
    return plan;
}

struct ModeCase {
    bool is64;
    std::vector<std::string> options;
    const char* counts; // the summary between the DLL and the .def
    std::vector<const char*> lines;
    uint16_t machine = 0;
    bool hybrid = false;
    const char* machineNote = ""; // what the summary ends with
};

constexpr char kX64Note[] = "; a 64-bit DLL: its .def is marked for Lib /MACHINE:X64";
constexpr char kArm64Note[] = "; a 64-bit DLL: its .def is marked for Lib /MACHINE:ARM64";

const ModeCase kModeCases[] = {
    {false,
     {},
     "6 exports (1 data, 1 ordinal only, 1 forwarded, 1 stdcall decorated, 2 unknown)",
     {"    _Alpha@8 @1 ; stdcall, 8 bytes of arguments (found in its code)\r\n",
      "    Delta @6 ; calling convention unknown: no return found (it never returns); check this "
      "line\r\n"}},
    {false,
     {"-c"},
     "6 exports (1 data, 1 ordinal only left out, 1 forwarded, 1 stdcall named in comments, 2 "
     "unknown)",
     {"    Alpha ; stdcall: a Visual C++ caller needs _Alpha@8 (found in its code)\r\n",
      "; machine: X86\r\n"}},
    {false,
     {"-n"},
     "6 exports (1 data, 1 ordinal only, 1 forwarded)",
     {"    Alpha @1\r\n", "    Delta @6\r\n"}},
    {true,
     {},
     "6 exports (1 data, 1 ordinal only, 1 forwarded)",
     {"    Alpha @1\r\n", "    Delta @6\r\n", "exports listed by qen_impdef", "; machine: X64\r\n"},
     0,
     false,
     kX64Note},
    // An ARM64EC DLL says AMD64 in its header: it is served as an x64 one.
    {true,
     {"-c"},
     "6 exports (1 data, 1 ordinal only left out, 1 forwarded)",
     {"    Alpha\r\n", "; machine: X64\r\n"},
     0x8664,
     true,
     kX64Note},
    {true,
     {},
     "6 exports (1 data, 1 ordinal only, 1 forwarded)",
     {"    Alpha @1\r\n", "; machine: ARM64\r\n"},
     0xAA64,
     false,
     kArm64Note},
    {true,
     {},
     "6 exports (1 data, 1 ordinal only, 1 forwarded)",
     {"; machine: ARM64\r\n"},
     0xAA64,
     true,
     "; a 64-bit DLL: its .def is marked for Lib /MACHINE:ARM64; an ARM64X DLL: the library "
     "serves its ARM64 callers only, not x64 (ARM64EC) ones"},
    // 32-bit ARM: its code is not examined, and Lib refuses the mark.
    {false,
     {},
     "6 exports (1 data, 1 ordinal only, 1 forwarded)",
     {"; machine: 0x01C4\r\n", "    Alpha @1\r\n"},
     0x01C4,
     false,
     "; warning: a DLL for machine 0x01C4, for which Lib makes no library"},
};

TEST_F(ImpdefRun, DecoratesStdcallExportsOfA32BitDllUnlessAskedNotTo) {
    for (const ModeCase& c : kModeCases) {
        SCOPED_TRACE(testing::PrintToString(c.options) + " machine " + std::to_string(c.machine) +
                     (c.is64 ? " 64-bit" : ""));
        TestImageLayout layout{};
        WriteBytes(dll_, BuildTestImage(PlanWithCode(c.is64, c.machine, c.hybrid), &layout));
        fs::remove(def_);
        std::vector<std::string> args = {dll_, "-o", def_};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::string out, err;
        ASSERT_EQ(RunImpdef(args, &out, &err), 0) << err;
        EXPECT_EQ(out, dll_ + ": " + c.counts + " -> " + def_ + c.machineNote + "\n");
        const std::string def = ReadText(def_);
        for (const char* line : c.lines) {
            EXPECT_NE(def.find(line), std::string::npos) << line << def;
        }
    }
}

struct BackupCase {
    const char* what;
    const char* target;    // null: no target yet; points into the strings of the test
    const char* oldBackup; // null: no .bak yet
    bool kept;
};

// "-o -" writes the .def to standard output, and the summary to standard error, so that a
// pipe gets the .def alone; no file named "-" is made.
TEST_F(ImpdefRun, WritesTheDefToStandardOutputForADash) {
    TestImageLayout layout{};
    WriteBytes(dll_, BuildTestImage(PlanWithCode(false), &layout));
    std::string out, err;
    ASSERT_EQ(RunImpdef({dll_, "-o", def_}, &out, &err), 0) << err;
    const std::string summary = out;
    out.clear();
    ASSERT_EQ(RunImpdef({dll_, "-o", "-"}, &out, &err), 0) << err;
    EXPECT_EQ(out, ReadText(def_));
    EXPECT_EQ(err, summary.substr(0, summary.find(" -> ")) + " -> -\n");
    EXPECT_FALSE(fs::exists("-"));
}

TEST_F(ImpdefRun, KeepsAReplacedDefThatDifferedAsBak) {
    TestImageLayout layout{};
    WriteBytes(dll_, BuildTestImage(PlanWithCode(false), &layout));
    std::string fresh, out, err;
    ASSERT_EQ(RunImpdef({dll_, "-o", def_}, &out, &err), 0) << err;
    fresh = ReadText(def_);
    const std::string edited = std::string(10000, 'x') + fresh;
    const std::string cut = fresh.substr(0, 100);
    const std::string longer = fresh + "x";
    const BackupCase cases[] = {
        {"no target", nullptr, nullptr, false},
        {"the same content", fresh.c_str(), nullptr, false},
        {"an edited target", edited.c_str(), nullptr, true},
        {"an edited target and an older backup", edited.c_str(), "older", true},
        {"a target the new content starts with", cut.c_str(), nullptr, true},
        {"a target longer than the new content", longer.c_str(), nullptr, true},
    };
    const std::string backup = def_ + ".bak";
    for (const BackupCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(def_);
        fs::remove(backup);
        if (c.target) {
            std::ofstream(def_, std::ios::binary) << c.target;
        }
        if (c.oldBackup) {
            std::ofstream(backup, std::ios::binary) << c.oldBackup;
        }
        out.clear();
        ASSERT_EQ(RunImpdef({dll_, "-o", def_}, &out, &err), 0) << err;
        EXPECT_EQ(ReadText(def_), fresh);
        const std::string note = "; the file it replaced, which differed, is kept as " + backup;
        EXPECT_EQ(out.find(note) != std::string::npos, c.kept) << out;
        if (c.kept) {
            EXPECT_EQ(ReadText(backup), c.target);
        } else if (c.oldBackup) {
            EXPECT_EQ(ReadText(backup), c.oldBackup);
        }
        EXPECT_EQ(fs::exists(backup), c.kept || c.oldBackup);
        EXPECT_EQ(FileCount(dir_), 2u + fs::exists(backup)) << "a temporary file was left";
    }
}

TEST_F(ImpdefRun, RefusesExportNamesLongerThanAnyLinkerWrites) {
    for (const size_t length : {4096u, 4097u}) {
        TestImagePlan plan = TypicalPlan();
        plan.slots[0].names = {std::string(length, 'a')};
        TestImageLayout layout{};
        WriteBytes(dll_, BuildTestImage(plan, &layout));
        std::string out, err;
        const int code = RunImpdef({dll_, "-o", def_}, &out, &err);
        if (length == 4096) {
            EXPECT_EQ(code, 0) << err;
        } else {
            EXPECT_EQ(code, 1);
            EXPECT_EQ(err, "qen_impdef: error: " + dll_ +
                               ": export name 4 is 4097 bytes long; names longer than 4096 bytes "
                               "are refused\n");
        }
    }
}

} // namespace
