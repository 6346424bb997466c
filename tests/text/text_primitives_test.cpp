#include <gtest/gtest.h>

#include <climits>

#include "text/text.h"

namespace zelbrin {
namespace {

// «中文» in code page 936; the literal is compiled to the same bytes.
const Text kZhongWen = "\xD6\xD0\xCE\xC4";

TEST(TextLiterals, CompileToCodePage936) { EXPECT_EQ(Text("中文"), kZhongWen); }

TEST(TextFind, Table) {
    static const struct {
        Text text, sought;
        std::optional<int> start;
        bool ignoreCase;
        int expected;
    } cases[] = {
        {"a:b:c", ":", {}, false, 2},
        {"a:b:c", ":", 3, false, 4},
        {"a:b:c", ";", {}, false, -1},
        {"ABC", "b", {}, false, -1},
        {"ABC", "b", {}, true, 2},
        {"abc", "c", 0, false, 3},
        {"abc", "c", -5, false, 3},
        {"abc", "a", 4, false, -1},  // start beyond the end
        {"abc", "", 2, false, 1},    // empty sought: 1, not the start
        {"abc", "", 4, false, -1},
        {"", "", {}, false, -1},
        {"", "a", {}, false, -1},
        {"ab", "abc", {}, false, -1},
        {kZhongWen, "\xD0\xCE", {}, false, -1},  // straddles two characters
        {kZhongWen, "\xCE\xC4", {}, false, 3},
        {"\xB0\x41"
         "A",
         "a",
         {},
         true,
         3},  // trail byte 0x41 is not the letter A
        {"\xB0\x41"
         "A",
         "A",
         {},
         false,
         3},
        {"x\xD6", "\xD6", {}, false, 2},  // lone lead byte at the end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.sought);
        EXPECT_EQ(findText(c.text, c.sought, c.start, c.ignoreCase), c.expected);
    }
}

TEST(TextCut, LeftRightMid) {
    EXPECT_EQ(leftText("abc", 2), "ab");
    EXPECT_EQ(leftText("abc", 9), "abc");
    EXPECT_EQ(leftText("abc", 0), "");
    EXPECT_EQ(leftText("abc", -1), "");
    EXPECT_EQ(leftText(kZhongWen, 1), "\xD6");  // cutting counts bytes
    EXPECT_EQ(rightText("abc", 2), "bc");
    EXPECT_EQ(rightText("abc", 9), "abc");
    EXPECT_EQ(rightText("abc", 0), "");
    EXPECT_EQ(rightText(kZhongWen, 3), "\xD0\xCE\xC4");
    EXPECT_EQ(midText("abcdef", 2, 3), "bcd");
    EXPECT_EQ(midText("abcdef", 5, 9), "ef");
    EXPECT_EQ(midText("abcdef", 0, 3), "");
    EXPECT_EQ(midText("abcdef", 7, 1), "");
    EXPECT_EQ(midText("abcdef", 6, 1), "f");
    EXPECT_EQ(midText("abcdef", 2, 0), "");
}

TEST(TextReplace, Table) {
    static const struct {
        Text text, sought, replacement;
        int start;
        std::optional<int> count;
        bool matchCase;
        Text expected;
    } cases[] = {
        {"a;b;c;", ";", "", 1, {}, false, "abc"},
        {"aXbxc", "x", "-", 1, {}, false, "a-b-c"},
        {"aXbxc", "x", "-", 1, {}, true, "aXb-c"},
        {"a;b;c", ";", "|", 1, 1, false, "a|b;c"},
        {"a;b;c", ";", "|", 3, {}, false, "a;b|c"},
        {"a;b;c", ";", "|", 0, {}, false, "a|b|c"},
        {"a;b;c", ";", "|", 1, 0, false, "a;b;c"},   // a given 0 replaces nothing
        {"a;b;c", ";", "|", 1, -1, false, "a|b|c"},  // negative: all
        {"a;b;c", ";", "|", 6, {}, false, "a;b;c"},  // start beyond the end
        {"a;b;c", "", "|", 1, {}, false, "a;b;c"},
        {"", ";", "|", 1, {}, false, ""},
        {"aaa", "aa", "b", 1, {}, false, "ba"},   // no overlaps
        {"aa", "a", "aa", 1, {}, false, "aaaa"},  // inserted text is not searched again
        {kZhongWen, "\xD0\xCE", "X", 1, {}, false, kZhongWen},
        {"\xB0\x41"
         "A",
         "a",
         "-",
         1,
         {},
         false,
         "\xB0\x41-"},
        {"第1章;上", ";", "", 1, {}, false, "第1章上"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.sought);
        EXPECT_EQ(replaceText(c.text, c.sought, c.replacement, c.start, c.count, c.matchCase),
                  c.expected);
    }
}

TEST(TextSplit, Table) {
    static const struct {
        Text text, delimiter;
        std::optional<int> max;
        TextList expected;
    } cases[] = {
        {"a,b,c", ",", {}, {"a", "b", "c"}},
        {"a,,b,", ",", {}, {"a", "", "b"}},
        {",a", ",", {}, {"", "a"}},
        {",", ",", {}, {""}},
        {"abc", ",", {}, {"abc"}},
        {"", ",", {}, {}},
        {"a;b;c", ";", 2, {"a", "b"}},
        {"a;b", ";", 5, {"a", "b"}},
        {"a;b;c", ";", 0, {}},
        {"a;b", "", {}, {"a;b"}},
        {"a; b; c", "; ", {}, {"a", "b", "c"}},
        {"\xB0\x2C,x", ",", {}, {"\xB0\x2C", "x"}},  // trail byte 0x2C is not a comma
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.delimiter);
        EXPECT_EQ(splitText(c.text, c.delimiter, c.max), c.expected);
    }
}

TEST(TextSpaces, TrimAndRemove) {
    static const struct {
        Text text, trimmed, removed;
    } cases[] = {
        {"  a b  ", "a b", "ab"},
        {"\xA1\xA1"
         "中\xA1\xA1"
         "文\xA1\xA1",
         "中\xA1\xA1"
         "文",
         "中文"},
        {"\ta\r\n", "\ta\r\n", "\ta\r\n"},  // tabs and line breaks are not spaces
        {"   ", "", ""},
        {"", "", ""},
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},  // A1 after a lead byte is a trail byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(trimSpaces(c.text), c.trimmed);
        EXPECT_EQ(removeSpaces(c.text), c.removed);
    }
}

