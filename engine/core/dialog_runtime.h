// The dialog runtime as start-up sees it: dialogs are loaded once, before
// the interpreter runs, and freed when the script ends.
#pragma once

#include <string>

#include "engine/core/startup_platform.h"

namespace tavrel {

class DialogRuntime {
 public:
  virtual ~DialogRuntime() = default;
  // A silent run loads no dialog.
  virtual void InitDialogs(const std::string& supportFolder, bool silent) = 0;
  // Key: the decimal index of the "Display Dialog" command.
  virtual WindowRef LoadDialog(const std::string& key, const std::string& dialogFile) = 0;
  virtual void FreeDialogs() = 0;
};

}  // namespace tavrel
