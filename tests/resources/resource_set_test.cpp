// What the executable carries besides code: exactly its own resources, all under language
// 2052, with the usage note, manifest, icons and link bitmap in the forms the program needs.
#include "resource_ids.h"
#include "resource_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
static_assert(kChinesePrc == 2052);

// Type, ID and language of one resource.
using ResourceEntry = std::tuple<int, int, WORD>;

// Named types and names (not numbers) show up as -1, which no expected entry has.
int NumberOf(LPCSTR name) {
    return IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : -1;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR entries) {
    reinterpret_cast<std::vector<ResourceEntry>*>(entries)->push_back(
        ResourceEntry{NumberOf(type), NumberOf(name), language});
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE image, LPCSTR type, LPSTR name, LONG_PTR entries) {
    return EnumResourceLanguagesA(image, type, name, AddLanguage, entries);
}

BOOL CALLBACK AddType(HMODULE image, LPSTR type, LONG_PTR entries) {
    return EnumResourceNamesA(image, type, AddName, entries);
}

TEST(ResourceSet, IsExactlyTheProgramsOwnAllInChinesePrcWithOneManifest) {
    ASSERT_NE(MorvaneImage(), nullptr);
    std::vector<ResourceEntry> entries;
    EnumResourceTypesA(MorvaneImage(), AddType, reinterpret_cast<LONG_PTR>(&entries));
    std::set<ResourceEntry> found(entries.begin(), entries.end());
    const std::set<ResourceEntry> expected = {
        {2, IDB_LINK, kChinesePrc},        // RT_BITMAP
        {3, 1, kChinesePrc},               // RT_ICON, 16 px
        {3, 2, kChinesePrc},               // RT_ICON, 32 px
        {3, 3, kChinesePrc},               // RT_ICON, 48 px
        {5, IDD_MAIN, kChinesePrc},        // RT_DIALOG
        {10, IDR_USAGE_NOTE, kChinesePrc}, // RT_RCDATA
        {14, IDI_MAIN, kChinesePrc},       // RT_GROUP_ICON
        {16, 1, kChinesePrc},              // RT_VERSION
        {24, 1, kChinesePrc},              // RT_MANIFEST: ours only, no toolchain default
    };
    EXPECT_EQ(entries.size(), found.size()) << "a resource is listed twice";
    EXPECT_TRUE(found == expected);
    for (const auto& [type, id, language] : entries) {
        EXPECT_EQ(language, kChinesePrc) << "type " << type << ", id " << id;
    }
}

// --- The usage note ---

std::string ReadWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Strict conversion: an empty result when the bytes are not valid in that code page.
std::wstring Decode(UINT codePage, const std::string& bytes) {
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), &text[0], length);
    }
    return text;
}

class UsageNote : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(MorvaneImage(), nullptr);
        note_ = std::string(ResourceBytes(MorvaneImage(), RT_RCDATA, IDR_USAGE_NOTE));
        ASSERT_FALSE(note_.empty());
    }
    std::string note_;
};