TEST(TextToInt, Table) {
    static const struct {
        Text text;
        int expected;
    } cases[] = {
        {"30025", 30025},
        {"  -12abc", -12},
        {"1.9", 1},
        {"abc", 0},
        {"", 0},
        {"３００２５", 30025},
        {"－１２", -12},
        {"＋7", 7},
        {"\xA1\xA1"
         "42",
         42},
        {" 12 34", 12},
        {"\t\n+5", 5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},  // beyond 32 bits saturates
        {"-2147483649", INT_MIN},
        {"99999999999999999999999999", INT_MAX},
        {"-99999999999999999999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(textToInt(c.text), c.expected);
    }
}

TEST(TextNumber, IntegersAndReals) {
    EXPECT_EQ(numberToText(30025), "30025");
    EXPECT_EQ(numberToText(-12), "-12");
    EXPECT_EQ(numberToText(0), "0");
    EXPECT_EQ(numberToText(INT_MIN), "-2147483648");
    static const struct {
        double value;
        Text expected;
    } cases[] = {
        {2.5, "2.5"},
        {0.25, "0.25"},
        {100.0, "100"},
        {1.005, "1.005"},
        {1.0 / 3, "0.3333333333333"},
        {0.1 + 0.2, "0.3"},
        {0.0001, "0.0001"},
        {0.00001, "1e-005"},
        {1e13, "1e+013"},
        {9999999999999.0, "9999999999999"},
        {12345678901225.0, "1.234567890122e+013"},  // an exact half rounds to even
        {-0.5, "-0.5"},
        {0.0, "0"},
        {123456.0, "123456"},
        {1.5e-7, "1.5e-007"},
        {1e300, "1e+300"},
        {-2.5e-300, "-2.5e-300"},
        {1234567890123.5, "1234567890124"},
        {1234567890122.5, "1234567890122"},
        {99999999999995.0, "1e+014"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(numberToText(c.value), c.expected);
    }
}

TEST(TextRound, Table) {
    static const struct {
        double value;
        int decimals;
        double expected;
    } cases[] = {
        {2.5, 0, 3},      {-2.5, 0, -3},    {-0.5, 0, -1},    {0.125, 2, 0.13},
        {1.005, 2, 1.01}, {2.675, 2, 2.68}, {1234, -2, 1200}, {1.4999999999995, 0, 2},
        {0, 3, 0},        {2.4, 0, 2},      {1250, -2, 1300}, {-1.005, 2, -1.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(numberToText(c.value) + " to " + numberToText(c.decimals));
        EXPECT_DOUBLE_EQ(roundNumber(c.value, c.decimals), c.expected);
    }
}

TEST(TextNumber, Remainder) {
    EXPECT_DOUBLE_EQ(zelbrin::remainder(7, 3), 1);
    EXPECT_DOUBLE_EQ(zelbrin::remainder(-7, 3), -1);
    EXPECT_DOUBLE_EQ(zelbrin::remainder(7.5, 2), 1.5);
    EXPECT_DOUBLE_EQ(zelbrin::remainder(7, -3), 1);
}

TEST(TextBytes, CharCodeAndBuffers) {
    EXPECT_EQ(charCode("A"), 65);
    EXPECT_EQ(charCode(kZhongWen), static_cast<signed char>(0xD6));
    EXPECT_EQ(charCode(kZhongWen, 4), static_cast<signed char>(0xC4));
    EXPECT_EQ(charCode("abc", 0), 0);
    EXPECT_EQ(charCode("abc", 4), 0);
    EXPECT_EQ(textToBytes("ab"), (Bytes{'a', 'b'}));
    EXPECT_TRUE(textToBytes("").empty());
    EXPECT_EQ(bytesToText(Bytes{'a', 0, 'b'}), "a");
    EXPECT_EQ(bytesToText(Bytes{'a', 'b'}), "ab");
    EXPECT_EQ(bytesToText(Bytes{}), "");
    EXPECT_EQ(blankText(3), "   ");
    EXPECT_EQ(blankText(0), "");
    EXPECT_EQ(blankBytes(2), (Bytes{0, 0}));
    EXPECT_TRUE(blankBytes(-1).empty());
    EXPECT_TRUE(textEquals("", Text()));
    EXPECT_FALSE(textEquals("a", "A"));
    EXPECT_EQ(textLength(kZhongWen), 4);
}

TEST(TextBefore, Table) {
    static const struct {
        Text text, marker;
        int start;
        bool ignoreCase;
        Text expected;
    } cases[] = {
        {"Set-Cookie: a=1", ": ", 1, false, "Set-Cookie"},
        {"a:b:c", ":", 3, false, "a:b"},  // from the first byte, not from the start
        {"data.data[3]", "[", 1, false, "data.data"},
        {"abc", ":", 1, false, ""},
        {":x", ":", 1, false, ""},
        {"a:b", ":", 0, false, "a"},
        {"aXb", "x", 1, true, "a"},
        {"aXb", "x", 1, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.marker);
        EXPECT_EQ(textBefore(c.text, c.marker, c.start, c.ignoreCase), c.expected);
    }
}

TEST(TextBetween, Table) {
    static const struct {
        Text text, left, right;
        int start;
        bool ignoreCase;
        Text expected;
    } cases[] = {
        {"a[1]b[2]", "[", "]", 1, false, "1"},
        {"a[1]b[2]", "[", "]", 3, false, "2"},
        {"<b>x</b>", "<b>", "</b>", 1, false, "x"},
        {"<B>x</b>", "<b>", "</B>", 1, true, "x"},
        {"abc", "[", "]", 1, false, ""},
        {"a[1", "[", "]", 1, false, ""},
        {"[]", "[", "]", 1, false, ""},
        {"]x[", "[", "]", 1, false, ""},  // right marker only before the left one
        {"<a class=\"g-user\">名字</a>", "class=#引号g-user#引号>", "</a>", 0, false, "名字"},
        {"x=\"v\"", "x=#引号", "#引号", 1, false, "v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.left + " / " + c.right);
        EXPECT_EQ(textBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
    }
}

TEST(TextReplaceMany, PairsCountAndStart) {
    EXPECT_EQ(replaceMany("第1章;上", {}, 1, false, {{";", ""}}), "第1章上");
    EXPECT_EQ(replaceMany("ab", {}, 1, false, {{"a", "b"}, {"b", "c"}}), "cc");
    EXPECT_EQ(replaceMany("a;a;a", 0, 1, false, {{";", "|"}}), "a;a;a");  // a given 0
    EXPECT_EQ(replaceMany("a;a;a", 1, 1, false, {{";", "|"}}), "a|a;a");
    EXPECT_EQ(replaceMany("a;a;a", {}, 0, false, {{";", "|"}}), "a|a|a");
    EXPECT_EQ(replaceMany("a;a;a", {}, 3, false, {{";", "|"}}), "a;a|a");
    EXPECT_EQ(replaceMany("aXa", {}, 1, true, {{"x", "-"}}), "aXa");
    EXPECT_EQ(replaceMany("aXa", {}, 1, false, {{"x", "-"}, {"", "z"}}), "a-a");
}

}  // namespace
}  // namespace zelbrin
