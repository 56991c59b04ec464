// The product as the engine registers it for its maintenance runs: after an
// installation a private copy of the engine and its setup files in the
// installation information folder, the component and parameter files beside
// them and an entry in the system's list of installed programs that starts
// that copy; after a removal none of it. A run of the same revision restores
// the choices the installation was made with.
#pragma once

#include "engine/core/engine_state.h"
#include "engine/core/run_state.h"
#include "engine/core/system_port.h"
#include "engine/core/variable_store.h"

namespace tavrel {

struct CommandContext;

// At start-up, when MAINTENANCE reads as true: the component list, TARGETDIR,
// ALLUSERS and STARTMENU from the component file, the installed size, and
// the previous parameter list from the parameter file, of the current
// user's installation information folder when it holds the component file,
// else of the all-users one. Whatever cannot be read is left as it was;
// never throws.
void RestoreMaintenance(SystemPort& system, const EngineState& state, VariableStore& store,
                        RunState& run);

// After a successful installation. Files that cannot be copied are passed
// over; a registry value that cannot be written throws.
void RegisterProduct(CommandContext& c);

// After a successful removal: the folder, or what is left of it moved aside
// and marked for deletion at the next restart, and the registry keys.
// Failures are traced only.
void UnregisterProduct(CommandContext& c);

}  // namespace tavrel
