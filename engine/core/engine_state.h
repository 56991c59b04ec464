// The engine state: what start-up finds out about this run, read by the
// interpreter, the dialog runtime and the installer parts.
#pragma once

#include <string>
#include <vector>

#include "engine/core/command_line.h"
#include "engine/core/compiled_script.h"
#include "engine/core/parameter_blocks.h"

namespace tavrel {

struct EngineState {
  std::string engineFolder;   // trailing backslash
  std::string setupName;      // executable name without extension
  std::string tempFolder;     // trailing backslash
  std::string supportFolder;  // temp folder + "tvl" + N + "\", empty until created
  std::string dataFolder;     // engine folder + "data\"
  std::string restOfCommandLine;
  CommandLineSettings commandLine;
  CompiledScript script;
  ParameterBlocks parameters;

  // Parameter n (from 1) of the command at index i; a command index past
  // the identifier list raises ListIndexError.
  const std::string& Parameter(std::size_t commandIndex, std::size_t n) const;

  // Locates every command's record once; until the script or the blocks
  // change, Parameter reads them without a lookup.
  void IndexRecords() { records = CommandRecords(script.commandIds, parameters); }

  CommandRecords records;
};

}  // namespace tavrel
