// The cabinet writer's platform on Windows: folder listings with
// FindFirstFile and compression through the FCI functions of cabinet.dll.
#pragma once

#include <windows.h>
// fci.h needs the Windows types first.
#include <fci.h>

#include <string>
#include <vector>

#include "wizard/core/cabinet_writer.h"

namespace ombrwiz {

class FciCabinetPlatform : public CabinetPlatform {
 public:
  FciCabinetPlatform() = default;
  FciCabinetPlatform(const FciCabinetPlatform&) = delete;
  FciCabinetPlatform& operator=(const FciCabinetPlatform&) = delete;
  ~FciCabinetPlatform() override;

  bool FileExists(const std::string& path) override;
  std::vector<std::string> Files(const std::string& folder, const std::string& mask) override;
  std::vector<std::string> Subfolders(const std::string& folder) override;

  bool CreateContext(const CabinetParameters& parameters, CabinetRunContext& context) override;
  bool AddFile(const std::string& sourcePath, const std::string& nameInCabinet,
               std::uint16_t compression) override;
  bool FlushCabinet() override;
  void DestroyContext() override;
  FciError LastError() override;

 private:
  HFCI context_ = nullptr;
  CabinetRunContext* run_ = nullptr;
  CCAB cabinet_{};
};

}  // namespace ombrwiz
