#include "def_file.h"

#include "def_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

// One line per export: name, then @ordinal and the flags that are set.
std::string Describe(const DefFile& def) {
    std::string text = "library=" + def.libraryName + "\n";
    for (const DefExport& e : def.exports) {
        text += e.name;
        if (e.hasOrdinal)
            text += " @" + std::to_string(e.ordinal);
        if (!e.importName.empty())
            text += " ==" + e.importName;
        text += e.noName ? " NONAME" : "";
        text += e.isPrivate ? " PRIVATE" : "";
        text += e.isData ? " DATA" : "";
        text += " (" + std::to_string(e.line) + ")\n";
    }
    return text;
}

struct ReadCase {
    const char* text;
    const char* expected;
};

TEST(ParseDefText, ReadsTheExportsWithTheirOrdinalsAndFlags) {
    const ReadCase cases[] = {
        {"LIBRARY foo\nEXPORTS\n  a\n  b @2\n", "library=foo\na (3)\nb @2 (4)\n"},
        {"LIBRARY \"my lib.dll\"\nEXPORTS\n\"name with space\" @7 NONAME\n",
         "library=my lib.dll\nname with space @7 NONAME (3)\n"},
        {"EXPORTS\nf@8\n@g@4 @3\n?h@@YAXXZ\n", "library=\nf@8 (2)\n@g@4 @3 (3)\n?h@@YAXXZ (4)\n"},
        {"EXPORTS\nv DATA\np PRIVATE\nq @ 9 PRIVATE DATA\n",
         "library=\nv DATA (2)\np PRIVATE (3)\nq @9 PRIVATE DATA (4)\n"},
        // Comments, blank lines, CR LF ends, tabs.
        {"; made by hand\r\nLIBRARY foo ; the DLL\r\n\r\nEXPORTS\r\n\ta\t@1\t; first\r\n",
         "library=foo\na @1 (5)\n"},
        // Internal names and forwards do not change the import.
        {"EXPORTS\na=b\nc = d.e @4\nf=\"g h\"\n", "library=\na (2)\nc @4 (3)\nf (4)\n"},
        // Keywords are case-sensitive: these are names.
        {"EXPORTS\nHeapSize\nVersion\nexports\nnoname @3\n",
         "library=\nHeapSize (2)\nVersion (3)\nexports (4)\nnoname @3 (5)\n"},
        {"EXPORTS\n\"DATA\"\n\"EXPORTS\" @2\n", "library=\nDATA (2)\nEXPORTS @2 (3)\n"},
        // Ignored statements, an export on the EXPORTS line, several EXPORTS blocks.
        {"NAME app BASE=0x400000\nDESCRIPTION \"x\"\nVERSION 1.2\nHEAPSIZE 4096,1024\n"
         "STACKSIZE 1\nSTUB stub.exe\nSECTIONS\n.text READ EXECUTE\nEXPORTS a\nEXPORTS\nb\n",
         "library=app\na (9)\nb (11)\n"},
        {"LIBRARY\nEXPORTS\n", "library=\n"},
        {"LIBRARY BASE=0x10000000\n", "library=\n"},
        {"", "library=\n"},
        {"EXPORTS\nmax @65535\nlead @007\nzero @0\n",
         "library=\nmax @65535 (2)\nlead @7 (3)\nzero @0 (4)\n"},
        // Two names of one function share its ordinal.
        {"EXPORTS\na @3\nb\nc @3\n", "library=\na @3 (2)\nb (3)\nc @3 (4)\n"},
        // Lines end with CR, LF or CR LF, mixed; a UTF-8 byte order mark is skipped.
        {"LIBRARY foo\rEXPORTS\ra\r\rb\n\nc\r\nd", "library=foo\na (3)\nb (5)\nc (7)\nd (8)\n"},
        {"\xEF\xBB\xBFLIBRARY foo\nEXPORTS\na\n", "library=foo\na (3)\n"},
        // The import name after '==', with or without blanks, before or after the attributes.
        {"EXPORTS\na==b\nc @2 NONAME == d DATA\ne = f == \"g h\"\n",
         "library=\na ==b (2)\nc @2 ==d NONAME DATA (3)\ne ==g h (4)\n"},
        {"LIBRARY \"my lib.dll\" BASE=0x10000000\n", "library=my lib.dll\n"},
    };
    for (const ReadCase& c : cases) {
        DefFile def;
        std::string error;
        ASSERT_TRUE(ParseDefText(c.text, "t.def", &def, &error)) << c.text << "\n" << error;
        EXPECT_EQ(Describe(def), c.expected) << c.text;
    }
}

