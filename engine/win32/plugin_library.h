// Calling a plug-in's run-time library: RunTimeExecute twice, on a thread of
// its own whose faults end that thread instead of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/core/system_port.h"

namespace tavrel {

// Loads the library, asks RunTimeExecute for the result's length and then
// for the result text, and unloads the library again. Only one call runs at
// a time in the process; a second caller waits for the first. The library
// may report progress from any thread while the call lasts; a report after
// the call has ended is answered "stop" and goes nowhere. errorText turns a
// system error code into its message (for a library that cannot be loaded).
PluginResult CallPluginLibrary(const PluginCall& call, const PluginProgress& progress,
                               const std::function<std::string(std::uint32_t)>& errorText);

}  // namespace tavrel
