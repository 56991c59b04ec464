#include "wizard/win32/program_folder.h"

#include <windows.h>

#include "wizard/core/translations.h"
#include "wizard/win32/win32_files.h"

namespace ombrwiz {

std::string ProgramFiles::MyPackagesFolder() const {
  const std::string documents = DocumentsFolder();
  return (documents.empty() ? folder_ : documents) + "My Packages\\";
}

void ProgramFiles::FirstRun() {
  const std::string marker = folder_ + "firstrun.qorv";
  if (FileExists(marker)) return;
  WriteWholeFile(marker, "");
  const std::string myPackages = MyPackagesFolder();
  CreateFolders(myPackages);
  WriteWholeFile(folder_ + "packages.qorv", "");
  InterfacePreferences preferences;
  for (std::string* dialogFolder :
       {&preferences.saveProjectFolder, &preferences.addFilesFolder, &preferences.licenseFileFolder,
        &preferences.certificateFolder, &preferences.privateKeyFolder,
        &preferences.savePackageFolder}) {
    *dialogFolder = myPackages;
  }
  SavePreferences(preferences);
}

InterfacePreferences ProgramFiles::LoadPreferences() const {
  const auto text = ReadWholeFile(folder_ + "ui.qorv");
  return ParseInterfacePreferences(text ? *text : std::string());
}

bool ProgramFiles::SavePreferences(const InterfacePreferences& preferences) const {
  return WriteWholeFile(folder_ + "ui.qorv", InterfacePreferencesText(preferences));
}

std::vector<KnownPackage> ProgramFiles::KnownPackages() const {
  const auto text = ReadWholeFile(folder_ + "packages.qorv");
  return text ? ParseKnownPackages(*text) : std::vector<KnownPackage>{};
}

bool ProgramFiles::RecordKnownPackage(const std::string& name, const std::string& project) const {
  auto pairs = KnownPackages();
  ombrwiz::RecordKnownPackage(pairs, name, project);
  // The new list is written in full first and only then takes the old one's place.
  return WriteWholeFile(folder_ + "packages.qorv", KnownPackagesText(pairs));
}

std::vector<std::string> ProgramFiles::Languages() const {
  const auto names = FileNamesMatching(folder_ + "translations.*");
  return LanguagesFromFileNames(names);
}

}  // namespace ombrwiz