// What qen_impdef writes for a name, Lib reads back as that name.
TEST(ParseDefText, ReadsEveryNameAsTheWriterQuotesIt) {
    const char* const names[] = {
        "plain", "EXPORTS", "DATA", "has space",       "a=b", "a==b", "a;b",
        "a,b",   "@f@8",    "it's", "\xB2\xE2\xCA\xD4"};
    for (const std::string name : names) {
        DefFile def;
        std::string error;
        ASSERT_TRUE(
            ParseDefText("EXPORTS\n    " + NameAsDefWord(name) + " @1\n", "x.def", &def, &error))
            << name << ": " << error;
        ASSERT_EQ(def.exports.size(), 1u) << name;
        EXPECT_EQ(def.exports[0].name, name);
    }
}

TEST(ParseDefText, NamesTheFileAndLineOfEveryMalformedLine) {
    const ReadCase cases[] = {
        {"EXPORTS\na @x\n", "t.def(2): ordinal expected, but got 'x'"},
        {"EXPORTS\na @\n", "t.def(2): ordinal expected, but got end of line"},
        {"EXPORTS\na @12b\n", "t.def(2): ordinal expected, but got '12b'"},
        {"EXPORTS\na @-1\n", "t.def(2): ordinal expected, but got '-1'"},
        {"EXPORTS\na @65536\n", "t.def(2): ordinal 65536 out of range 0..65535"},
        {"EXPORTS\na @99999999999999999999\n",
         "t.def(2): ordinal 99999999999999999999 out of range 0..65535"},
        {"EXPORTS\na @1 @2\n", "t.def(2): one ordinal expected, but got a second one: '@2'"},
        {"EXPORTS\na NONAME\n", "t.def(2): NONAME needs an ordinal: name @ordinal NONAME"},
        {"EXPORTS\na CONSTANT\n", "t.def(2): @ordinal, NONAME, PRIVATE, DATA or '== name' "
                                  "expected, but got 'CONSTANT'"},
        {"EXPORTS\na b\n",
         "t.def(2): @ordinal, NONAME, PRIVATE, DATA or '== name' expected, but got 'b'"},
        {"EXPORTS\na @1 data\n",
         "t.def(2): @ordinal, NONAME, PRIVATE, DATA or '== name' expected, but got 'data'"},
        {"EXPORTS\na @1 \"DATA\"\n",
         "t.def(2): @ordinal, NONAME, PRIVATE, DATA or '== name' expected, but got 'DATA'"},
        {"EXPORTS\na =\n", "t.def(2): internal name expected after '='"},
        {"EXPORTS\n= a\n", "t.def(2): export name expected, but got '='"},
        {"EXPORTS\n\"\"\n", "t.def(2): export name expected, but got ''"},
        {"EXPORTS\n\"abc\n", "t.def(2): closing '\"' expected, but got end of line"},
        {"LIBRARY \"foo\n", "t.def(1): closing '\"' expected, but got end of line"},
        {"foo\nEXPORTS\n", "t.def(1): statement expected, but got 'foo'"},
        {"; x\nexports\na\n", "t.def(2): statement expected, but got 'exports'"},
        {"LIBRARY a\nNAME b\n",
         "t.def(2): one LIBRARY or NAME statement expected, but got a second one"},
        {"LIBRARY my lib.dll\n", "t.def(1): one DLL name and BASE=address expected, but "
                                 "got 'lib.dll'; a name with blanks goes in quotes: \"my ...\""},
        {"LIBRARY a BASE\n",
         "t.def(1): one DLL name and BASE=address expected, but got 'BASE'; a name with "
         "blanks goes in quotes: \"a ...\""},
        {"EXPORTS\na ==\n", "t.def(2): import name expected after '=='"},
        {"EXPORTS\na == b == c\n", "t.def(2): one '==' expected, but got a second one"},
        {"EXPORTS\n== a\n", "t.def(2): export name expected, but got '=='"},
        {"EXPORTS\na = == b\n", "t.def(2): internal name expected after '='"},
    };
    for (const ReadCase& c : cases) {
        DefFile def;
        std::string error;
        EXPECT_FALSE(ParseDefText(c.text, "t.def", &def, &error)) << c.text;
        EXPECT_EQ(error, c.expected) << c.text;
    }
}

