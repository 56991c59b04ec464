// Fuzzes the wizard's readers of its settings files: the project file, the
// known packages list and the interface preferences. Whatever the project
// reader accepts, written back and read again, must give the same settings;
// the other two must come back unchanged through their writers as well.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/core/interface_preferences.h"
#include "wizard/core/known_packages.h"
#include "wizard/core/project_file.h"

namespace {

const std::vector<std::string> kLanguages = {"English", "Deutsch", ""};

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameFiles(const ombrwiz::ProjectSettings& a, const ombrwiz::ProjectSettings& b) {
  if (a.files.size() != b.files.size()) return false;
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    if (a.files[i].path != b.files[i].path || a.files[i].subfolders != b.files[i].subfolders) {
      return false;
    }
  }
  return true;
}

bool SameSettings(const ombrwiz::ProjectSettings& a, const ombrwiz::ProjectSettings& b) {
  return a.project == b.project && SameFiles(a, b) && a.packageName == b.packageName &&
         a.packagePassword == b.packagePassword && a.startText == b.startText &&
         a.endText == b.endText && a.licenseFile == b.licenseFile && a.saveAs == b.saveAs &&
         a.advanced == b.advanced && a.target == b.target && a.targetDirText == b.targetDirText &&
         a.silent == b.silent && a.runApp == b.runApp && a.runParms == b.runParms &&
         a.space == b.space && a.multiPart == b.multiPart && a.split == b.split &&
         a.codeSign == b.codeSign && a.spc == b.spc && a.pvk == b.pvk &&
         a.timeStamp == b.timeStamp && a.infoUrl == b.infoUrl && a.language == b.language;
}

void FuzzProject(std::string_view text) {
  const auto settings = ombrwiz::ParseProjectFile(text, kLanguages);
  if (!settings) return;
  const std::string written = ombrwiz::ProjectFileText(*settings);
  const auto reread = ombrwiz::ParseProjectFile(written, kLanguages);
  Check(reread.has_value());
  Check(SameSettings(*settings, *reread));
  Check(ombrwiz::ProjectFileText(*reread) == written);
}

void FuzzKnownPackages(std::string_view text) {
  const auto pairs = ombrwiz::ParseKnownPackages(text);
  const std::string written = ombrwiz::KnownPackagesText(pairs);
  const auto reread = ombrwiz::ParseKnownPackages(written);
  Check(reread.size() == pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    Check(reread[i].name == pairs[i].name && reread[i].project == pairs[i].project);
  }
  if (!pairs.empty()) {
    // Recording a name already listed never adds a pair, and every pair of
    // that name then points at the new project.
    std::vector<ombrwiz::KnownPackage> recorded = pairs;
    ombrwiz::RecordKnownPackage(recorded, pairs.front().name, "C:\\new.ombr");
    Check(recorded.size() == pairs.size());
    Check(ombrwiz::ProjectOfPackage(recorded, pairs.front().name) == "C:\\new.ombr");
  }
}

void FuzzPreferences(std::string_view text) {
  const std::string written =
      ombrwiz::InterfacePreferencesText(ombrwiz::ParseInterfacePreferences(text));
  Check(ombrwiz::InterfacePreferencesText(ombrwiz::ParseInterfacePreferences(written)) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzProject(text);
  FuzzKnownPackages(text);
  FuzzPreferences(text);
  return 0;
}
