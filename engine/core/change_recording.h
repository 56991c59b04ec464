// Change recording: the engine does not change the system itself while the
// script runs. A change command marks its line as reached and records the
// run-time values of its parameters as installer properties named after its
// line and parameter slot ("PARAMETER37_2"); the installer database's own
// rows read them when the changes are applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

struct CommandContext;

struct RecordedChanges {
  // Name and value pairs not yet written into the installer database, in
  // the order recorded (a name may repeat: the last value wins there). The
  // next installer run consumes them.
  std::vector<std::pair<std::string, std::string>> pending;
  // Name, value, name, value... of everything recorded in this run, never
  // cleared; saved with an installation for its maintenance runs.
  std::vector<std::string> recorded;
  // The same list of an earlier installation (maintenance runs), empty
  // otherwise; handed to the installer unchanged.
  std::vector<std::string> previous;

  // Appends the pair to both lists.
  void Record(std::string name, std::string value);
};

// "PARAMETER" + line + "_" + slot.
std::string PropertyName(std::size_t line, std::size_t slot);

// The parameters a change command records, in slot order (slot 1 first);
// empty for "Create ODBC DSN", which records none, and for any name that is
// not a change command.
std::span<const std::uint8_t> RecordedParameters(std::string_view command);

namespace commands {
// Every change command: marks the line as reached, then records.
void RecordChange(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
