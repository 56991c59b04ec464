// Reads a setup source: UTF-8 text of settings ("key = value"), commands
// ("command NAME" with indented "| parameter" lines), comment lines ("#"),
// continuation lines ("+ more text" added to the value above) and include
// files ("include = FILE").
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "tvlc/core/setup_source.h"

namespace tavrel::tvlc {

// Reads the whole file at a host path; nullopt when it cannot be read.
using SourceFileReader = std::function<std::optional<std::string>(const std::string& path)>;

// path: the host path of the main file; shown: how messages name it.
// Throws SourceError with the file and line of the first fault.
SetupSource ReadSetupSource(const std::string& path, const std::string& shown,
                            const SourceFileReader& read);

// The folder part of a host path ("." for a bare name) and a name joined to
// a folder (an absolute name stays as it is), with "." and ".." taken out.
std::string FolderOf(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace tavrel::tvlc
