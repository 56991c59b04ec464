// The two windows shown while the engine prepares itself: the splash
// picture and the preparing window with its progress bar.
#pragma once

#include <optional>
#include <string>

#include "engine/core/startup_platform.h"
#include "engine/core/window_placement.h"

namespace tavrel {

class StartupWindows {
 public:
  virtual ~StartupWindows() = default;

  // Creates both windows, hidden.
  virtual void Create() = 0;
  // Loads the picture into the splash window, which takes its size; empty
  // when the picture cannot be loaded.
  virtual std::optional<Size> LoadSplashPicture(const std::string& path) = 0;
  virtual void ShowSplashAt(Point at) = 0;
  virtual Size PreparingWindowSize() = 0;
  // Sets caption and text, places the window and shows and repaints it.
  virtual void ShowPreparingAt(Point at, const std::string& caption, const std::string& text) = 0;
  virtual void SetProgress(int minimum, int maximum, int position) = 0;
  virtual void StepProgress() = 0;
  virtual Size ScreenSize() = 0;
  virtual WindowRef PreparingWindow() = 0;
  // Hides and destroys both windows.
  virtual void Destroy() = 0;
};

}  // namespace tavrel
