// The wizard's data files in its program folder: the first-run marker, the
// known packages list, the interface preferences and the translations.
#pragma once

#include <string>
#include <vector>

#include "wizard/core/interface_preferences.h"
#include "wizard/core/known_packages.h"

namespace ombrwiz {

class ProgramFiles {
 public:
  // `folder` ends with a backslash.
  explicit ProgramFiles(std::string folder) : folder_(std::move(folder)) {}

  const std::string& Folder() const { return folder_; }
  // Documents\My Packages\ (the program folder's when there are no documents).
  std::string MyPackagesFolder() const;

  // On the first start: the marker, the "My Packages" folder, an empty
  // packages list and preferences pointing the file dialogs there.
  void FirstRun();

  InterfacePreferences LoadPreferences() const;
  bool SavePreferences(const InterfacePreferences& preferences) const;

  std::vector<KnownPackage> KnownPackages() const;
  bool RecordKnownPackage(const std::string& name, const std::string& project) const;

  // The translations offered, in folder order.
  std::vector<std::string> Languages() const;

 private:
  std::string folder_;
};

}  // namespace ombrwiz
