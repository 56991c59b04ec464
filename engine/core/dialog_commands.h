// The dialog commands: "Display Dialog" (a wizard page, modal or left on
// screen), "Hide Dialog" and "MessageBox".
#pragma once

namespace tavrel {

struct CommandContext;

namespace commands {

void DisplayDialog(CommandContext& c);
void HideDialog(CommandContext& c);
void ShowMessage(CommandContext& c);

}  // namespace commands
}  // namespace tavrel
