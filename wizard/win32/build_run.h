// One package build on a thread of its own: the build's progress values, the
// child-process runner the signing tools use (it belongs to the thread that
// starts the build, which must keep pumping messages), pause and stop.
#pragma once

#include <windows.h>

#include <memory>

#include "common/win32/handle_owner.h"
#include "wizard/core/package_build.h"
#include "wizard/win32/redirector.h"
#include "wizard/win32/win32_build_system.h"

namespace ombrwiz {

class BuildRun {
 public:
  // Starts the build; false when its thread could not be started. Without
  // `showBoxes` (an unattended build) the build's failures show no box.
  BuildRun(const BuildSettings& settings, bool showBoxes);
  ~BuildRun();
  BuildRun(const BuildRun&) = delete;
  BuildRun& operator=(const BuildRun&) = delete;

  bool Started() const { return static_cast<bool>(thread_); }
  BuildProgress& Progress() { return progress_; }

  // Asks the build to end and waits for its thread, answering messages
  // meanwhile. True when the package was made.
  bool Finish();

 private:
  TRedirector runner_;
  Win32BuildSystem system_;
  BuildProgress progress_;
  std::unique_ptr<Action> action_;
  common::KernelHandle thread_;
};

}  // namespace ombrwiz
