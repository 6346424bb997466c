// Which file each chapter goes to, decided before anything is downloaded.
#pragma once

#include <vector>

#include "catalogue/chapter_page.h"
#include "cli/chapter_job.h"

namespace zelbrin::cli {

// One job per chapter of the book, in order, each saved under `folderPrefix` (ending in "\")
// with the window's safe names. With `numbered` each name starts with the chapter's number,
// zero-padded to the width of the chapter count ("007 第七章"). A name an earlier chapter
// already has gets "(1)", "(2)", ... as the engine would give it, so every chapter has a file of
// its own and a rerun finds each where the first run left it, whatever range either asked for.
// Chapters whose path cannot be made short enough get an empty savePath.
std::vector<ChapterJob> planChapters(const std::vector<ChapterEntry>& chapters,
                                     const Text& folderPrefix, bool numbered);

}  // namespace zelbrin::cli
