// Paths inside the program are code page 936 texts with "\" between folders, as Windows writes
// them. Only nativePath turns one into a path the operating system takes: UTF-16 on Windows,
// UTF-8 with "/" between folders elsewhere.
#pragma once

#include <filesystem>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

std::filesystem::path nativePath(std::string_view path);

// The folder that holds the program file, without a trailing "\" (a drive root gives «C:»).
Text runDirectory();

// True when the path names an existing folder.
bool folderExists(std::string_view path);
// Creates every missing folder of the path; non-zero on success. Like the Windows helper it
// stands in for, it reads the text after the last "\" as a file name, hence the "\" appended.
int ensureFolder(std::string_view path);

}  // namespace zelbrin
