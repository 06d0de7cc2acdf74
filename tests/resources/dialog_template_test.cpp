// The main dialog's template as the executable carries it: an extended template whose header
// and items hold exactly the styles, rectangles, classes and texts the dialog is drawn from.
#include "resource_ids.h"
#include "resource_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;

// sz_Or_Ord: 0xFFFF and an ordinal, or a NUL-terminated UTF-16 name (empty when none).
struct NameOrOrdinal {
    uint16_t ordinal = 0;
    std::u16string name;
};

bool ReadNameOrOrdinal(std::string_view bytes, uint64_t offset, NameOrOrdinal& out,
                       uint64_t& next) {
    uint16_t first = 0;
    if (!ReadU16(bytes, offset, first)) {
        return false;
    }
    if (first == 0xFFFF) {
        next = offset + 4;
        return ReadU16(bytes, offset + 2, out.ordinal);
    }
    return ReadWideString(bytes, offset, out.name, next);
}

struct Rect {
    int16_t x, y, cx, cy;
};

bool operator==(const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy;
}

bool ReadRect(std::string_view bytes, uint64_t offset, Rect& out) {
    return ReadI16(bytes, offset, out.x) && ReadI16(bytes, offset + 2, out.y) &&
           ReadI16(bytes, offset + 4, out.cx) && ReadI16(bytes, offset + 6, out.cy);
}

// DLGITEMTEMPLATEEX: helpID, exStyle, style, x, y, cx, cy, id, windowClass, title, extraCount.
struct DialogItem {
    uint32_t helpId, exStyle, style, id;
    Rect rect;
    NameOrOrdinal windowClass, title;
    uint16_t extraCount;
};

bool ReadDialogItem(std::string_view bytes, uint64_t offset, DialogItem& item, uint64_t& next) {
    return ReadU32(bytes, offset, item.helpId) && ReadU32(bytes, offset + 4, item.exStyle) &&
           ReadU32(bytes, offset + 8, item.style) && ReadRect(bytes, offset + 12, item.rect) &&
           ReadU32(bytes, offset + 20, item.id) &&
           ReadNameOrOrdinal(bytes, offset + 24, item.windowClass, offset) &&
           ReadNameOrOrdinal(bytes, offset, item.title, offset) &&
           ReadU16(bytes, offset, item.extraCount) && (next = offset + 2 + item.extraCount, true);
}

// DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy, menu,
// windowClass, title, and with DS_SETFONT pointsize, weight, italic, charset, typeface.
struct DialogTemplate {
    uint16_t version, signature, itemCount, pointSize, weight;
    uint32_t helpId, exStyle, style;
    Rect rect;
    NameOrOrdinal menu, windowClass;
    std::u16string title, typeface;
    uint8_t italic, charset;
    std::vector<DialogItem> items;
};

bool ReadDialogTemplate(std::string_view bytes, DialogTemplate& dialog) {
    uint64_t offset = 0;
    bool ok =
        ReadU16(bytes, 0, dialog.version) && ReadU16(bytes, 2, dialog.signature) &&
        ReadU32(bytes, 4, dialog.helpId) && ReadU32(bytes, 8, dialog.exStyle) &&
        ReadU32(bytes, 12, dialog.style) && ReadU16(bytes, 16, dialog.itemCount) &&
        ReadRect(bytes, 18, dialog.rect) && ReadNameOrOrdinal(bytes, 26, dialog.menu, offset) &&
        ReadNameOrOrdinal(bytes, offset, dialog.windowClass, offset) &&
        ReadWideString(bytes, offset, dialog.title, offset) &&
        ReadU16(bytes, offset, dialog.pointSize) && ReadU16(bytes, offset + 2, dialog.weight) &&
        ReadU8(bytes, offset + 4, dialog.italic) && ReadU8(bytes, offset + 5, dialog.charset) &&
        ReadWideString(bytes, offset + 6, dialog.typeface, offset);
    for (uint16_t i = 0; ok && i < dialog.itemCount; ++i) {
        DialogItem item;
        ok = ReadDialogItem(bytes, AlignToDword(offset), item, offset);
        dialog.items.push_back(item);
    }
    return ok && offset <= bytes.size();
}