TEST_F(UsageNote, HasCrLfLineEndsNoNulAndNoLineBreakAtTheEnd) {
    EXPECT_EQ(note_.find('\0'), std::string::npos);
    for (size_t i = 0; i < note_.size(); ++i) {
        if (note_[i] == '\r') {
            EXPECT_TRUE(i + 1 < note_.size() && note_[i + 1] == '\n') << "lone CR at " << i;
        }
        if (note_[i] == '\n') {
            EXPECT_TRUE(i > 0 && note_[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_NE(note_.back(), '\n');
    EXPECT_NE(note_.back(), '\r');
}

TEST_F(UsageNote, IsCodePage936TextOfItsUtf8Source) {
    std::wstring note = Decode(936, note_);
    ASSERT_FALSE(note.empty()) << "not valid code page 936 text";
    std::string source = ReadWholeFile(MORVANE_USAGE_NOTE_SOURCE);
    ASSERT_FALSE(source.empty());
    std::wstring expected;
    for (wchar_t c : Decode(CP_UTF8, source)) {
        expected += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    }
    while (!expected.empty() && (expected.back() == L'\n' || expected.back() == L'\r')) {
        expected.pop_back();
    }
    EXPECT_TRUE(note == expected);
}

TEST_F(UsageNote, FollowsTheOutlineOfTenLinesEndingWithTheToolNames) {
    std::vector<std::string> lines;
    std::istringstream in(note_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 10u);
    const char* numbers[10] = {nullptr, "1.", "2.", "3.", nullptr, "1.", "2.", "3.", "4.", nullptr};
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        bool numbered = lines[i].rfind(numbers[i] ? numbers[i] : "#", 0) == 0;
        EXPECT_EQ(numbered, numbers[i] != nullptr);
    }
    EXPECT_NE(lines[9].find("qen_impdef.exe"), std::string::npos);
    EXPECT_NE(lines[9].find("LIB.exe"), std::string::npos);
}

// --- The manifest ---

// The attributes of the n-th element with the given name, or an empty map.
std::map<std::string, std::string> AttributesOf(const std::string& xml, const std::string& element,
                                                int n) {
    std::map<std::string, std::string> attributes;
    size_t start = std::string::npos, from = 0;
    for (int i = 0; i <= n; ++i, from = start + 1) {
        start = xml.find("<" + element + " ", from);
        if (start == std::string::npos) {
            return attributes;
        }
    }
    size_t end = xml.find('>', start);
    std::string tag = xml.substr(start, end - start);
    for (size_t equals = tag.find("=\""); equals != std::string::npos;
         equals = tag.find("=\"", equals + 1)) {
        size_t nameStart = tag.find_last_of(" \t\r\n", equals) + 1;
        size_t valueEnd = tag.find('"', equals + 2);
        attributes[tag.substr(nameStart, equals - nameStart)] =
            tag.substr(equals + 2, valueEnd - equals - 2);
        equals = valueEnd;
    }
    return attributes;
}

// The product is x86; the 64-bit test twin names its own machine.
#ifdef _WIN64
constexpr char kManifestArchitecture[] = "amd64";
#else
constexpr char kManifestArchitecture[] = "X86";
#endif

class Manifest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(MorvaneImage(), nullptr);
        xml_ = std::string(ResourceBytes(MorvaneImage(), RT_MANIFEST, 1));
        ASSERT_FALSE(xml_.empty());
    }
    std::string xml_;
};

TEST_F(Manifest, IsAStandaloneUtf8AssemblyWithItsIdentityAndDescription) {
    EXPECT_EQ(xml_.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
    std::map<std::string, std::string> root = AttributesOf(xml_, "assembly", 0);
    EXPECT_EQ(root["xmlns"], "urn:schemas-microsoft-com:asm.v1");
    EXPECT_EQ(root["manifestVersion"], "1.0");
    const std::map<std::string, std::string> identity = {
        {"version", "1.0.0.0"},
        {"processorArchitecture", kManifestArchitecture},
        {"name", "Company.Product.Name"},
        {"type", "win32"},
    };
    EXPECT_TRUE(AttributesOf(xml_, "assemblyIdentity", 0) == identity);
    EXPECT_NE(xml_.find("<description></description>"), std::string::npos);
}

TEST_F(Manifest, DependsOnVersion6OfTheCommonControls) {
    size_t dependency = xml_.find("<dependency>");
    ASSERT_NE(dependency, std::string::npos);
    EXPECT_LT(dependency, xml_.find("<dependentAssembly>"));
    const std::map<std::string, std::string> expected = {
        {"type", "win32"},
        {"name", "Microsoft.Windows.Common-Controls"},
        {"version", "6.0.0.0"},
        {"processorArchitecture", kManifestArchitecture},
        {"publicKeyToken", "6595b64144ccf1df"},
        {"language", "*"},
    };
    EXPECT_TRUE(AttributesOf(xml_, "assemblyIdentity", 1) == expected);
    EXPECT_TRUE(AttributesOf(xml_, "assemblyIdentity", 2).empty());
}

// --- Pictures ---

struct BitmapHeader {
    uint32_t size, compression, colorsUsed;
    int32_t width, height;
    uint16_t planes, bitCount;
};

bool ReadBitmapHeader(std::string_view bytes, BitmapHeader& header) {
    uint32_t width = 0, height = 0;
    bool ok = ReadU32(bytes, 0, header.size) && ReadU32(bytes, 4, width) &&
              ReadU32(bytes, 8, height) && ReadU16(bytes, 12, header.planes) &&
              ReadU16(bytes, 14, header.bitCount) && ReadU32(bytes, 16, header.compression) &&
              ReadU32(bytes, 32, header.colorsUsed);
    header.width = static_cast<int32_t>(width);
    header.height = static_cast<int32_t>(height);
    return ok && header.size == sizeof(BITMAPINFOHEADER);
}

TEST(ProgramIcon, GroupHolds16And32And48PixelImagesIn24BitColour) {
    ASSERT_NE(MorvaneImage(), nullptr);
    std::string_view group = ResourceBytes(MorvaneImage(), RT_GROUP_ICON, IDI_MAIN);
    uint16_t reserved = 1, type = 0, count = 0;
    ASSERT_TRUE(ReadU16(group, 0, reserved) && ReadU16(group, 2, type) && ReadU16(group, 4, count));
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(type, 1);
    const int sizes[] = {16, 32, 48};
    ASSERT_EQ(count, std::size(sizes));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        uint64_t entry = 6 + 14 * i; // GRPICONDIRENTRY
        uint8_t width = 0, height = 0;
        uint16_t bitCount = 0, iconId = 0;
        uint32_t bytesInRes = 0;
        ASSERT_TRUE(ReadU8(group, entry, width) && ReadU8(group, entry + 1, height) &&
                    ReadU16(group, entry + 6, bitCount) && ReadU32(group, entry + 8, bytesInRes) &&
                    ReadU16(group, entry + 12, iconId));
        EXPECT_EQ(width, sizes[i]);
        EXPECT_EQ(height, sizes[i]);
        EXPECT_EQ(bitCount, 24);
        std::string_view image = ResourceBytes(MorvaneImage(), RT_ICON, iconId);
        EXPECT_EQ(image.size(), bytesInRes);
        BitmapHeader header;
        ASSERT_TRUE(ReadBitmapHeader(image, header));
        EXPECT_EQ(header.width, sizes[i]);
        EXPECT_EQ(header.height, 2 * sizes[i]); // colour rows and mask rows
        EXPECT_EQ(header.bitCount, 24);
    }
}

TEST(LinkBitmap, Is88By31PixelsWith8BitsPerPixelAPaletteAndNoCompression) {
    ASSERT_NE(MorvaneImage(), nullptr);
    std::string_view bitmap = ResourceBytes(MorvaneImage(), RT_BITMAP, IDB_LINK);
    BitmapHeader header;
    ASSERT_TRUE(ReadBitmapHeader(bitmap, header));
    EXPECT_EQ(header.width, 88);
    EXPECT_EQ(header.height, 31);
    EXPECT_EQ(header.planes, 1);
    EXPECT_EQ(header.bitCount, 8);
    EXPECT_EQ(header.compression, static_cast<uint32_t>(BI_RGB));
    uint32_t colours = header.colorsUsed == 0 ? 256 : header.colorsUsed;
    EXPECT_LE(colours, 256u);
    const uint32_t rowBytes = 88; // 88 one-byte pixels, already a multiple of four
    EXPECT_EQ(bitmap.size(), header.size + 4 * colours + rowBytes * 31);
}

} // namespace
