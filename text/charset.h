// Conversions between code page 936 texts, UTF-8 and UTF-16, and the decoding of hexadecimal
// character references. The code-page work sits behind a platform seam (Win32 on Windows,
// iconv elsewhere); both give the same bytes, "?" for every character code page 936 lacks.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageGbk = 936;

// UTF-16LE code units with a terminating zero unit, read from `text` in `codePage`
// (omitted: UTF-8).
Bytes toWide(std::string_view text, std::optional<int> codePage = {});
// Encodes wide text up to its first zero unit into `codePage` (omitted: 936).
Text fromWide(const Bytes& wide, std::optional<int> codePage = {});

Text utf8ToGbk(std::string_view utf8);
Text gbkToUtf8(std::string_view gbk);

// Replaces `marker` by "%u", then decodes "%uXXXX" and "%XX" as ECMAScript unescape does and
// writes the result in code page 936. Decodes directly on the text; nothing is ever evaluated.
Text decodeHexEntities(std::string_view text, std::string_view marker);

}  // namespace zelbrin
