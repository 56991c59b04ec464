// The package build's view of Windows: files, free space, the cabinet
// library, the signing tools run through the child-process runner, and the
// build's message boxes.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "wizard/core/package_build.h"
#include "wizard/win32/fci_cabinet.h"
#include "wizard/win32/redirector.h"

namespace ombrwiz {

class Win32BuildSystem : public BuildSystem {
 public:
  // `runner` belongs to the wizard's main thread, which must keep pumping
  // messages while a signing tool runs. Without `showBoxes` (an unattended
  // build) no box is shown; every text still goes to the trace.
  Win32BuildSystem(TRedirector& runner, bool showBoxes);

  CabinetPlatform& Cabinets() override { return cabinets_; }
  bool FileExists(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool WriteFile(const std::string& path, std::string_view bytes) override;
  std::unique_ptr<BuildInput> OpenInput(const std::string& path) override;
  std::unique_ptr<BuildOutput> CreateOutput(const std::string& path) override;
  std::optional<std::uint64_t> FreeBytes(const std::string& path) override;
  int StartChild(const std::string& commandLine,
                 std::function<void(std::string_view)> onOutput) override;
  bool ChildRunning() override;
  void Sleep(int milliseconds) override;
  void ShowBox(Box kind, const std::string& text) override;

 private:
  FciCabinetPlatform cabinets_;
  TRedirector& runner_;
  bool showBoxes_;
};

// Appends a line to the file named by OMBRWIZ_TRACE, when that is set.
void Trace(const std::string& text);

}  // namespace ombrwiz
