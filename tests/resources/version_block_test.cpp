// The version block (RT_VERSION 1): its fixed part, the string table 08040000 with its six
// entries in order, and the translation.
#include "resource_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One node of the block: wLength, wValueLength, wType, szKey, padding, value, padding, children.
struct VersionNode {
    std::u16string key;
    uint16_t type = 0; // 1: the value is text, 0: binary
    std::string_view value;
    std::vector<VersionNode> children;
};

bool ReadVersionNode(std::string_view bytes, uint64_t offset, VersionNode& node) {
    uint16_t length = 0, valueLength = 0;
    uint64_t next = 0;
    if (!ReadU16(bytes, offset, length) || !ReadU16(bytes, offset + 2, valueLength) ||
        !ReadU16(bytes, offset + 4, node.type) ||
        !ReadWideString(bytes, offset + 6, node.key, next) || offset + length > bytes.size() ||
        length < next - offset) {
        return false;
    }
    uint64_t end = offset + length;
    uint64_t valueStart = AlignToDword(next);
    uint64_t valueSize = node.type == 1 ? valueLength * uint64_t{2} : valueLength;
    if (valueStart + valueSize > end) {
        return false;
    }
    node.value = bytes.substr(valueStart, valueSize);
    for (uint64_t child = AlignToDword(valueStart + valueSize); child < end;) {
        VersionNode childNode;
        uint16_t childLength = 0;
        if (!ReadU16(bytes, child, childLength) || childLength == 0 ||
            !ReadVersionNode(bytes, child, childNode)) {
            return false;
        }
        node.children.push_back(childNode);
        child = AlignToDword(child + childLength);
    }
    return true;
}

// A text value up to its terminating NUL.
std::u16string TextOf(const VersionNode& node) {
    std::u16string text;
    uint64_t next = 0;
    if (!ReadWideString(node.value, 0, text, next)) {
        text.assign(reinterpret_cast<const char16_t*>(node.value.data()), node.value.size() / 2);
    }
    return text;
}

const VersionNode* ChildNamed(const VersionNode& node, const std::u16string& key) {
    for (const VersionNode& child : node.children) {
        if (child.key == key) {
            return &child;
        }
    }
    return nullptr;
}

class VersionBlock : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(MorvaneImage(), nullptr);
        std::string_view bytes = ResourceBytes(MorvaneImage(), RT_VERSION, 1);
        ASSERT_FALSE(bytes.empty());
        ASSERT_TRUE(ReadVersionNode(bytes, 0, root_));
        ASSERT_EQ(root_.key, u"VS_VERSION_INFO");
    }
    VersionNode root_;
};

TEST_F(VersionBlock, FixedPartNamesVersion1ForAWindowsApplication) {
    ASSERT_EQ(root_.value.size(), sizeof(VS_FIXEDFILEINFO));
    uint32_t fields[13];
    for (int i = 0; i < 13; ++i) {
        ASSERT_TRUE(ReadU32(root_.value, i * 4, fields[i]));
    }
    const uint32_t expected[13] = {
        0xFEEF04BD, // signature
        0x00010000, // structure version
        0x00010000,
        0x00000000, // file version 1.0.0.0
        0x00010000,
        0x00000000, // product version 1.0.0.0
        0,
        0, // flags mask, flags
        VOS__WINDOWS32,
        VFT_APP,
        0, // subtype
        0,
        0, // date
    };
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(fields[i], expected[i]) << "field " << i;
    }
}

TEST_F(VersionBlock, StringTable08040000HoldsTheSixEntriesInOrder) {
    const VersionNode* strings = ChildNamed(root_, u"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1u);
    const VersionNode& table = strings->children[0];
    EXPECT_EQ(table.key, u"08040000");
    struct Entry {
        const char16_t* key;
        const char16_t* value; // nullptr: the maker's own wording, not empty
    };
    const Entry expected[] = {
        {u"FileVersion", u"1.0.0.0"}, {u"ProductVersion", u"1.0.0.0"},
        {u"CompanyName", nullptr},    {u"FileDescription", u"Morvane"},
        {u"LegalCopyright", nullptr}, {u"ProductName", u"Morvane"},
    };
    ASSERT_EQ(table.children.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(table.children[i].key, expected[i].key);
        EXPECT_EQ(table.children[i].type, 1);
        if (expected[i].value != nullptr) {
            EXPECT_EQ(TextOf(table.children[i]), expected[i].value);
        } else {
            EXPECT_FALSE(TextOf(table.children[i]).empty());
        }
    }
}

TEST_F(VersionBlock, TranslationIsChinesePrcWithCodePageZero) {
    const VersionNode* variables = ChildNamed(root_, u"VarFileInfo");
    ASSERT_NE(variables, nullptr);
    const VersionNode* translation = ChildNamed(*variables, u"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, std::string_view("\x04\x08\x00\x00", 4));
}

} // namespace
