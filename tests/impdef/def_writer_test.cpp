#include "def_writer.h"

#include "def_format.h"

#include <gtest/gtest.h>

namespace {

struct TokenCase {
    const char* name;
    const char* token;
};

TEST(DefWriter, QuotesKeywordsAndNamesThatWouldEndAToken) {
    const TokenCase cases[] = {
        {"GetTickCount", "GetTickCount"},
        {"_Sum@8", "_Sum@8"},
        {"??0bad_cast@@AAE@PBQBD@Z", "??0bad_cast@@AAE@PBQBD@Z"},
        {"HeapSize", "HeapSize"},
        {"exports", "exports"},
        {"EXPORTS", "\"EXPORTS\""},
        {"DATA", "\"DATA\""},
        {"NONAME", "\"NONAME\""},
        {"PRIVATE", "\"PRIVATE\""},
        {"HEAPSIZE", "\"HEAPSIZE\""},
        {"LIBRARY", "\"LIBRARY\""},
        {"ALIGNCOMM", "\"ALIGNCOMM\""},
        {"STUB", "\"STUB\""},
        {"WRITE", "\"WRITE\""},
        {"WRITES", "WRITES"},
        {"has space", "\"has space\""},
        {"a=b", "\"a=b\""},
        {"a;b", "\"a;b\""},
        {"a,b", "\"a,b\""},
        {"it's", "\"it's\""}, // a quote character of other tools' grammars
        {"@fast@8", "\"@fast@8\""},
        {"\xB2\xE2\xCA\xD4", "\xB2\xE2\xCA\xD4"},
    };
    for (const TokenCase& c : cases) {
        EXPECT_EQ(NameAsDefWord(c.name), c.token);
    }
}

TEST(DefWriter, NamesWithQuotesOrControlBytesCannotBeWritten) {
    EXPECT_TRUE(CanWriteDefName("Plain"));
    EXPECT_TRUE(CanWriteDefName("with space"));
    EXPECT_FALSE(CanWriteDefName(""));
    EXPECT_FALSE(CanWriteDefName("a\"b"));
    EXPECT_FALSE(CanWriteDefName("line\nbreak"));
    EXPECT_FALSE(CanWriteDefName("tab\there"));
}

ExportTable SampleTable() {
    ExportTable table;
    table.internalName = "SAMPLE.dll";
    table.entries = {
        {1, true, "Alpha", false, false, "", 0},
        {2, true, "Counter", true, false, "", 0},
        {3, false, "", false, false, "", 0},
        {4, true, "Ordinal3", false, false, "", 0},
        {5, true, "Beta", false, true, "OTHER.Gamma", 0},
        {6, true, "EXPORTS", false, false, "", 0},
        {7, true, "bad\"name", false, false, "", 0},
        {8, false, "", true, false, "", 0},
    };
    return table;
}

TEST(DefWriter, WritesOrdinalsMadeUpNamesDataAndForwarders) {
    const std::string expected =
        "; sample.dll: exports listed by qen_impdef 1.0\r\n"
        "; machine: X86\r\n"
        "LIBRARY sample.dll\r\n"
        "EXPORTS\r\n"
        "    Alpha @1\r\n"
        "    Counter @2 DATA\r\n"
        "    Ordinal3_ @3 NONAME\r\n"
        "    Ordinal3 @4\r\n"
        "    Beta @5 ; forwarded to OTHER.Gamma\r\n"
        "    \"EXPORTS\" @6\r\n"
        "    Ordinal7 @7 NONAME ; its name cannot be written in a .def file\r\n"
        "    Ordinal8 @8 NONAME DATA\r\n";
    EXPECT_EQ(WriteDef(SampleTable(), {}, "sample.dll", "X86", false), expected);
}

TEST(DefWriter, NamesOnlyLeavesOutOrdinalsAndUnnamedEntries) {
    const std::string expected = "; my lib.dll: exports listed by qen_impdef 1.0\r\n"
                                 "; machine: X64\r\n"
                                 "; the export directory names the DLL SAMPLE.dll\r\n"
                                 "LIBRARY \"my lib.dll\"\r\n"
                                 "EXPORTS\r\n"
                                 "    Alpha\r\n"
                                 "    Counter DATA\r\n"
                                 "    ; ordinal 3 has no name and is left out\r\n"
                                 "    Ordinal3\r\n"
                                 "    Beta ; forwarded to OTHER.Gamma\r\n"
                                 "    \"EXPORTS\"\r\n"
                                 "    ; ordinal 7 has no name and is left out\r\n"
                                 "    ; ordinal 8 has no name and is left out\r\n";
    EXPECT_EQ(WriteDef(SampleTable(), {}, "my lib.dll", "X64", true), expected);
}

struct FindingCase {
    ExportEntry entry;
    ConventionFinding call;
    const char* byOrdinal; // the EXPORTS line, without the CR LF
    const char* namesOnly;
};

const ConventionFinding kNotExamined{ConventionKind::NotExamined, 0, ""};
const ConventionFinding kPlain{ConventionKind::PlainReturn, 0, ""};
const ConventionFinding kUnknown{ConventionKind::Unknown, 0, "it never returns"};

ConventionFinding Stdcall(uint32_t bytes) {
    return {ConventionKind::Stdcall, bytes, ""};
}

const FindingCase kFindingCases[] = {
    {{1, true, "Alpha", false, false, "", 0},
     Stdcall(8),
     "    _Alpha@8 @1 ; stdcall, 8 bytes of arguments (found in its code)",
     "    Alpha ; stdcall: a Visual C++ caller needs _Alpha@8 (found in its code)"},
    {{2, true, "Beta", false, false, "", 0}, kPlain, "    Beta @2", "    Beta"},
    {{3, true, "Gamma", false, false, "", 0},
     kUnknown,
     "    Gamma @3 ; calling convention unknown: it never returns; check this line",
     "    Gamma ; calling convention unknown: it never returns; check this line"},
    {{4, true, "has space", false, false, "", 0},
     Stdcall(4),
     "    \"_has space@4\" @4 ; stdcall, 4 bytes of arguments (found in its code)",
     "    \"has space\" ; stdcall: a Visual C++ caller needs _has space@4 (found in its code)"},
    {{5, true, "DATA", false, false, "", 0},
     Stdcall(4),
     "    _DATA@4 @5 ; stdcall, 4 bytes of arguments (found in its code)",
     "    \"DATA\" ; stdcall: a Visual C++ caller needs _DATA@4 (found in its code)"},
    {{0, true, "Zero", false, false, "", 0},
     Stdcall(12),
     "    Zero ; ordinal 0 cannot be written in a .def file: imported by name ; stdcall: a Visual "
     "C++ caller needs _Zero@12 (found in its code)",
     "    Zero ; stdcall: a Visual C++ caller needs _Zero@12 (found in its code)"},
    {{0, true, "Plain0", false, false, "", 0},
     kNotExamined,
     "    Plain0 ; ordinal 0 cannot be written in a .def file: imported by name",
     "    Plain0"},
    {{9, true, "Both", false, false, "", 0},
     {ConventionKind::Stdcall, 8, "", true},
     "    Both @9 ; stdcall, 8 bytes of arguments (found in its code); the DLL exports _Both@8 as "
     "well",
     "    Both ; stdcall, 8 bytes of arguments (found in its code); the DLL exports _Both@8 as "
     "well"},
    {{10, true, "NoArgs", false, false, "", 0},
     {ConventionKind::PlainReturn, 0, "", false, true},
     "    NoArgs @10\r\n    _NoArgs@0 == NoArgs ; the same function for a caller that declares it "
     "__stdcall: its code reads no stack argument and returns with ret",
     "    NoArgs\r\n    _NoArgs@0 == NoArgs ; the same function for a caller that declares it "
     "__stdcall: its code reads no stack argument and returns with ret"},
    {{11, true, "Trip", false, false, "", 0},
     {ConventionKind::Stdcall, 12, "", false, false, true},
     "    _Trip@12 @11 ; stdcall, 12 bytes of arguments (found in its code)\r\n    _Trip@8 == "
     "Trip ; the same function for a caller that declares it returning a structure: its code "
     "hands back its first argument in eax, which may be a hidden pointer that _Trip@8 leaves "
     "out",
     "    Trip ; stdcall: a Visual C++ caller needs _Trip@12, or _Trip@8 if it returns a "
     "structure through a hidden first argument (found in its code)"},
    {{12, true, "Quit", false, false, "", 0},
     {ConventionKind::Unknown, 8, "it never returns", false, false, false, true},
     "    Quit @12 ; calling convention unknown: it never returns; check this line\r\n    _Quit@8 "
     "== Quit ; the same function for a caller that declares it __stdcall: it never returns, so "
     "either call works, and its code reads 8 bytes of arguments",
     "    Quit ; calling convention unknown: it never returns; check this line\r\n    _Quit@8 == "
     "Quit ; the same function for a caller that declares it __stdcall: it never returns, so "
     "either call works, and its code reads 8 bytes of arguments"},
    // _foo@bar@8 is no symbol Lib takes as written (nor one a C caller can declare).
    {{13, true, "foo@bar", false, false, "", 0},
     Stdcall(8),
     "    foo@bar @13 ; stdcall: a Visual C++ caller needs _foo@bar@8 (found in its code)",
     "    foo@bar ; stdcall: a Visual C++ caller needs _foo@bar@8 (found in its code)"},
    {{14, true, "a@b", false, false, "", 0},
     {ConventionKind::PlainReturn, 0, "", false, true},
     "    a@b @14",
     "    a@b"},
    {{0, false, "", false, false, "", 0},
     kNotExamined,
     "    ; ordinal 0 has no name and is left out",
     "    ; ordinal 0 has no name and is left out"},
};

TEST(DefWriter, WritesWhatTheCodeShowedOnEachLine) {
    for (const FindingCase& c : kFindingCases) {
        ExportTable table;
        table.entries = {c.entry};
        for (const bool namesOnly : {false, true}) {
            const std::string text = WriteDef(table, {c.call}, "a.dll", "X86", namesOnly);
            const std::string line = text.substr(text.find("EXPORTS\r\n") + 9);
            EXPECT_EQ(line, std::string(namesOnly ? c.namesOnly : c.byOrdinal) + "\r\n");
        }
    }
}

// Each name once, as Lib and every import library take them: the first entry that gives it
// keeps it, and a second name that is a real export's is left to that export.
TEST(DefWriter, GivesEachNameOnce) {
    ExportTable table;
    table.entries = {
        {1, true, "Twice", false, false, "", 0x1000},
        {2, true, "Twice", false, false, "", 0x1000}, // listed again at another ordinal
        {3, true, "Quiet", false, false, "", 0x1010},
        {4, true, "_Quiet@0", false, false, "", 0x1020},
        {5, true, "Sum", false, false, "", 0x1030},
        {6, true, "_Sum@8", false, false, "", 0x1040},
    };
    const ConventionFinding noArguments{ConventionKind::PlainReturn, 0, "", false, true};
    const std::vector<ConventionFinding> calls = {kNotExamined, kNotExamined, noArguments,
                                                  kNotExamined, Stdcall(8),   kNotExamined};
    const std::string text = WriteDef(table, calls, "a.dll", "X86", false);
    EXPECT_EQ(text.substr(text.find("EXPORTS\r\n") + 9),
              "    Twice @1\r\n"
              "    ; Twice @2 is left out: the .def gives this name already\r\n"
              "    Quiet @3\r\n"
              "    _Quiet@0 @4\r\n"
              "    _Sum@8 @5 ; stdcall, 8 bytes of arguments (found in its code)\r\n"
              "    ; _Sum@8 @6 is left out: the .def gives this name already\r\n");
}

TEST(DefWriter, CountsStdcallAndUnknownFindings) {
    ExportTable table;
    std::vector<ConventionFinding> calls;
    for (const FindingCase& c : kFindingCases) {
        table.entries.push_back(c.entry);
        calls.push_back(c.call);
    }
    const DefCounts counts = CountExports(table, calls);
    EXPECT_EQ(counts.stdcall, 5u);
    EXPECT_EQ(counts.unknown, 2u);
}

TEST(DefWriter, CommentsCannotBreakTheirLine) {
    ExportTable table;
    table.internalName = "evil\r\nEXPORTS\r\n";
    table.entries = {{1, true, "F", false, true, "X.\nY", 0}};
    const std::string text = WriteDef(table, {}, "a.dll", "X86", false);
    EXPECT_NE(text.find("; the export directory names the DLL evil??EXPORTS??\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("    F @1 ; forwarded to X.?Y\r\n"), std::string::npos);
}

TEST(DefWriter, CountsEachKindOfEntry) {
    const DefCounts counts = CountExports(SampleTable(), {});
    EXPECT_EQ(counts.exports, 8u);
    EXPECT_EQ(counts.data, 2u);
    EXPECT_EQ(counts.ordinalOnly, 3u);
    EXPECT_EQ(counts.forwarded, 1u);
}

} // namespace
