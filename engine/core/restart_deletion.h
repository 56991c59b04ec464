// Deleting a file at the next restart on the Windows 95 family, which has no
// delayed MoveFileEx: a line NUL=short path in the section [Rename] of
// wininit.ini, which the system carries out once as it starts.
#pragma once

#include <string>
#include <string_view>

namespace tavrel {

// The text of wininit.ini with the line NUL=shortPath added to its [Rename]
// section (the section name in any letter case); the section is added at the
// end when there is none. Every other line stays as it was.
std::string WithRenameDeletion(std::string_view iniText, std::string_view shortPath);

}  // namespace tavrel
