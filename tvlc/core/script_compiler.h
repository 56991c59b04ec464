// The compiled script of a setup source, checked before it ships: every
// command known to the engine or named as a plug-in, with the parameter
// lines the engine reads, and the engine's own script checks passed.
#pragma once

#include <string>
#include <vector>

#include "engine/core/compiled_script.h"
#include "tvlc/core/setup_source.h"

namespace tavrel::tvlc {

// Fills in the generated product code, revision code and command
// identifiers, and checks the names and texts the script format cannot
// carry. Throws SourceError with the place of the first fault.
void CompleteSource(SetupSource& source);

// The script of a completed source; sourceFolders is the whole web media
// source folder list. Throws SourceError naming the command's line when a
// command is unknown, has too few or too many parameter lines, or fails the
// engine's checks.
CompiledScript CompileScript(const SetupSource& source,
                             const std::vector<std::string>& sourceFolders);

}  // namespace tavrel::tvlc
