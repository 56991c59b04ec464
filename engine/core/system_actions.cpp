#include "engine/core/system_actions.h"

#include <stdexcept>
#include <utility>

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/script_text.h"
#include "engine/core/text_actions.h"

namespace tavrel {

namespace {

constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;

// Versions of the browser's shell library, codes 37 onwards.
constexpr std::array<Version, 16> kBrowserVersions{{
    {6, 0, 2800, 1106},
    {6, 0, 2600, 0},
    {5, 5, 4807, 2300},
    {5, 5, 4522, 1800},
    {5, 5, 4134, 100},
    {5, 0, 3502, 5400},
    {5, 0, 3314, 2100},
    {5, 0, 2919, 6307},
    {5, 0, 2014, 213},
    {4, 72, 3612, 1707},
    {4, 72, 3110, 3},
    {4, 72, 2106, 7},
    {4, 71, 1712, 5},
    {4, 70, 1300, 0},
    {4, 70, 1215, 0},
    {4, 70, 1155, 0},
}};

struct MajorMinor {
  unsigned major;
  unsigned minor;
};

// Codes 19 onwards. The platform family is not part of the comparison, so
// 19 and 23 ask the same question.
constexpr std::array<MajorMinor, 8> kOsVersions{{
    {4, 0},
    {4, 10},
    {4, 11},
    {4, 90},
    {4, 0},
    {5, 0},
    {5, 1},
    {5, 2},
}};

struct ScreenMinimum {
  int width;
  int height;
};

constexpr std::array<ScreenMinimum, 5> kScreens{{
    {800, 600},
    {1024, 768},
    {1280, 1024},
    {1600, 1200},
    {1920, 1440},
}};

// Special folders for "Get Folder Location": the number for the all-users
// flag set and the one for it clear; kComputed marks the codes worked out
// otherwise.
constexpr int kComputed = -1;
struct FolderPair {
  int allUsers;
  int currentUser;
};

constexpr std::array<FolderPair, 28> kFolders{{
    {32, 32},                // 0 Internet cache
    {33, 33},                // 1 cookies
    {5, 5},                  // 2 the user's documents
    {31, 6},                 // 3 favourites
    {53, 13},                // 4 music
    {54, 39},                // 5 pictures
    {55, 14},                // 6 video
    {19, 19},                // 7 network neighbourhood
    {27, 27},                // 8 printers neighbourhood
    {kComputed, kComputed},  // 9 boot folder
    {kComputed, kComputed},  // 10 first CD-ROM drive
    {47, 48},                // 11 administrative tools
    {22, 11},                // 12 Start menu
    {24, 7},                 // 13 Startup
    {23, 2},                 // 14 Programs
    {35, 26},                // 15 application data
    {59, 59},                // 16 CD burning area
    {25, 0},                 // 17 desktop
    {20, 20},                // 18 fonts
    {62, 40},                // 19 profiles
    {43, 38},                // 20 common files / program files
    {8, 8},                  // 21 recent documents
    {9, 9},                  // 22 SendTo
    {kComputed, kComputed},  // 23 system folder
    {21, 21},                // 24 templates
    {kComputed, kComputed},  // 25 Windows folder
    {kComputed, kComputed},  // 26 Quick Launch
    {kComputed, kComputed},  // 27 web server root
}};

constexpr const char* kInetStpKey = "SOFTWARE\\Microsoft\\InetStp";

std::string CodeError(std::string_view what, std::int32_t code) {
  return "'" + std::to_string(code) + "' is not a known " + std::string(what) + " code";
}

// Text of a value that holds a folder; an expandable one is expanded, as the
// system itself does when it reads such a folder.
std::string FolderValue(SystemPort& port, RegistryRoot root, const std::string& key,
                        const std::string& name) {
  RegistryValue value = port.ReadRegistryValue(root, key, name);
  if (value.type == RegistryValue::Type::kString) return std::move(value.text);
  if (value.type == RegistryValue::Type::kExpandString) return port.ExpandEnvironment(value.text);
  return "";
}

std::string BeforeComma(std::string text) {
  const std::size_t comma = text.find(',');
  if (comma != std::string::npos) text.resize(comma);
  return text;
}

std::string QuickLaunchFolder(SystemPort& port) {
  const std::string appData = FolderValue(
      port, RegistryRoot::kCurrentUser,
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "AppData");
  if (appData.empty()) return "";
  return common::WithTrailingBackslash(appData) + "Microsoft\\Internet Explorer\\Quick Launch\\";
}

std::string WebServerRoot(SystemPort& port) {
  std::string root = FolderValue(port, RegistryRoot::kLocalMachine, kInetStpKey, "PathWWWRoot");
  const std::string virtualRoots =
      "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots\\";
  if (root.empty()) {
    root = BeforeComma(FolderValue(port, RegistryRoot::kLocalMachine, virtualRoots, "/"));
  }
  if (root.empty()) {
    root = BeforeComma(FolderValue(port, RegistryRoot::kLocalMachine, virtualRoots, "/,"));
  }
  return root;
}

bool WebServerAtLeast(SystemPort& port, std::uint32_t major) {
  const RegistryValue value =
      port.ReadRegistryValue(RegistryRoot::kLocalMachine, kInetStpKey, "MajorVersion");
  return value.type == RegistryValue::Type::kNumber && value.number >= major;
}

std::uint16_t VersionPart(std::string_view text) {
  std::int32_t value = 0;
  if (!ParseInt32(text, value)) {
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
  }
  if (value < 0 || value > 0xFFFF) {
    throw ConversionError("'" + std::string(text) + "' is not a valid version part");
  }
  return static_cast<std::uint16_t>(value);
}

std::size_t Index(std::int32_t code, std::int32_t first) {
  return static_cast<std::size_t>(code - first);
}

}  // namespace

Version VersionOf(const FileVersionParts& parts) {
  return {parts.part1, parts.part2, parts.part3, parts.part4};
}

std::string VersionText(const Version& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

Version ParseVersionText(std::string_view text) {
  Version version{};
  for (std::uint16_t& part : version) {
    const std::size_t dot = text.find('.');
    if (dot != std::string_view::npos) {
      part = VersionPart(text.substr(0, dot));
      text.remove_prefix(dot + 1);
      continue;
    }
    std::int32_t value = 0;
    if (!text.empty() && ParseInt32(text, value)) part = VersionPart(text);
    text = {};
  }
  return version;
}

std::string RegistryText(const RegistryValue& value) {
  switch (value.type) {
    case RegistryValue::Type::kString:
      return value.text;
    case RegistryValue::Type::kNumber:
      return std::to_string(value.number);
    default:
      return "";
  }
}

RegistryRoot RegistryRootFor(std::int32_t code) {
  switch (code) {
    case 0:
      return RegistryRoot::kClassesRoot;
    case 1:
      return RegistryRoot::kCurrentUser;
    case 2:
      return RegistryRoot::kLocalMachine;
    case 3:
      return RegistryRoot::kUsers;
    case 4:
      return RegistryRoot::kCurrentConfig;
    default:
      throw std::runtime_error(CodeError("registry root", code));
  }
}

std::string SystemSetting(std::int32_t code, SystemPort& port) {
  SystemInfo& system = port.System();
  if (code == 0) return BooleanText(system.IsUserAdministrator());
  if (code >= 1 && code <= 7) {
    const std::uint64_t megabytes = (std::uint64_t{32} << (code - 1)) - 2;
    return BooleanText(system.GetMemoryStatus(true).physical >= megabytes * kMebibyte);
  }
  if (code >= 8 && code <= 12) {
    const ScreenMinimum wanted = kScreens[Index(code, 8)];
    const ScreenSize screen = system.GetScreenSize();
    return BooleanText(screen.width >= wanted.width && screen.height >= wanted.height);
  }
  if (code >= 13 && code <= 16) {
    const unsigned bits = 8u * static_cast<unsigned>(code - 12);
    return BooleanText(system.GetDisplayColours().bitsPerPixel >= bits);
  }
  if (code == 17 || code == 18) return BooleanText(system.GetOsVersion().isNt == (code == 18));
  if (code >= 19 && code <= 26) {
    const MajorMinor wanted = kOsVersions[Index(code, 19)];
    const OsVersion os = system.GetOsVersion();
    return BooleanText(os.major > wanted.major ||
                       (os.major == wanted.major && os.minor >= wanted.minor));
  }
  if (code >= 27 && code <= 32) {
    return BooleanText(system.GetOsVersion().servicePack >= static_cast<unsigned>(code - 26));
  }
  if (code == 33) return std::to_string(system.GetSystemLanguage().identifier);
  if (code == 34) return system.GetSystemLanguage().name;
  if (code == 35) return system.GetRegisteredUser().owner;
  if (code == 36) return system.GetRegisteredUser().organisation;
  if (code >= 37 && code <= 52) {
    const std::string library = common::WithTrailingBackslash(port.SystemFolder()) + "shdocvw.dll";
    return BooleanText(VersionAtLeast(VersionOf(system.GetFileVersionParts(library)),
                                      kBrowserVersions[Index(code, 37)]));
  }
  if (code >= 53 && code <= 57) {
    return BooleanText(WebServerAtLeast(port, static_cast<std::uint32_t>(59 - code)));
  }
  throw std::runtime_error(CodeError("system setting", code));
}

std::string FolderLocation(std::int32_t code, bool allUsers, SystemPort& port) {
  if (code < 0 || code >= static_cast<std::int32_t>(kFolders.size())) {
    throw std::runtime_error(CodeError("folder", code));
  }
  std::string folder;
  switch (code) {
    case 9:
      folder = port.System().GetBootFolder();
      break;
    case 10:
      folder = port.System().FindCdRomDrive();
      break;
    case 23:
      folder = port.SystemFolder();
      break;
    case 25:
      folder = port.WindowsFolder();
      break;
    case 26:
      folder = QuickLaunchFolder(port);
      break;
    case 27:
      folder = WebServerRoot(port);
      break;
    default: {
      const FolderPair pair = kFolders[Index(code, 0)];
      folder = port.System().GetSpecialFolder(allUsers ? pair.allUsers : pair.currentUser);
    }
  }
  return common::WithTrailingBackslash(std::move(folder));
}

namespace commands {

namespace {

Version FileVersionAt(CommandContext& c, std::size_t parameter) {
  return VersionOf(c.system.System().GetFileVersionParts(c.store.PathForm(c.Param(parameter))));
}

}  // namespace

void GetSystemSettings(CommandContext& c) {
  c.store.SetResult(c.Param(1), SystemSetting(RequireInt32(c.Param(2)), c.system));
}

void GetFolderLocation(CommandContext& c) {
  const std::int32_t code = RequireInt32(c.Param(2));
  c.store.SetResult(c.Param(1), FolderLocation(code, BooleanValue(c.Param(3)), c.system));
}

void GetEnvironment(CommandContext& c) {
  const std::string variable = c.store.Expand(c.Param(1));
  c.store.SetResult(NamedVariable(c.Param(2)), c.system.ExpandEnvironment("%" + variable + "%"));
}

void GetFileVersion(CommandContext& c) {
  const Version version = FileVersionAt(c, 1);
  c.store.SetResult(NamedVariable(c.Param(2)), VersionText(version));
}

void CheckFileVersion(CommandContext& c) {
  const Version version = FileVersionAt(c, 2);
  const Version wanted =
      BooleanValue(c.Param(3)) ? FileVersionAt(c, 4) : ParseVersionText(c.store.Expand(c.Param(5)));
  c.store.SetResult(c.Param(1), BooleanText(VersionAtLeast(version, wanted)));
}

void ReadRegistry(CommandContext& c) {
  const RegistryRoot root = RegistryRootFor(RequireInt32(c.Param(2)));
  const RegistryValue value =
      c.system.ReadRegistryValue(root, c.store.PathForm(c.Param(3)), c.store.PathForm(c.Param(4)));
  c.store.SetResult(c.Param(1), RegistryText(value));
}

// Acts at once. Any failure (a root that is not a number, a missing key, no
// access) leaves the registry as it was and the script goes on.
void DeleteRegistry(CommandContext& c) {
  std::int32_t code = 0;
  if (!ParseInt32(c.Param(1), code)) {
    c.system.Trace("Delete Registry: root '" + c.Param(1) + "' is not a number; nothing deleted");
    return;
  }
  const RegistryRoot root =
      code >= 0 && code <= 4 ? RegistryRootFor(code) : RegistryRoot::kCurrentUser;
  const std::string key = c.store.PathForm(c.Param(2));
  if (BooleanValue(c.Param(4))) {
    c.system.DeleteRegistryKeyTree(root, key);
  } else {
    c.system.DeleteRegistryValue(root, key, c.store.PathForm(c.Param(3)));
  }
}

void GetIniFileSettings(CommandContext& c) {
  c.store.SetResult(
      c.Param(1), c.system.ReadIniValue(c.store.PathForm(c.Param(2)), c.store.PathForm(c.Param(3)),
                                        c.store.PathForm(c.Param(4))));
}

}  // namespace commands
}  // namespace tavrel
