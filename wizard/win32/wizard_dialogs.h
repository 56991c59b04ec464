// The wizard's file dialogs. Filters are written "Name|pattern|Name|pattern";
// each dialog starts in, and remembers, the folder it is given.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ombrwiz {

// Several existing files at once; none when cancelled.
std::vector<std::string> ChooseFilesToOpen(HWND owner, const char* title, const char* filter,
                                           std::string& folder);
// One existing file.
std::optional<std::string> ChooseFileToOpen(HWND owner, const char* title, const char* filter,
                                            std::string& folder);
// A file to write, in an existing folder; asks before overwriting.
std::optional<std::string> ChooseFileToSave(HWND owner, const char* title, const char* filter,
                                            const char* extension, std::string& folder,
                                            const std::string& current);

}  // namespace ombrwiz
