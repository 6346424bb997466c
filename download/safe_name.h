// File and folder names made from text the service sends (book and chapter names). Whatever
// the service says, the result is one valid name component on Windows and on Linux, and a
// name that is already safe is kept byte for byte.
#pragma once

#include <string_view>

#include "text/text.h"

namespace zelbrin {

// Longest path the program creates, in bytes of code page 936: Windows' MAX_PATH less the
// terminator.
inline constexpr int kMaxPathBytes = 259;
// Longest single name component. Linux allows 255 bytes and a code page 936 character takes up
// to three bytes once the name is written as UTF-8 there, so stay within 255 ÷ 3 × 2.
inline constexpr int kMaxNameBytes = 170;

// Characters no file system of ours accepts (\ / : * ? " < > | and control bytes) become "_";
// leading and trailing spaces and dots go; a reserved device name (CON, COM1.txt, ...) gets a
// "_" in front; nothing left becomes "未命名". Never longer than kMaxNameBytes, never cut
// inside a two-byte character.
Text safeName(std::string_view name);

// The path of a chapter's file: `folderPrefix` (ending in the separator) + the safe chapter name
// + `extension`, the name shortened so that the whole path stays within kMaxPathBytes.
// Returns "" when even a one-character name would not fit.
Text chapterFilePath(std::string_view folderPrefix, std::string_view chapterName,
                     std::string_view extension = ".mp3");

}  // namespace zelbrin
