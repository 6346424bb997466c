#include "text/json_document.h"

#include <gtest/gtest.h>

#include <limits>

namespace zelbrin {
namespace {

const char* const kChapterPage =
    R"({"data":{"data":[{"resId":123456,"resName":"x"},{"resId":7,"resName":"y"}]}})";

TEST(JsonDocumentParse, Table) {
    static const struct {
        Text json;
        bool ok;
    } cases[] = {
        {R"({"a":1})", true}, {"null", false}, {"", false},        {"{a:", false},
        {"[1,2]", true},      {"\"s\"", true}, {"0", true},        {"{\"a\":1} x", false},
        {"\xFF\xFE{", false}, {"[", false},    {"{'a':1}", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        JsonDocument document;
        EXPECT_EQ(document.parse(c.json), c.ok);
        if (!c.ok) {
            EXPECT_EQ(document.getText("a"), "");
            EXPECT_LT(document.memberCount(), 1);
            EXPECT_LE(document.typeOf("a"), 0);
        }
    }
}

TEST(JsonDocumentRead, ChapterPage) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(kChapterPage));
    EXPECT_EQ(document.memberCount("data.data"), 2);
    EXPECT_EQ(document.getText("data.data[0].resId"), "123456");
    EXPECT_EQ(document.getText("data.data[1].resName"), "y");
    EXPECT_EQ(document.getText("data.data[5].resName"), "");
    EXPECT_EQ(document.typeOf("data.data"), 5);
    EXPECT_EQ(document.typeOf(), 4);
    EXPECT_EQ(document.getElementText(1, "data.data", true), R"({"resId":7,"resName":"y"})");
    EXPECT_EQ(document.getNumber("data.data[0].resId"), 123456);
    EXPECT_EQ(document.getJson("data.data[1]"), R"({"resId":7,"resName":"y"})");
}

TEST(JsonDocumentRead, TypeCodesAndMissingPaths) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(
        R"({"s":"t","n":2.5,"b":true,"o":{},"a":[],"z":null,"big":1e13,"neg":-0.5})"));
    static const struct {
        const char* path;
        int type;
        Text text;
    } cases[] = {
        {"s", 6, "t"},   {"n", 2, "2.5"},   {"b", 1, "true"},     {"o", 4, "{}"},
        {"a", 5, "[]"},  {"z", 0, ""},      {"x", 0, ""},         {"x.y", -1, ""},
        {"z.y", -1, ""}, {"s.y", 0, ""},    {"big", 2, "1e+013"}, {"neg", 2, "-0.5"},
        {"a[0]", 0, ""}, {"o.a.b", -1, ""}, {"s..t", -1, ""},     {"s[", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(document.typeOf(c.path), c.type);
        EXPECT_EQ(document.getText(c.path), c.text);
    }
    EXPECT_TRUE(document.has("s"));
    EXPECT_FALSE(document.has("z"));
    EXPECT_FALSE(document.has("x.y"));
}

TEST(JsonDocumentRead, PathRules) {
    JsonDocument array;
    ASSERT_TRUE(array.parse(R"([{"k":"v"},3])"));
    EXPECT_EQ(array.typeOf(), 5);
    EXPECT_EQ(array.getText("[0].k"), "v");  // a bracket path may start with "["
    EXPECT_EQ(array.typeOf("[0]"), -1);      // a dot path may not
    EXPECT_EQ(array.getText(""), "");        // no root rule for getText
    EXPECT_EQ(array.memberCount(), 2);       // root rule
    EXPECT_EQ(array.memberCount("[0]"), 1);
    EXPECT_EQ(array.getElementText(1), "3");
    EXPECT_EQ(array.getElementText(2), "");
}

TEST(JsonDocumentRead, CountsAndKeysOfOwnMembers) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(R"({"b":1,"a":2,"c":{"x":[5,6,7],"e":[]}})"));
    EXPECT_EQ(document.memberCount(), 3);
    EXPECT_EQ(document.memberCount("c.e"), 0);
    EXPECT_EQ(document.memberCount("nothing"), 0);
    TextList names{"old"};
    EXPECT_EQ(document.keys(names), 3);
    EXPECT_EQ(names, (TextList{"b", "a", "c"}));
    EXPECT_EQ(document.keys(names, "c.x"), 3);
    EXPECT_EQ(names, (TextList{"0", "1", "2"}));
    EXPECT_EQ(document.keys(names, "c.e"), 0);
    EXPECT_TRUE(names.empty());
    names = {"old"};
    EXPECT_EQ(document.keys(names, "x.y"), 0);
    EXPECT_TRUE(names.empty());
}

TEST(JsonDocumentText, CodePage936InAndOut) {
    JsonDocument document;
    // The service escapes its chapter names, or sends them as they are: both read the same.
    ASSERT_TRUE(document.parse(R"({"a":"\u4e2d","b":"中","中文":"\ud83d\ude00x"})"));
    EXPECT_EQ(document.getText("a"), "中");
    EXPECT_EQ(document.getText("b"), "中");
    EXPECT_EQ(document.getText("中文"), "??x");
    TextList names;
    document.keys(names);
    EXPECT_EQ(names, (TextList{"a", "b", "中文"}));
    EXPECT_EQ(document.toJson(), R"({"a":"中","b":"中","中文":"??x"})");
}

