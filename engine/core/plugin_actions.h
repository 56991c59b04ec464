// Plug-in commands: a command a plug-in provides runs the plug-in's
// run-time library on a worker thread, with the command's parameter text and
// the whole variable store, shows its progress and takes the variable store
// it returns.
#pragma once

namespace tavrel {

struct CommandContext;

namespace commands {
// Parameter 1: the plug-in's parameter text (passed unexpanded);
// parameter 2: design-time library + "\" + run-time library.
void RunPlugin(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
