// The splash window (TSetupSplash) and the preparing window (TSetupInit).
#pragma once

#include <windows.h>

#include "common/win32/handle_owner.h"
#include "engine/core/startup_windows.h"

namespace tavrel {

class Win32StartupWindows final : public StartupWindows {
 public:
  explicit Win32StartupWindows(HINSTANCE instance) : instance_(instance) {}
  ~Win32StartupWindows() override { Destroy(); }
  Win32StartupWindows(const Win32StartupWindows&) = delete;
  Win32StartupWindows& operator=(const Win32StartupWindows&) = delete;

  void Create() override;
  std::optional<Size> LoadSplashPicture(const std::string& path) override;
  void ShowSplashAt(Point at) override;
  Size PreparingWindowSize() override;
  void ShowPreparingAt(Point at, const std::string& caption, const std::string& text) override;
  void SetProgress(int minimum, int maximum, int position) override;
  void StepProgress() override;
  Size ScreenSize() override;
  WindowRef PreparingWindow() override { return reinterpret_cast<WindowRef>(preparing_); }
  void Destroy() override;

 private:
  HINSTANCE instance_;
  HWND splash_ = nullptr;
  HWND preparing_ = nullptr;
  HWND label_ = nullptr;
  HWND progress_ = nullptr;
  common::GdiObject<HFONT> font_;
  common::GdiObject<HBITMAP> picture_;
  bool splashVisible_ = false;
};

}  // namespace tavrel