// A name given twice keeps its first entry, with a warning that names both lines: the usage
// note's edit of a line qen_impdef marked unknown (_f@4 @7) may give the name of its second line.
TEST(ParseDefText, KeepsTheFirstEntryOfANameGivenTwiceAndWarns) {
    const struct {
        const char* text;
        std::vector<std::string> kept; // name and ordinal of each entry
        std::vector<std::string> warnings;
    } cases[] = {
        {"EXPORTS\n  _f@4 @7\n  _f@4 == f\n",
         {"_f@4 7"},
         {"t.def(3): export '_f@4' given again (first at line 2): this entry is left out"}},
        {"EXPORTS\na\nb\n  a @3\n  a PRIVATE\n",
         {"a -", "b -"},
         {"t.def(4): export 'a' given again (first at line 2): this entry is left out",
          "t.def(5): export 'a' given again (first at line 2): this entry is left out"}},
        {"EXPORTS\nx@8 @1\n\"x@8\" @2\n",
         {"x@8 1"},
         {"t.def(3): export 'x@8' given again (first at line 2): this entry is left out"}},
        {"EXPORTS\na @1\nb @1\n", {"a 1", "b 1"}, {}}, // a shared ordinal is no repeat
    };
    for (const auto& c : cases) {
        DefFile def;
        std::string error;
        ASSERT_TRUE(ParseDefText(c.text, "t.def", &def, &error)) << error;
        std::vector<std::string> kept;
        for (const DefExport& e : def.exports)
            kept.push_back(e.name + " " + (e.hasOrdinal ? std::to_string(e.ordinal) : "-"));
        EXPECT_EQ(kept, c.kept) << c.text;
        EXPECT_EQ(def.warnings, c.warnings) << c.text;
    }
}

TEST(ParseDefText, CutsTheEchoOfAVeryLongWord) {
    const std::string digits(5000, '7');
    const std::string forty7(40, '7');
    const std::string name(300, 'n');
    const std::pair<std::string, std::string> cases[] = {
        {"EXPORTS\na @" + digits,
         "ordinal " + forty7 + "... (5000 characters) out of range 0..65535"},
        {"EXPORTS\na @x" + digits,
         "ordinal expected, but got 'x" + forty7.substr(1) + "... (5001 characters)'"},
        {"EXPORTS\na " + name, "@ordinal, NONAME, PRIVATE, DATA or '== name' expected, but got '" +
                                   name.substr(0, 40) + "... (300 characters)'"},
    };
    for (const auto& c : cases) {
        DefFile def;
        std::string error;
        EXPECT_FALSE(ParseDefText(c.first, "t.def", &def, &error));
        EXPECT_EQ(error, "t.def(2): " + c.second);
    }
}

TEST(ParseDefText, RefusesANulByteInsideALine) {
    DefFile def;
    std::string error;
    EXPECT_FALSE(ParseDefText(std::string("EXPORTS\na\0b\n", 12), "t.def", &def, &error));
    EXPECT_EQ(error, "t.def(2): NUL byte in the line");
}

TEST(ReadDefFile, ReportsAFileThatCannotBeOpened) {
    DefFile def;
    std::string error;
    EXPECT_FALSE(ReadDefFile("no such dir/missing.def", &def, &error));
    EXPECT_EQ(error, "no such dir/missing.def: cannot open the file: " +
                         std::string(std::strerror(ENOENT)));
}

} // namespace
