// The engine's system queries answered by the real Windows API (ANSI
// functions throughout: the engine's texts are 8-bit strings in the system
// code page).
#pragma once

#include "engine/core/system_info.h"

namespace tavrel {

class Win32SystemInfo final : public SystemInfo {
 public:
  OsVersion GetOsVersion() override;
  RegisteredUser GetRegisteredUser() override;
  std::string GetSpecialFolder(int csidl) override;
  bool IsUserAdministrator() override;
  FileVersionParts GetFileVersionParts(const std::string& path) override;
  MemoryStatus GetMemoryStatus(bool total) override;
  ScreenSize GetScreenSize() override;
  DisplayColours GetDisplayColours() override;
  SystemLanguage GetSystemLanguage() override;
  std::string FindCdRomDrive() override;
  std::string GetBootFolder() override;
  std::string GetShortPath(const std::string& path) override;
  std::string ExpandToLongPath(const std::string& path) override;
};

}  // namespace tavrel
