// Finding the original setup sources when a command needs a file from them
// that is not where it should be.
#pragma once

#include <string>

namespace tavrel {

struct CommandContext;

// Asks the user for the folder of the setup sources until one holds the
// file (the path relative to the sources' data folder) directly or in its
// data\ subfolder, or the user gives up (a silent run gives up at once).
// The data folder found (with a trailing backslash), or empty.
std::string LocateSources(CommandContext& c, const std::string& relativePath);

}  // namespace tavrel
