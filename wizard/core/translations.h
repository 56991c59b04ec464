// The translations offered for a package's texts: files "translations." +
// language name in the program folder.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace ombrwiz {

// The language names among a folder's file names, in the given order: what
// follows "translations." (matched ignoring letter case) in each name, so
// that "translations." + language always names the file. Names with nothing
// after the dot and the translation editor's own files (last extension ".Map"
// or ".Original", any case) are left out.
std::vector<std::string> LanguagesFromFileNames(std::span<const std::string> fileNames);

}  // namespace ombrwiz
