// "Apply Changes": runs Windows Installer on the database with everything the
// change commands recorded, and reports the outcome to the script.
#pragma once

namespace tavrel {

struct CommandContext;

namespace commands {
void ApplyChanges(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
