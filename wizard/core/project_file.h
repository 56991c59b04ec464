// The project file (".ombr"): one value a line with CR LF line ends, the
// ticked file-list entries and the unticked ones each closed by a line "$".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "wizard/core/project_settings.h"

namespace ombrwiz {

// The project file's text. A line break inside a value is written as a space
// and an entry that is exactly "$" is left out, so no value can end a list or
// shift the lines after it. Space and Split are written as plain numbers; one
// the reader would refuse ("", "12a", Split "0") is written as its reset value.
std::string ProjectFileText(const ProjectSettings& settings);

// The settings read from a project file's text; nullopt when a line is
// missing or Space or Split is not a whole number of 1 to 4 digits within
// 0-9999 (Space) or 1-9999 (Split), in which case the caller resets. The
// language is kept (in the list's spelling) when it names one of the given
// languages ignoring letter case; otherwise none is selected. Lines after the
// last value are ignored.
std::optional<ProjectSettings> ParseProjectFile(std::string_view text,
                                                std::span<const std::string> languages);

}  // namespace ombrwiz
