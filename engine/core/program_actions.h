// The commands that run or close programs and restart the computer, and
// what they work out themselves apart from the system calls behind the
// system port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"

namespace tavrel {

// What "Run Program" hands to its worker.
struct ProgramRequest {
  std::string program;
  std::string parameters;
  bool hidden = false;
  bool wait = false;
};

// Runs the program on the "TRunApp" worker while the main thread keeps the
// window turning; the progress passed on every turn comes from the callback.
// Returns the exit code, kProgramStillRunning or kProgramNotStarted.
std::int32_t RunProgramOnWorker(UiPort& ui, SystemPort& system, bool silent,
                                const ProgramRequest& request,
                                const std::function<std::pair<std::string, int>()>& progress);

// Ten attempts, each closing the first top-level window whose class and
// title contain the parts given (an empty part matches any). Both parts
// empty: nothing is closed. Returns how many attempts found a window.
int TerminateProgram(SystemPort& system, std::string_view titlePart, std::string_view classPart);

// The name of a product's run-at-start-up entry: the eight hexadecimal digits
// after the opening brace of its product code. Empty when the code does not
// begin that way: an entry without a name would be the Run key's default
// value, which belongs to no product.
std::string ResumeEntryName(std::string_view productCode);

// The command line the entry holds: the path, between double quotes when it
// has a blank (else the system would try the path's first word as a
// program).
std::string ResumeCommand(std::string_view path);

struct CommandContext;

namespace commands {

void RunProgram(CommandContext& c);
void TerminateProgram(CommandContext& c);
// Both end the run once the restart has been asked for.
void RebootComputer(CommandContext& c);
void RebootAndResume(CommandContext& c);

}  // namespace commands
}  // namespace tavrel
