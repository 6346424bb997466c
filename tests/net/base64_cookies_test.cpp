#include <gtest/gtest.h>

#include "net/base64.h"
#include "net/cookies.h"

namespace zelbrin {
namespace {

Bytes bytesOf(const Text& text) { return Bytes(text.begin(), text.end()); }

TEST(Base64Encode, Table) {
    static const struct {
        Bytes input;
        Text expected;
    } cases[] = {
        {{}, ""},
        {bytesOf("a"), "YQ=="},
        {bytesOf("ab"), "YWI="},
        {bytesOf("abc"), "YWJj"},
        {bytesOf("user:pass"), "dXNlcjpwYXNz"},
        {{0xFF}, "/w=="},
        {{0x00}, "AA=="},
        {{0xFB, 0xEF, 0xBE}, "++++"},
        {{0xFF, 0xFF, 0xFF}, "////"},
        {{0x80, 0x00, 0x7F, 0xC3}, "gAB/ww=="},
        {bytesOf("foobar"), "Zm9vYmFy"},  // RFC 4648 section 10
        {bytesOf("fooba"), "Zm9vYmE="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(base64Encode(c.input), c.expected);
    }
}

TEST(Base64Encode, LongInputIsOneLine) {
    const Bytes input(3000, 0xA5);
    const Text encoded = base64Encode(input);
    EXPECT_EQ(encoded.size(), 4000u);
    EXPECT_EQ(encoded.find_first_of("\r\n="), Text::npos);
}

TEST(CookieMerge, Table) {
    static const struct {
        Text cookies, newCookies, merged;
    } cases[] = {
        {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
        {"a=1; b=2", "b=deleted", "a=1"},
        {"a=1; a=2", "", "a=1"},
        {"a=1", "a=2; a=3", "a=2; a=3"},
        {"a=1", "a=1; a=1", "a=1"},
        {"k=hello world", "", "k=helloworld"},
        {"a", "a=5", "a=5"},
        {"a=1;;b=2", "", "a=1; ; b=2"},
        {"", "", ""},
        {"A=1", "a=2", "a=2; A=1"},  // names are case-sensitive
        {"k=1", "k==deleted", ""},
        {"x=1", "x=undeleted", "x=undeleted"},
        {"a=1\xA1\xA1"
         "2",
         "", "a=12"},  // the full-width space goes too
        {"", "c=3; d=deleted", "c=3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cookies + " + " + c.newCookies);
        Text cookies = c.cookies;
        Text newCookies = c.newCookies;
        EXPECT_EQ(mergeCookies(cookies, newCookies), c.merged);
        EXPECT_EQ(cookies, c.merged);
    }
}

TEST(CookieMerge, NormalisesBothArgumentsInPlace) {
    Text cookies = "a = 1; b=2";
    Text newCookies = " c = 3 ";
    EXPECT_EQ(mergeCookies(cookies, newCookies), "c=3; a=1; b=2");
    EXPECT_EQ(newCookies, "c=3");
}

TEST(CookieHelpers, KeysListsAndDedupe) {
    EXPECT_EQ(cookieKey(" name = v=w"), "name");
    EXPECT_EQ(cookieKey(" flag "), "flag");
    EXPECT_EQ(cookieKey(""), "");
    EXPECT_TRUE(hasCookieKey({"x=1", "y=2"}, "y"));
    EXPECT_FALSE(hasCookieKey({"x=1", "y=2"}, "Y"));
    EXPECT_FALSE(hasCookieKey({}, ""));
    EXPECT_EQ(indexOfText({"a", "b", "b"}, "b"), 2);
    EXPECT_EQ(indexOfText({"a"}, "c"), -1);
    EXPECT_EQ(dedupeJoined("a; b; a; ; ; c", "; "), "a; b; ; c");
    EXPECT_EQ(dedupeJoined("", "; "), "");
    EXPECT_EQ(dedupeJoined("x", ","), "x");
}

}  // namespace
}  // namespace zelbrin
