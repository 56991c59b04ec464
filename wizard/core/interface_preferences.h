// The interface preferences kept between runs ("ui.qorv"): the ticks of a few
// wizard options and the last folders of six file dialogs.
#pragma once

#include <string>
#include <string_view>

namespace ombrwiz {

struct InterfacePreferences {
  bool direct = false;  // "Build Package Immediately"
  bool make = true;
  bool save = true;
  bool test = true;
  bool explore = true;
  bool passwordHide = false;
  bool email = true;
  // Last folders of the file dialogs.
  std::string saveProjectFolder;
  std::string addFilesFolder;
  std::string licenseFileFolder;
  std::string certificateFolder;  // software publishing certificate
  std::string privateKeyFolder;
  std::string savePackageFolder;
};

// The preferences read from the file's text in its order (Direct, Make, Save,
// Test, Explore, the six folders, PasswordHide, Email); values the text does
// not reach keep their defaults. A boolean other than "TRUE" is false.
InterfacePreferences ParseInterfacePreferences(std::string_view text);

// The file's text, CR LF line ends.
std::string InterfacePreferencesText(const InterfacePreferences& preferences);

}  // namespace ombrwiz
