// Engine start-up and clean-up: from program entry to the interpreter, and
// from its return to program exit.
#pragma once

#include <string>
#include <string_view>

#include "engine/core/dialog_runtime.h"
#include "engine/core/engine_state.h"
#include "engine/core/message_table.h"
#include "engine/core/script_interpreter.h"
#include "engine/core/startup_platform.h"
#include "engine/core/startup_windows.h"

namespace tavrel {

inline constexpr std::string_view kEngineCaption = "Tavrel";
inline constexpr std::string_view kNoOverlayText = "For internal use only";

struct StartupServices {
  StartupPlatform& platform;
  StartupWindows& windows;
  DialogRuntime& dialogs;
  ScriptInterpreter& interpreter;
  MessageTable& messages;
};

// Runs the whole engine and returns the exit code, which is always 0: every
// failure has been reported (unless silent) and cleaned up by then.
int RunEngine(StartupServices services);

// Folder part (with trailing backslash) and setup name of the engine path.
struct EngineLocation {
  std::string folder;
  std::string setupName;
};
EngineLocation LocateEngine(std::string_view executablePath);

// "tvl" + N for the first N whose folder does not exist yet.
std::string NextSupportFolder(StartupPlatform& platform, const std::string& tempFolder);

// Removes the folder and everything below it, three passes as files may be
// released late by the programs that used them.
void RemoveSupportFolder(StartupPlatform& platform, const std::string& folder);

}  // namespace tavrel
