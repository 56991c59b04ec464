#include "engine/core/dialog_commands.h"

#include <optional>
#include <string>
#include <string_view>

#include "engine/core/command_context.h"
#include "engine/core/script_text.h"

namespace tavrel::commands {

namespace {

std::optional<std::string> DialogWord(std::intptr_t result) {
  switch (result) {
    case 0:
      return "NOTMODAL";
    case kDialogCancel:
      return "CANCEL";
    case kDialogNext:
      return "NEXT";
    case kDialogBack:
      return "BACK";
    default:
      return std::nullopt;
  }
}

// An icon code the table does not know shows no icon rather than failing
// the command: the text still reaches the user.
unsigned IconStyle(std::string_view code) {
  if (code == "0") return 64;  // information
  if (code == "1") return 32;  // question
  if (code == "2") return 48;  // warning
  if (code == "3") return 16;  // error
  return 0;
}

// Unknown buttons fall back to a lone OK: any other set would offer the user
// a choice the script never asked for.
unsigned ButtonStyle(std::string_view code) {
  if (code == "0") return 2;  // Abort, Retry, Ignore
  if (code == "2") return 1;  // OK, Cancel
  if (code == "3") return 5;  // Retry, Cancel
  if (code == "4") return 4;  // Yes, No
  if (code == "5") return 3;  // Yes, No, Cancel
  return 0;                   // "1" and the rest: OK
}

// A box that could not be shown answers 0; the variable is emptied so that a
// word left by an earlier box is not taken for this one's answer.
std::string ButtonWord(int pressed) {
  switch (pressed) {
    case 1:
      return "OK";
    case 2:
      return "CANCEL";
    case 3:
      return "ABORT";
    case 4:
      return "RETRY";
    case 5:
      return "IGNORE";
    case 6:
      return "YES";
    case 7:
      return "NO";
    default:
      return "";
  }
}

// Keeps the window on screen from repainting while the next dialog is
// filled from the variables.
class UpdateLock {
 public:
  UpdateLock(UiPort& ui, std::intptr_t window) : ui_(ui), locked_(window != 0) {
    if (locked_) ui_.LockWindowUpdates(window);
  }
  ~UpdateLock() {
    if (locked_) ui_.UnlockWindowUpdates();
  }
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

 private:
  UiPort& ui_;
  bool locked_;
};

}  // namespace

void DisplayDialog(CommandContext& c) {
  DialogState& dialogs = c.run.dialogs;
  const std::string& condition = c.Param(4);
  if (!condition.empty()) {
    if (BooleanValue(c.store.Get(NamedVariable(condition))) == BooleanValue(c.Param(6))) {
      return;
    }
  }
  const std::string& resultVariable = c.Param(2);
  const bool modal = dialogs.wizard || BooleanValue(c.Param(3));

  if (dialogs.pendingModal) {
    c.ui.ReleaseDialog(*dialogs.pendingModal);
    dialogs.pendingModal.reset();
  }
  const std::string key = std::to_string(c.index);
  {
    const UpdateLock lock(c.ui, dialogs.window);
    c.ui.UseFeatures({&c.run.components, &c.state.script, &c.run.installedSize, &c.system});
    c.ui.PrepareDialog(key);
  }
  std::intptr_t result = c.ui.ShowDialog(key, modal);
  if (!dialogs.wizard) {
    if (modal) {
      dialogs.window = 0;
      dialogs.pendingModal = key;
    } else {
      // Silent runs show nothing, and what ShowDialog answers then is a
      // button code, not a window.
      dialogs.window = c.Silent() ? 0 : result;
      result = 0;
    }
    c.store.SetResult("WINDOWHANDLE", std::to_string(dialogs.window));
  }
  if (!resultVariable.empty()) {
    if (const auto word = DialogWord(result)) c.store.SetResult(resultVariable, *word);
  }
  if (dialogs.wizard) {
    if (result == kDialogCancel) dialogs.direction = WizardDirection::kCancel;
    if (result == kDialogNext) dialogs.direction = WizardDirection::kNext;
    if (result == kDialogBack) dialogs.direction = WizardDirection::kBack;
  }
}

void HideDialog(CommandContext& c) {
  c.ui.HideCurrentDialog();
  c.run.dialogs.window = 0;
  c.store.SetResult("WINDOWHANDLE", "0");
}

void ShowMessage(CommandContext& c) {
  if (c.Silent()) return;
  // Every parameter is read before the box appears, so a broken record
  // fails the command without asking the user anything first.
  const std::string caption = c.store.Expand(c.Param(1));
  const std::string text = c.store.Expand(c.Param(2));
  const unsigned style = IconStyle(c.Param(3)) + ButtonStyle(c.Param(4));
  const std::string& resultVariable = c.Param(5);
  const int pressed = c.ui.ShowMessageBox(c.run.dialogs.window, text, caption, style);
  if (!resultVariable.empty()) c.store.SetResult(resultVariable, ButtonWord(pressed));
}

}  // namespace tavrel::commands