TEST(JsonDocumentWrite, ValuesComeBackUnchanged) {
    static const Text values[] = {
        "it's", "back\\slash", "line\nbreak", "quote\"d", "'); alert(1); ('", "中文\r\n", "",
    };
    for (const Text& value : values) {
        SCOPED_TRACE(value);
        JsonDocument document;
        document.setText("v", value);
        EXPECT_EQ(document.getText("v"), value);
        JsonDocument reread;
        ASSERT_TRUE(reread.parse(document.toJson()));
        EXPECT_EQ(reread.getText("v"), value);
    }
}

TEST(JsonDocumentWrite, SettersAndFailuresChangeNothing) {
    JsonDocument document;
    document.setText("a", "1");
    document.setText("o", "", true);  // raw empty is an empty object
    document.setText("o.k", R"([1,"x"])", true);
    document.setJson("j", R"({"n":null})");
    document.setNumber("n", 3);
    document.setNumber("r", 0.1 + 0.2);
    EXPECT_EQ(document.toJson(),
              R"({"a":"1","o":{"k":[1,"x"]},"j":{"n":null},"n":3,"r":0.30000000000000004})");
    EXPECT_EQ(document.getText("r"), "0.3");

    document.setText("missing.child", "x");  // the parent does not exist
    document.setText("j.n.x", "x");          // the parent is null
    document.setText("a", "{bad", true);     // invalid raw value
    document.setJson("a", "");
    document.setText("", "x");
    document.setText("[0]", "x");
    document.setNumber("missing.n", 1);
    document.append("x", "missing.list");
    document.setElement(0, "x");  // the root is an object: sets member "0"
    EXPECT_EQ(document.getText("0"), "x");
    document.setElement(1, "", true);  // invalid raw value
    document.removeElementAt(0);       // not an array
    document.removeElement("a");       // no "["
    document.removeElement("missing[0]");
    document.setRoot("{bad", true);
    document.reset(7);
    EXPECT_EQ(
        document.toJson(),
        R"({"a":"1","o":{"k":[1,"x"]},"j":{"n":null},"n":3,"r":0.30000000000000004,"0":"x"})");
}

TEST(JsonDocumentWrite, NumbersBeyondTheIntegersStayReals) {
    static const struct {
        double value;
        const char* json;
    } cases[] = {
        {3, R"({"v":3})"},
        {-0.0, R"({"v":-0.0})"},
        {9007199254740992.0, R"({"v":9.007199254740992e+15})"},
        {1.27736e294, R"({"v":1.27736e+294})"},  // found by json_document_fuzz
        {-1e300, R"({"v":-1e+300})"},
        {std::numeric_limits<double>::infinity(), R"({"v":null})"},
        {std::numeric_limits<double>::quiet_NaN(), R"({"v":null})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        JsonDocument document;
        document.setNumber("v", c.value);
        EXPECT_EQ(document.toJson(), c.json);
    }
}

TEST(JsonDocumentWrite, ArraysAndElements) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(R"({"list":[1,2,3],"n":5})"));
    document.removeElement("list[1]");
    EXPECT_EQ(document.toJson(), R"({"list":[1,3],"n":5})");
    document.append("7", "n", true);  // a number member becomes a one-element array
    EXPECT_EQ(document.getJson("n"), "[7]");
    document.append("s", "fresh");
    EXPECT_EQ(document.getJson("fresh"), R"(["s"])");
    document.append("", "empty", true);
    EXPECT_EQ(document.getJson("empty"), "[]");

    JsonDocument array;
    array.reset(5);
    array.append("a");
    array.append("{\"k\":1}", "", true);
    array.setElement(3, "z");
    EXPECT_EQ(array.toJson(), R"(["a",{"k":1},null,"z"])");
    array.removeElementAt(-1);  // counts from the end, as splice does
    array.removeElementAt(9);
    EXPECT_EQ(array.toJson(), R"(["a",{"k":1},null])");
    array.removeElementAt(0);
    EXPECT_EQ(array.getElementText(0, "", true), R"({"k":1})");
    array.setRoot("plain");
    EXPECT_EQ(array.typeOf(), 6);
    array.clear();
    EXPECT_EQ(array.toJson(), "{}");
    array.reset(0);
    EXPECT_EQ(array.typeOf(), 4);
}

TEST(JsonDocumentObjects, CopySharesGetObjectDoesNot) {
    JsonDocument document;
    ASSERT_TRUE(document.parse(kChapterPage));

    JsonDocument shared = document.copy();
    shared.setText("extra", "1");
    EXPECT_EQ(document.getText("extra"), "1");

    JsonDocument element = document.getElementObject(0, "data.data");
    EXPECT_EQ(element.getText("resId"), "123456");
    element.setText("resName", "changed");
    EXPECT_EQ(document.getText("data.data[0].resName"), "x");

    JsonDocument list = document.getObject("data.data");
    EXPECT_EQ(list.memberCount(), 2);
    list.removeElementAt(0);
    EXPECT_EQ(document.memberCount("data.data"), 2);

    JsonDocument nothing = document.getObject("missing");
    EXPECT_EQ(nothing.typeOf(), 0);
    EXPECT_EQ(document.varName(), "da");

    // A parse starts afresh: the copy keeps the old value.
    ASSERT_TRUE(document.parse("[1]"));
    EXPECT_EQ(shared.getText("extra"), "1");
}

}  // namespace
}  // namespace zelbrin
