#include "text/charset.h"

#include <gtest/gtest.h>

namespace zelbrin {
namespace {

// UTF-8 input written as bytes: this file's narrow literals are compiled to code page 936.
const Text kUtf8Zhong = "\xE4\xB8\xAD";      // 中
const Text kUtf8Euro = "\xE2\x82\xAC";       // €
const Text kUtf8Emoji = "\xF0\x9F\x98\x80";  // U+1F600
const Text kUtf8Dot = "\xC2\xB7";            // U+00B7 middle dot, A1 A4 in code page 936
const Text kUtf8Superscript2 = "\xC2\xB2";   // ², which code page 936 lacks

// Same bytes natively (iconv) and under Windows (the Win32 functions).
TEST(CharsetUtf8ToGbk, Table) {
    static const struct {
        Text utf8, gbk;
    } cases[] = {
        {"", ""},
        {"abc 123", "abc 123"},
        {kUtf8Zhong + "\xE6\x96\x87", "中文"},
        {kUtf8Euro, "\x80"},
        {kUtf8Dot, "\xA1\xA4"},
        {"\xE2\x80\x94", "\xA1\xAA"},      // em dash
        {"\xE3\x80\x80", "\xA1\xA1"},      // ideographic space
        {"a" + kUtf8Emoji + "b", "a??b"},  // one "?" for each UTF-16 unit, as Windows writes
        {kUtf8Superscript2, "?"},          // no look-alike «2»
        {"\xC3\xA9", "\xA8\xA6"},          // é
        {"\xE2\x82\xAC"
         "x\xEF\xBF\xBD",
         "\x80x?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(CharsetUtf8ToGbk, StopsAtZeroByte) {
    const Text page = "<b>" + kUtf8Zhong + Text(1, '\0') + "tail";
    EXPECT_EQ(utf8ToGbk(page), "<b>中");
}

TEST(CharsetUtf8ToGbk, PageWithEmojiKeepsTheRest) {
    Text page;
    Text expected;
    for (int i = 0; i < 2000; ++i) {
        page += "<p>" + kUtf8Zhong + kUtf8Emoji + "</p>\n";
        expected +=
            "<p>中?"
            "?</p>\n";
    }
    EXPECT_EQ(utf8ToGbk(page), expected);
}

TEST(CharsetGbkToUtf8, RoundTrips) {
    static const Text cases[] = {"", "abc", "中文", "\x80", "第一章 \xA1\xA1", "\xA1\xA4"};
    for (const Text& gbk : cases) {
        SCOPED_TRACE(gbk);
        EXPECT_EQ(utf8ToGbk(gbkToUtf8(gbk)), gbk);
    }
    EXPECT_EQ(gbkToUtf8("中"), kUtf8Zhong);
    EXPECT_EQ(gbkToUtf8("\x80"), kUtf8Euro);
}

TEST(CharsetWide, UnitsWithTerminator) {
    EXPECT_EQ(toWide(""), (Bytes{0, 0}));
    EXPECT_EQ(toWide("A"), (Bytes{'A', 0, 0, 0}));
    EXPECT_EQ(toWide(kUtf8Zhong), (Bytes{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(toWide("中", kCodePageGbk), (Bytes{0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(toWide(kUtf8Emoji), (Bytes{0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    EXPECT_EQ(toWide(std::string_view("a\0b", 3)), (Bytes{'a', 0, 0, 0}));

    EXPECT_EQ(fromWide(Bytes{}), "");
    EXPECT_EQ(fromWide(Bytes{0, 0}), "");
    EXPECT_EQ(fromWide(Bytes{0x2D, 0x4E, 0, 0, 'x', 0}), "中");  // up to the first zero unit
    EXPECT_EQ(fromWide(Bytes{0x2D, 0x4E}), "中");
    EXPECT_EQ(fromWide(Bytes{0x2D, 0x4E, 0, 0}, kCodePageUtf8), kUtf8Zhong);
    EXPECT_EQ(fromWide(Bytes{0x3D, 0xD8, 0x00, 0xDE, 0, 0}, kCodePageUtf8), kUtf8Emoji);
}

TEST(CharsetDecodeHexEntities, Table) {
    static const struct {
        Text text, expected;
    } cases[] = {
        {"&#x4e2d;", "中;"},
        {"第&#x4e00;章", "第一;章"},
        {"&#x41;", "%u41;"},   // fewer than four digits stay
        {"&#x1F600;", "?0;"},  // U+1F60 is not in code page 936
        {"100%25", "100%"},
        {"%41", "A"},
        {"%u4E2D%u4e2d", "中中"},
        {"&#65;", "&#65;"},        // decimal references stay
        {"&#X4E2D;", "&#X4E2D;"},  // so does an upper-case X
        {"plain text", "plain text"},
        {"%", "%"},
        {"%zz%u12", "%zz%u12"},
        {"it's \\n \"x\"\r\nnext", "it's \\n \"x\"\r\nnext"},  // never run as script
        {"中文%u6587", "中文文"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decodeHexEntities(c.text, "&#x"), c.expected);
    }
}

}  // namespace
}  // namespace zelbrin
