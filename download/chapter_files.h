// Which file each chapter of a book goes to, decided over the whole book in its order, so that
// every chapter gets a file of its own and a rerun finds each where the first run left it.
#pragma once

#include <string_view>
#include <vector>

#include "text/text.h"

namespace zelbrin {

// One path per name, in order: `folderPrefix` (ending in the separator) + the safe name +
// ".mp3". A name an earlier chapter already has (regardless of ASCII case, as Windows
// compares) gets "(1)", "(2)", ... Empty for a chapter whose path cannot be made short enough.
std::vector<Text> chapterFilePaths(const std::vector<Text>& chapterNames,
                                   std::string_view folderPrefix);

}  // namespace zelbrin
