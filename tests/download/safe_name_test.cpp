#include "download/safe_name.h"

#include <gtest/gtest.h>

namespace zelbrin {
namespace {

TEST(SafeName, RewritesOnlyWhatNoFileSystemAccepts) {
    static const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"第一章 开始", "第一章 开始"},
        {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
        {"..\\..\\windows\\system32", "_.._windows_system32"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"\x01tab\there\x7f", "_tab_here_"},
        {"  padded name.  ", "padded name"},
        {"\xA1\xA1全角空格\xA1\xA1", "全角空格"},
        {"CON", "_CON"},
        {"con.mp3", "_con.mp3"},
        {"Com7", "_Com7"},
        {"LPT0.txt", "_LPT0.txt"},
        {"CONOUT$", "_CONOUT$"},
        {"COM10", "COM10"},
        {"CONSOLE", "CONSOLE"},
        {"", "未命名"},
        {"...", "未命名"},
        {" . ", "未命名"},
        // 0x81 0x5C is one character of code page 936 whose trail byte is "\": it stays whole.
        {"\x81\x5C" "abc", "\x81\x5C" "abc"},
        // A lone lead byte at the end is no character at all.
        {"abc\xB0", "abc_"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Text safe = safeName(c.name);
        EXPECT_EQ(safe, c.expected);
        EXPECT_EQ(safeName(safe), safe) << "not idempotent";
    }
}

TEST(SafeName, LongNamesAreCutOnCharacterBoundaries) {
    Text name;
    for (int i = 0; i < 150; ++i) name += "章";  // 300 bytes
    const Text safe = safeName(name);
    EXPECT_LE(safe.size(), static_cast<size_t>(kMaxNameBytes));
    EXPECT_EQ(safe.size() % 2, 0u);
    EXPECT_EQ(safe, name.substr(0, safe.size()));

    const Text mixed = "a" + name;  // an odd start must not shift the cut into a character
    const Text safeMixed = safeName(mixed);
    EXPECT_EQ(safeMixed.size() % 2, 1u);
    EXPECT_EQ(safeMixed, mixed.substr(0, safeMixed.size()));
}

TEST(ChapterFilePath, KeepsThePathWithinTheLimitAndTheExtension) {
    const Text longFolder = "C:\\" + Text(200, 'f') + "\\";
    Text name;
    for (int i = 0; i < 100; ++i) name += "章";

    static const struct {
        Text prefix;
        Text chapter;
        Text expected;  // empty: only the limits are checked
    } cases[] = {
        {"C:\\书\\", "第1章", "C:\\书\\第1章.mp3"},
        {"C:\\书\\", "a?b", "C:\\书\\a_b.mp3"},
        {"C:\\书\\", "", "C:\\书\\未命名.mp3"},
        {"C:\\书\\", "nul", "C:\\书\\_nul.mp3"},
        {longFolder, name, ""},
        {"C:\\书\\", name, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chapter);
        const Text path = chapterFilePath(c.prefix, c.chapter);
        if (!c.expected.empty()) {
            EXPECT_EQ(path, c.expected);
            continue;
        }
        ASSERT_FALSE(path.empty());
        EXPECT_LE(path.size(), static_cast<size_t>(kMaxPathBytes));
        EXPECT_LE(path.size() - c.prefix.size(), static_cast<size_t>(kMaxNameBytes));
        EXPECT_EQ(path.substr(0, c.prefix.size()), c.prefix);
        EXPECT_EQ(path.substr(path.size() - 4), ".mp3");
        const Text stem = path.substr(c.prefix.size(), path.size() - c.prefix.size() - 4);
        EXPECT_EQ(stem.size() % 2, 0u) << "cut inside a two-byte character";
        EXPECT_EQ(stem, name.substr(0, stem.size()));
    }
}

// Six bytes of room cut "CONIN$章章" to "CONIN$", a device name, whose "_" would not fit.
TEST(ChapterFilePath, ANameCutToADeviceNameStillGetsAPath) {
    const Text prefix = "C:\\" + Text(245, 'f') + "\\";  // leaves 6 bytes for the name
    const Text path = chapterFilePath(prefix, "CONIN$章章");
    ASSERT_FALSE(path.empty());
    EXPECT_LE(path.size(), static_cast<size_t>(kMaxPathBytes));
    EXPECT_EQ(path, prefix + "_CONI.mp3");
}

TEST(ChapterFilePath, RefusesAFolderThatLeavesNoRoom) {
    EXPECT_EQ(chapterFilePath("C:\\" + Text(260, 'f') + "\\", "第1章"), "");
}

}  // namespace
}  // namespace zelbrin