class MainDialogTemplate : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(MorvaneImage(), nullptr);
        std::string_view bytes = ResourceBytes(MorvaneImage(), RT_DIALOG, IDD_MAIN);
        ASSERT_FALSE(bytes.empty());
        ASSERT_TRUE(ReadDialogTemplate(bytes, dialog_));
    }
    DialogTemplate dialog_;
};

TEST_F(MainDialogTemplate, HeaderHoldsTheExactStyleRectangleCaptionAndFont) {
    EXPECT_EQ(dialog_.version, 1);
    EXPECT_EQ(dialog_.signature, 0xFFFF);
    EXPECT_EQ(dialog_.helpId, 0u);
    EXPECT_EQ(dialog_.exStyle, 0u);
    EXPECT_EQ(dialog_.style, 0x10CA0840u);
    EXPECT_EQ(dialog_.style, static_cast<uint32_t>(WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                                   WS_MINIMIZEBOX | DS_CENTER | DS_SETFONT));
    EXPECT_EQ(dialog_.itemCount, 8);
    EXPECT_TRUE(dialog_.rect == (Rect{-2, -16, 291, 214}));
    EXPECT_EQ(dialog_.menu.ordinal, 0);
    EXPECT_EQ(dialog_.menu.name, u"");
    EXPECT_EQ(dialog_.windowClass.ordinal, 0);
    EXPECT_EQ(dialog_.windowClass.name, u"");
    EXPECT_EQ(dialog_.title, u"Morvane V1.0");
    EXPECT_EQ(dialog_.pointSize, 8);
    EXPECT_EQ(dialog_.weight, 0);
    EXPECT_EQ(dialog_.italic, 0);
    EXPECT_EQ(dialog_.charset, 0);
    EXPECT_EQ(dialog_.typeface, u"MS Sans Serif");
}

TEST_F(MainDialogTemplate, ItemsHoldTheExactStylesRectanglesClassesAndTexts) {
    struct Expected {
        uint32_t id;
        uint16_t classAtom;
        const char16_t* text; // nullptr: the credit line, whose wording is free
        uint32_t style;
        uint32_t exStyle;
        Rect rect;
    };
    const Expected expected[] = {
        {IDC_MAKE_DEF, kButtonAtom, u"导出*.def 文件", 0x50010000, 0, {219, 6, 64, 19}},
        {IDC_MAKE_LIB, kButtonAtom, u"生成*.lib 文件", 0x50010000, 0, {219, 39, 64, 19}},
        {IDC_DLL_PATH, kEditAtom, u"", 0x50010800, WS_EX_CLIENTEDGE, {3, 9, 210, 15}},
        {IDC_DEF_PATH, kEditAtom, u"", 0x50010800, WS_EX_CLIENTEDGE, {3, 42, 210, 15}},
        {IDC_LOG, kEditAtom, u"", 0x50210804, WS_EX_CLIENTEDGE, {0, 66, 291, 120}},
        {IDC_WEB_LINK, kStaticAtom, u"#100", 0x5000030E, 0, {201, 189, 60, 21}},
        {IDC_CREDIT, kStaticAtom, nullptr, 0x50000000, 0, {9, 192, 183, 12}},
        {IDC_NAMES_ONLY,
         kButtonAtom,
         u"只导出函数名称（无函数序号）",
         0x50010003,
         0,
         {12, 27, 144, 12}},
    };
    ASSERT_EQ(dialog_.items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const DialogItem& item = dialog_.items[i];
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.exStyle, expected[i].exStyle);
        EXPECT_TRUE(item.rect == expected[i].rect);
        EXPECT_EQ(item.windowClass.ordinal, expected[i].classAtom);
        EXPECT_EQ(item.title.ordinal, 0);
        if (expected[i].text != nullptr) {
            EXPECT_EQ(item.title.name, expected[i].text);
        } else {
            EXPECT_FALSE(item.title.name.empty());
            EXPECT_EQ(item.title.name.find_first_of(u"\r\n"), std::u16string::npos);
        }
        EXPECT_EQ(item.extraCount, 0);
    }
}

} // namespace
