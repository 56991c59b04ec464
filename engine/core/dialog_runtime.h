// The dialog runtime as start-up sees it: dialogs are loaded once, before
// the interpreter runs, and freed when the script ends.
#pragma once

#include <string>

#include "engine/core/startup_platform.h"

namespace tavrel {

class DialogRuntime {
 public:
  virtual ~DialogRuntime() = default;
  virtual void InitDialogs(const std::string& supportFolder) = 0;
  // Key: the decimal index of the "Display Dialog" command.
  virtual WindowRef LoadDialog(const std::string& key, const std::string& dialogFile) = 0;
  virtual void FreeDialogs() = 0;
};

// Stands in until wizard dialogs are built: it loads no dialog and returns
// no window, so every dialog of the script is absent.
class NoDialogRuntime final : public DialogRuntime {
 public:
  void InitDialogs(const std::string&) override {}
  WindowRef LoadDialog(const std::string&, const std::string&) override { return 0; }
  void FreeDialogs() override {}
};

}  // namespace tavrel
