#include "tvlc/core/database_plan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "common/ascii_case.h"
#include "engine/core/script_text.h"
#include "tvlc/core/guid.h"
#include "tvlc/core/source_reader.h"
#include "tvlc/core/windows_1252.h"

namespace tavrel::tvlc {

namespace {

constexpr std::array<std::string_view, 4> kRegistryRoots = {"HKCR", "HKCU", "HKLM", "HKU"};
constexpr std::string_view kFailMessage = "The installation failed on purpose.";
constexpr std::size_t kFillerSize = 1024;
constexpr std::size_t kMaxNameColumn = 255;
// An installation keeps here the recorded values its removal needs (under
// HKLM when per-machine, HKCU when per-user), and the removal reads them back.
constexpr std::string_view kSavedValuesKey = "Software\\Quorvane\\Installed Values\\";
// Where the custom actions that set folders from recorded values run: after
// the searches that restore them at removal, before CostFinalize resolves
// the folders.
constexpr int kSearchSequence = 50;
constexpr int kSetFolderSequence = 990;
constexpr int kFailSequence = 6590;
constexpr int kRemoveEnvironmentSequence = 3300;
constexpr int kWriteEnvironmentSequence = 5200;
constexpr int kRebootSequence = 6650;
// Standard actions that wixl schedules only for elements of its own (so
// the plan schedules them again, in place of any wixl wrote).
constexpr int kStopServicesSequence = 1900, kDeleteServicesSequence = 2000;
constexpr int kRemoveRegistrySequence = 2600, kRemoveIniSequence = 3450;
constexpr int kRemoveFilesSequence = 3500, kMoveFilesSequence = 3800, kInstallFilesSequence = 4000;
constexpr int kWriteRegistrySequence = 5000;
constexpr int kWriteIniSequence = 5100, kInstallServicesSequence = 5800;
constexpr int kStartServicesSequence = 5900;
constexpr int kRemoveOdbcSequence = 2400, kInstallOdbcSequence = 5400;
// ServiceControl events: at installation, and at removal.
constexpr int kStartAtInstall = 1, kStopAtInstall = 2, kDeleteAtInstall = 8;
constexpr int kStartAtRemoval = 16, kStopAtRemoval = 32, kDeleteAtRemoval = 128;
// ServiceInstall: the service's process types, and the error control flag
// that makes a service that cannot be installed fail the installation.
constexpr int kOwnProcess = 0x10, kSharedProcess = 0x20, kVitalService = 0x8000;
// Classes of the machine in a per-machine installation, of the user in a
// per-user one.
constexpr std::string_view kClassesKey = "Software\\Classes\\";
// The actions that take the source root from SRCDIR run first of all.
constexpr int kSourceRootSequence = 10;
constexpr std::string_view kWebMediaMode = "2";
// File table attributes: vital (wixl's), not in the cabinet.
constexpr int kVital = 512, kNonCompressed = 8192;
// Component attributes: its key path is a registry row; never removed.
constexpr int kRegistryKeyPath = 4, kPermanent = 16;
constexpr std::string_view kRemoving = "REMOVE~=\"ALL\"";
constexpr std::string_view kShortNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-!#$%&'()@^`{}~";

std::string Prop(std::size_t line, int slot) {
  return "PARAMETER" + std::to_string(line) + "_" + std::to_string(slot);
}

std::string Attr(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Text for a Formatted column that the installer must keep as written.
std::string Literal(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '[') {
      out += "[\\[]";
    } else if (c == ']') {
      out += "[\\]]";
    } else {
      out += c;
    }
  }
  return out;
}

// A Windows file name in Windows-1252 (name is in that code page already).
void CheckWindowsName(const SourceLocation& where, std::string_view what, std::string_view name) {
  const bool bad = name.empty() || name == "." || name == ".." || name.back() == '.' ||
                   name.back() == ' ' || std::ranges::any_of(name, [](char c) {
                     return static_cast<unsigned char>(c) < 32 ||
                            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
                   });
  if (bad) {
    throw SourceError(where, std::string(what) + ": '" + Windows1252ToUtf8(name) +
                                 "' is not a valid Windows file name");
  }
}

bool IsShortName(std::string_view name) {
  const std::string upper = common::ToUpperAscii(name);
  const std::size_t dot = upper.find('.');
  const std::string_view stem = std::string_view(upper).substr(0, dot);
  const std::string_view ext =
      dot == std::string::npos ? std::string_view() : std::string_view(upper).substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  const auto allowed = [](char c) { return kShortNameChars.find(c) != std::string_view::npos; };
  return std::ranges::all_of(stem, allowed) && std::ranges::all_of(ext, allowed);
}

// The short names of one folder: those taken, and for each start of a made
// one (its first six characters and extension: what its candidates are
// made of) the first number not tried yet, so that many long names alike
// do not try every number again.
struct ShortNames {
  std::set<std::string> taken;
  std::map<std::string, std::size_t> next;
};

std::string MadeShortName(std::string_view name, ShortNames& names) {
  const std::string upper = common::ToUpperAscii(name);
  const std::size_t dot = upper.rfind('.');
  std::string stem, ext;
  const auto allowed = [](char c) { return kShortNameChars.find(c) != std::string_view::npos; };
  for (const char c : upper.substr(0, dot)) {
    if (allowed(c) && c != '~') stem += c;
  }
  if (stem.empty()) stem = "F";
  if (dot != std::string::npos) {
    for (const char c : upper.substr(dot + 1)) {
      if (allowed(c) && ext.size() < 3) ext += c;
    }
  }
  std::size_t& next = names.next.try_emplace(stem.substr(0, 6) + "." + ext, 1).first->second;
  for (std::size_t number = next;; ++number) {
    const std::string tail = "~" + std::to_string(number);
    const std::string candidate = stem.substr(0, 8 - std::min<std::size_t>(tail.size(), 8)) + tail +
                                  (ext.empty() ? "" : "." + ext);
    if (names.taken.insert(candidate).second) {
      next = number + 1;
      return candidate;
    }
  }
}

// A file or folder name as the database holds it: the name itself when it
// is a short one, else a short one made for it and the long one.
std::string DatabaseName(const std::string& name, ShortNames& names) {
  return IsShortName(name) ? name : MadeShortName(name, names) + "|" + name;
}

// A folder of an Install Files source: its name below its parent, its
// files by name and its subfolders (names in Windows-1252), with the host
// path of each file.
struct Folder {
  std::string name;  // empty for the source's top
  std::vector<std::pair<std::string, DatabaseFile>> files;
  std::vector<Folder> folders;
};

class Planner {
 public:
  Planner(const SetupSource& source, BuildPort& port, std::size_t workDepth)
      : source_(source), port_(port), workDepth_(workDepth) {
    database_.sourceFolders = source.sourceFolders;
  }

  Database Run() {
    using Rows = void (Planner::*)(std::size_t, const SourceCommand&);
    // The change commands and what writes their rows (none: refused).
    static constexpr std::array<std::pair<std::string_view, Rows>, 14> kChangeCommands = {{
        {"Install Files", &Planner::InstallFiles},
        {"Create Folder", &Planner::CreateFolder},
        {"Write Registry", &Planner::WriteRegistry},
        {"Create Shortcut", &Planner::CreateShortcut},
        {"Set Environment", &Planner::SetEnvironment},
        {"Create File Type", &Planner::CreateFileType},
        {"Edit INI File", &Planner::EditIniFile},
        {"Delete Files", &Planner::DeleteFiles},
        {"Copy/Move Local Files", &Planner::CopyMoveFiles},
        {"Install Service", &Planner::InstallService},
        {"Control Service", &Planner::ControlService},
        {"Install ODBC Driver", &Planner::InstallOdbcDriver},
        {"Install Assembly", nullptr},
        {"Create ODBC DSN", nullptr},
    }};
    for (std::size_t index = 0; index < source_.commands.size(); ++index) {
      const SourceCommand& command = source_.commands[index];
      const auto found = std::ranges::find(kChangeCommands, std::string_view(command.name),
                                           &std::pair<std::string_view, Rows>::first);
      if (command.flag == "C" || found == kChangeCommands.end()) continue;
      if (found->second == nullptr) {
        throw SourceError(command.where,
                          command.name +
                              " cannot be put into the installer database yet: assemblies and "
                              "ODBC data sources are not supported");
      }
      if (!command.sourceFolder.empty() && command.name != "Install Files") {
        throw SourceError(command.where, "only Install Files takes a source folder path");
      }
      (this->*found->second)(index + 1, command);
    }
    if (filler_ != 0) {
      throw source_.SettingError("filler",
                                 "filler needs an Install Files command to put its files in");
    }
    std::ranges::stable_sort(removals_, std::greater<>(), &Row::first);
    for (auto& [length, sql] : removals_) database_.statements.push_back(std::move(sql));
    if (searches_) {
      Sequence("AppSearch", kRemoving, kSearchSequence, true);
      // Without them the kept values would never be written, and a removal
      // given no values would leave the files.
      scheduled_.emplace("RemoveRegistryValues", kRemoveRegistrySequence);
      scheduled_.emplace("WriteRegistryValues", kWriteRegistrySequence);
    }
    if (source_.fail) {
      Sql("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
          "('FailOnPurpose', 19, '', '" +
          std::string(kFailMessage) + "')");
      Sequence("FailOnPurpose", "NOT " + std::string(kRemoving), kFailSequence, false);
    }
    if (environment_) {
      // wixl writes no Environment table and schedules no actions for it.
      Sequence("RemoveEnvironmentStrings", "", kRemoveEnvironmentSequence, false);
      Sequence("WriteEnvironmentStrings", "", kWriteEnvironmentSequence, false);
    }
    if (source_.reboot) Sequence("ScheduleReboot", "", kRebootSequence, false);
    if (!database_.mediaRows.empty()) {
      // The engine names the data folder in SRCDIR; the installer's source
      // root would be the database's folder.
      for (const std::string name : {"SourceDir", "SOURCEDIR"}) {
        Sql("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('Set" +
            name + "', 51, '" + name + "', '[SRCDIR]')");
        Sequence("Set" + name, "SRCDIR", kSourceRootSequence, true);
      }
      scheduled_.emplace("RemoveFiles", kRemoveFilesSequence);
      scheduled_.emplace("InstallFiles", kInstallFilesSequence);
    }
    for (const auto& [action, number] : scheduled_) {
      Sql("DELETE FROM `InstallExecuteSequence` WHERE `Action` = '" + action + "'");
      Sequence(action, "", number, false);
    }
    for (const auto& [upper, name] : blocks_) database_.blocks.push_back(name);
    database_.wxs = Wxs();
    return std::move(database_);
  }

 private:
  using Row = std::pair<std::size_t, std::string>;

  void Sql(std::string statement) { database_.statements.push_back(std::move(statement)); }

  std::string Guid(std::string_view component) const {
    return StableGuid(source_.product + "/" + std::string(component));
  }

  std::string Component(const std::string& id, const std::string& body,
                        const std::string& condition) {
    components_.push_back(id);
    Sql("UPDATE `Component` SET `Condition` = '" + condition + "' WHERE `Component` = '" + id +
        "'");
    return "<Component Id=\"" + id + "\" Guid=\"" + Guid(id) + "\">" + body + "</Component>";
  }

  // A component the statements make (it holds no file of wixl's): its key
  // path is its folder unless one is given (a File key, or a Registry key
  // with the registry key path attribute).
  void SqlComponent(const std::string& id, const std::string& condition,
                    const std::string& directory = "TARGETDIR", int attributes = 0,
                    const std::string& keyPath = "") {
    Sql("INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, `Attributes`, "
        "`Condition`" +
        std::string(keyPath.empty() ? "" : ", `KeyPath`") + ") VALUES ('" + id + "', '" + Guid(id) +
        "', '" + directory + "', " + std::to_string(attributes) + ", '" + condition + "'" +
        (keyPath.empty() ? "" : ", '" + keyPath + "'") + ")");
    Sql("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) VALUES ('Complete', '" + id +
        "')");
  }

  void Sequence(const std::string& action, std::string_view condition, int number, bool ui) {
    for (const char* table : {"InstallExecuteSequence", "InstallUISequence"}) {
      if (!ui && std::string_view(table) == "InstallUISequence") continue;
      Sql("INSERT INTO `" + std::string(table) + "` (`Action`, `Condition`, `Sequence`) VALUES ('" +
          action + "', '" + std::string(condition) + "', " + std::to_string(number) + ")");
    }
  }

  // A folder taken from a recorded value when the value is set (type 51).
  void SetFolder(const std::string& directory, const std::string& property) {
    const std::string action = "Set" + directory;
    Sql("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('" + action +
        "', 51, '" + directory + "', '[" + property + "]')");
    Sequence(action, property, kSetFolderSequence, true);
  }

  // A directory whose path a custom action sets; the default name is what
  // it resolves to when its value is not set.
  static std::string FolderXml(const std::string& directory, const std::string& name,
                               const std::string& inner = "") {
    return "<Directory Id=\"" + directory + "\" Name=\"" + name + "\">" + inner + "</Directory>";
  }

  // Keeps the recorded values of a command that ran, so that a removal the
  // engine gives no values to still finds its folders and names.
  void Remember(std::size_t line, std::initializer_list<int> slots, const std::string& marker) {
    const std::string component = "K" + std::to_string(line);
    const std::string key = std::string(kSavedValuesKey) + source_.product;
    const std::string first = "V" + std::to_string(line) + "_" + std::to_string(*slots.begin());
    SqlComponent(component, marker, "TARGETDIR", kRegistryKeyPath, first);
    for (const int slot : slots) {
      const std::string row = "V" + std::to_string(line) + "_" + std::to_string(slot);
      const std::string name = Prop(line, slot);
      Sql("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) "
          "VALUES ('" +
          row + "', -1, '" + key + "', '" + name + "', '[" + name + "]', '" + component + "')");
      for (const auto& [root, suffix] : {std::pair{2, "M"}, std::pair{1, "U"}}) {
        const std::string signature = row + suffix;
        Sql("INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('" + name + "', '" +
            signature + "')");
        Sql("INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Name`, `Type`) VALUES ('" +
            signature + "', " + std::to_string(root) + ", '" + key + "', '" + name + "', 2)");
      }
    }
    searches_ = true;
  }

  Folder ReadSource(const SourceCommand& command, const std::string& path) {
    Folder root;
    const PathKind kind = port_.Kind(path);
    if (kind == PathKind::kFile) {
      const std::string name = HostName(command, path.substr(path.rfind('/') + 1));
      root.files.push_back({name, {"", path, ""}});
      return root;
    }
    if (kind != PathKind::kFolder) {
      throw SourceError(command.where, "Install Files: source '" + path + "' not found");
    }
    Walk(command, path, root);
    return root;
  }

  std::string HostName(const SourceCommand& command, const std::string& name) {
    const Conversion converted = Utf8ToWindows1252(name);
    if (converted.failedAt) {
      throw SourceError(command.where, "Install Files: '" + name +
                                           "' cannot be written in code page Windows-1252");
    }
    CheckWindowsName(command.where, "Install Files", converted.text);
    return converted.text;
  }

  void Walk(const SourceCommand& command, const std::string& path, Folder& into) {
    for (const FolderEntry& entry : port_.ListFolder(path)) {
      const std::string full = path + "/" + entry.name;
      const std::string name = HostName(command, entry.name);
      if (entry.link && entry.kind == PathKind::kFolder) {
        throw SourceError(command.where, "Install Files: '" + full +
                                             "' is a link to a folder; copy the folder instead");
      }
      if (entry.kind == PathKind::kFolder) {
        Folder sub{name, {}, {}};
        Walk(command, full, sub);
        into.folders.push_back(std::move(sub));
      } else if (entry.kind == PathKind::kFile) {
        into.files.push_back({name, {"", full, ""}});
      } else {
        throw SourceError(command.where,
                          "Install Files: '" + full + "' is neither a file nor a folder");
      }
    }
  }

  // The components of one folder of an Install Files source and its
  // subfolders; folders and components collect the ones it adds.
  // With an origin the files come from the data folder (MediaComponent),
  // path being the folder's source folder path, and each subfolder keeps its
  // parent's source folder: only the target tree has the names.
  std::string TreeXml(const SourceCommand& command, std::size_t line, Folder& folder,
                      const std::string& directory, const std::string& condition,
                      std::vector<std::string>& folders, std::vector<std::string>& components,
                      const std::string& origin, const std::string& path) {
    folders.push_back(directory);
    std::map<std::string, std::string> seen;
    ShortNames names;
    const auto note = [&](const std::string& name) {
      const std::string upper = common::ToUpperAscii(name);
      if (const auto [it, added] = seen.emplace(upper, name); !added) {
        throw SourceError(command.where, "Install Files: '" + Windows1252ToUtf8(it->second) +
                                             "' and '" + Windows1252ToUtf8(name) +
                                             "' are one name on Windows");
      }
      if (IsShortName(name)) names.taken.insert(upper);
    };
    for (const auto& [name, file] : folder.files) note(name);
    for (const Folder& sub : folder.folders) note(sub.name);
    const auto targetName = [&](const std::string& name) {
      std::string target = DatabaseName(name, names);
      // The database's file and folder names hold the short and the long
      // name together in 255 characters.
      if (target.size() > kMaxNameColumn) {
        throw SourceError(command.where, "Install Files: '" + Windows1252ToUtf8(name) +
                                             "' is too long for the installer database");
      }
      return target;
    };
    const std::string prefix = "DIR" + std::to_string(line);
    const std::string id = "C" + std::to_string(line) + directory.substr(prefix.size());
    std::string parts;
    if (!origin.empty() && !folder.files.empty()) {
      components.push_back(id);
      MediaComponent(command, line, id, directory, condition, origin, path, folder, targetName);
    } else if (!folder.files.empty() || folder.folders.empty()) {
      std::string files;
      for (auto& [name, file] : folder.files) {
        ++fileCount_;
        file.id = "F" + std::to_string(line) + "_" + std::to_string(fileCount_);
        files += "<File Id=\"" + file.id + "\" Name=\"" + Attr(targetName(name)) + "\" Source=\"" +
                 SourceOf(file) + "\"/>";
        database_.files.push_back(std::move(file));
      }
      components.push_back(id);
      parts += Component(id, files.empty() ? "<CreateFolder/>" : files, condition);
    }
    for (Folder& sub : folder.folders) {
      const std::string& name = sub.name;
      const std::string subId = prefix + "_" + std::to_string(folders.size());
      const std::string inner = TreeXml(command, line, sub, subId, condition, folders, components,
                                        origin, path + name + "\\");
      parts += "<Directory Id=\"" + subId + "\" Name=\"" + Attr(targetName(name)) +
               (origin.empty() ? "" : ":.") + "\">" + inner + "</Directory>";
    }
    return parts;
  }

  // Folders removed, when empty, with the component: the installer alone
  // leaves a folder whose subfolders it removes after it. Rows that hold
  // folders go deeper folders first, judged by the length of the folder as
  // written: the installer tries each folder once or twice at removal, in
  // table order, and removes it only when empty.
  void RemoveFolders(const std::vector<std::string>& folders, const std::string& component,
                     const std::string& written) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
      removals_.emplace_back(written.size(),
                             "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, "
                             "`InstallMode`) VALUES ('R" +
                                 *it + "', '" + component + "', '" + *it + "', 2)");
    }
  }

  void Needs(const SourceCommand& command, const std::string& value, int position,
             std::string_view what) {
    if (value.empty()) {
      throw SourceError(command.where, command.name + " needs " + std::string(what) +
                                           " (parameter " + std::to_string(position) + ")");
    }
  }

  void InstallFiles(std::size_t line, const SourceCommand& command) {
    const std::size_t filler = std::exchange(filler_, 0);
    const std::string& from = Fixed(command, 1, "the source");
    const std::string& destination = command.parameters[2];
    Needs(command, from, 1, "a source file or folder");
    Needs(command, destination, 3, "a destination folder");
    const std::string origin = MediaOrigin(command);
    if (!origin.empty() && origin != kOffline) {
      const auto [known, added] = blocks_.emplace(common::ToUpperAscii(origin), origin);
      if (known->second != origin) {
        throw SourceError(command.where, "web media blocks '" + known->second + "' and '" + origin +
                                             "' differ only in case");
      }
    }
    if (!command.sourceFolder.empty() && origin.empty()) {
      throw SourceError(command.where,
                        "a source folder path is only for files from web media or offline "
                        "(media-mode = 2, media = NAME\\ or OFFLINE\\)");
    }
    const std::string path = command.sourceFolder.empty()
                                 ? "c_\\src\\" + std::to_string(line) + "\\"
                                 : SourceFolderPath(command);
    Folder folder = ReadSource(command, JoinPath(command.base, Windows1252ToUtf8(from)));
    if (filler != 0) {
      // Generated 1 KB files, for an installation that takes a while.
      std::mt19937 random(static_cast<std::uint32_t>(line));
      Folder generated{"filler", {}, {}};
      for (std::size_t n = 0; n < filler; ++n) {
        std::string bytes(kFillerSize, '\0');
        for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
        std::string name = std::to_string(n);
        name =
            "filler" + std::string(5 - std::min<std::size_t>(5, name.size()), '0') + name + ".bin";
        generated.files.push_back({name, {"", "", std::move(bytes)}});
      }
      folder.folders.push_back(std::move(generated));
    }
    const std::string directory = "DIR" + std::to_string(line);
    const std::string marker = Prop(line, 1);
    std::vector<std::string> folders, components;
    const std::string inner =
        TreeXml(command, line, folder, directory, marker, folders, components, origin, path);
    const std::string unset = "UNSET" + std::to_string(line);
    xml_.emplace_back(destination.size(),
                      FolderXml(directory, origin.empty() ? unset : unset + ":" + origin, inner));
    RemoveFolders(folders, components.front(), destination);
    SetFolder(directory, marker);
    Remember(line, {1}, marker);
  }

  // The folder below the data folder that the files of an Install Files
  // command come from in a web media setup: "offline" or the block's name;
  // empty when they travel in the database, as in any other setup.
  std::string MediaOrigin(const SourceCommand& command) const {
    if (source_.mediaMode != kWebMediaMode || command.media.empty()) return "";
    const std::string& media = command.media;
    const std::string name = media.substr(0, media.size() - 1);
    if (media.back() == '\\' && common::ToUpperAscii(name) == "OFFLINE") {
      return std::string(kOffline);
    }
    const bool valid =
        media.back() == '\\' && !name.empty() && name.size() <= 8 &&
        std::ranges::all_of(name, [](char c) {
          return common::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-';
        });
    if (!valid) {
      throw SourceError(command.where, "media '" + Windows1252ToUtf8(media) +
                                           "' must be OFFLINE\\ or the name of a web media block "
                                           "(1 to 8 letters, digits, '_' or '-') followed by \\");
    }
    return name;
  }

  // A web media source folder path as the script lists it: relative, folder
  // names each followed by a backslash (c_\\src\\app\\).
  static std::string SourceFolderPath(const SourceCommand& command) {
    const std::string& text = command.sourceFolder;
    bool valid = text.size() >= 2 && text.back() == '\\';
    for (std::size_t start = 0; valid && start < text.size();) {
      const std::size_t end = text.find('\\', start);
      const std::string name = text.substr(start, end - start);
      if (name.empty()) {
        valid = false;
        break;
      }
      CheckWindowsName(command.where, "source folder path", name);
      start = end + 1;
    }
    if (!valid) {
      throw SourceError(command.where, "source folder path '" + Windows1252ToUtf8(text) +
                                           "' must be folder names each followed by \\, as in "
                                           "c_\\src\\app\\");
    }
    return text;
  }

  // The files of one source folder that the installer copies from the data
  // folder instead of the cabinet. The folder becomes source folder path k
  // of the script, and the engine puts its files into
  // <data folder>\<origin>\<k>\; a folder of its own below the target
  // one, the same folder on the target side, points there on the source side.
  template <typename TargetName>
  void MediaComponent(const SourceCommand& command, std::size_t line, const std::string& id,
                      const std::string& directory, const std::string& condition,
                      const std::string& origin, const std::string& path, Folder& folder,
                      const TargetName& targetName) {
    for (const std::string& known : database_.sourceFolders) {
      if (common::ToUpperAscii(known) == common::ToUpperAscii(path)) {
        throw SourceError(command.where, "Install Files: source folder path '" +
                                             Windows1252ToUtf8(path) + "' is in the list already");
      }
    }
    database_.sourceFolders.push_back(path);
    const std::size_t k = database_.sourceFolders.size() - 1;
    const std::string holder = directory + "S";
    Sql("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES ('" +
        holder + "', '" + directory + "', '.:" + std::to_string(k) + "')");
    std::string first;
    for (auto& [name, file] : folder.files) {
      ++fileCount_;
      const std::string fileId = "F" + std::to_string(line) + "_" + std::to_string(fileCount_);
      if (first.empty()) first = fileId;
      const std::uint64_t size =
          file.source.empty() ? file.bytes.size() : port_.FileSize(file.source);
      database_.mediaRows.push_back({fileId, id, targetName(name), std::to_string(size), "", "",
                                     std::to_string(kVital | kNonCompressed), ""});
      database_.mediaFiles.push_back(
          {origin, k, path, name, std::move(file.source), std::move(file.bytes)});
    }
    SqlComponent(id, condition, holder, 0, first);
  }

  void CreateFolder(std::size_t line, const SourceCommand& command) {
    const std::string& folder = command.parameters[0];
    Needs(command, folder, 1, "a folder");
    const std::string directory = "DIR" + std::to_string(line);
    const std::string marker = Prop(line, 1);
    const std::string component = "C" + std::to_string(line);
    const std::string inner = Component(component, "<CreateFolder/>", marker);
    xml_.emplace_back(folder.size(), FolderXml(directory, "UNSET" + std::to_string(line), inner));
    RemoveFolders({directory}, component, folder);
    SetFolder(directory, marker);
    Remember(line, {1}, marker);
  }

  void WriteRegistry(std::size_t line, const SourceCommand& command) {
    const std::string& root = command.parameters[0];
    const std::string& key = Fixed(command, 2, "the key");
    const std::string& kind = command.parameters[4];
    if (root.size() != 1 || root[0] < '0' || root[0] > '3') {
      throw SourceError(command.where, "Write Registry: root '" + Windows1252ToUtf8(root) +
                                           "' must be 0 (HKCR), 1 (HKCU), 2 (HKLM) or 3 (HKU)");
    }
    Needs(command, key, 2, "a key");
    if (kind != "string" && kind != "number") {
      throw SourceError(command.where, "Write Registry: type '" + Windows1252ToUtf8(kind) +
                                           "' must be 'string' or 'number'");
    }
    const std::string marker = Prop(line, 3), name = Prop(line, 1), data = Prop(line, 2);
    const std::string rootName(kRegistryRoots[static_cast<std::size_t>(root[0] - '0')]);
    const auto value = [&](const std::string& id, const char* type, const std::string& condition) {
      return Component(id,
                       "<RegistryValue Root=\"" + rootName + "\" Key=\"" + Attr(Literal(key)) +
                           "\" Name=\"[" + name + "]\" Value=\"[" + data + "]\" Type=\"" + type +
                           "\"/>",
                       condition);
    };
    const std::string id = "C" + std::to_string(line);
    std::string rows;
    if (kind == "number") {
      // Written "#[data]": a DWORD.
      rows = value(id, "integer", marker);
    } else {
      // The installer reads a value that begins with "#" as a number or
      // binary data; such a string is written with one more "#". At removal
      // both components may go: only the installed one acts.
      const std::string starts = data + " << \"#\"";
      const std::string removing(kRemoving);
      rows = value(id, "string", marker + " AND (NOT (" + starts + ") OR " + removing + ")") +
             value(id + "_H", "integer", marker + " AND (" + starts + " OR " + removing + ")");
    }
    xml_.emplace_back(0, rows);
    Remember(line, {1, 3}, marker);
  }

  void CreateShortcut(std::size_t line, const SourceCommand& command) {
    const std::string& target = command.parameters[0];
    std::string name = Fixed(command, 2, "the shortcut's name");
    const std::string& folder = command.parameters[2];
    const std::string& description = Fixed(command, 4, "the description");
    Needs(command, target, 1, "a target");
    Needs(command, folder, 3, "a folder");
    CheckWindowsName(command.where, "Create Shortcut: shortcut name", name);
    ShortNames names;
    name = DatabaseName(name, names);
    const std::string marker = Prop(line, 1), workdir = Prop(line, 4);
    const std::string directory = "DIR" + std::to_string(line);
    const std::string workdirDir = "WD" + std::to_string(line);
    const std::string removing(kRemoving);
    const auto shortcut = [&](const std::string& id, const std::string& extra,
                              const std::string& condition) {
      const std::string text =
          description.empty() ? "" : " Description=\"" + Attr(description) + "\"";
      return Component(id,
                       "<Shortcut Id=\"S" + id.substr(1) + "\" Name=\"" + Attr(name) +
                           "\" Target=\"[" + Prop(line, 2) + "]\" Arguments=\"[" + Prop(line, 3) +
                           "]\"" + text + extra + "/>",
                       condition);
    };
    // One component with the working folder, one without; at removal both
    // may go: only the installed one acts.
    const std::string id = "C" + std::to_string(line);
    const std::string inner =
        shortcut(id, "", marker + " AND (NOT " + workdir + " OR " + removing + ")") +
        shortcut(id + "_W", " WorkingDirectory=\"" + workdirDir + "\"",
                 marker + " AND (" + workdir + " OR " + removing + ")");
    xml_.emplace_back(folder.size(), FolderXml(directory, "UNSET" + std::to_string(line), inner));
    xml_.emplace_back(0, FolderXml(workdirDir, "UNSETW" + std::to_string(line)));
    SetFolder(directory, marker);
    SetFolder(workdirDir, workdir);
    Remember(line, {1}, marker);
  }

  // Set Environment: parameter 1 names the variable (fixed here), parameter
  // 2 is its value (recorded as slot 1; an empty value sets nothing). The
  // variable is the system's in a per-machine installation, the user's in
  // a per-user one, and goes again at removal.
  void SetEnvironment(std::size_t line, const SourceCommand& command) {
    const std::string& name = Fixed(command, 1, "the variable's name");
    Needs(command, name, 1, "a variable name");
    // The installer reads leading = + - ! * as flags, and the statements
    // below cannot quote an apostrophe.
    const bool bad = std::string_view("=+-!*").find(name.front()) != std::string_view::npos ||
                     std::ranges::any_of(name, [](char c) {
                       return c == '=' || c == '\'' || c == '[' || c == ']' || c == '{' ||
                              c == '}' || static_cast<unsigned char>(c) < 32;
                     });
    if (bad) {
      throw SourceError(command.where, "Set Environment: '" + Windows1252ToUtf8(name) +
                                           "' cannot be an environment variable's name here");
    }
    if (!environment_) {
      Sql("CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT "
          "NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL "
          "PRIMARY KEY `Environment`)");
      environment_ = true;
    }
    const std::string value = Prop(line, 1);
    for (const auto& [suffix, flags, scope] :
         {std::tuple{"", "=-*", "ALLUSERS"}, std::tuple{"_U", "=-", "NOT ALLUSERS"}}) {
      const std::string component = "C" + std::to_string(line) + suffix;
      SqlComponent(component, value + " AND " + scope);
      Sql("INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('E" +
          component.substr(1) + "', '" + flags + name + "', '[" + value + "]', '" + component +
          "')");
    }
  }

  // A parameter the database holds as written: the engine does not read it,
  // so a variable in it would never be expanded.
  static const std::string& Fixed(const SourceCommand& command, int position,
                                  std::string_view what) {
    const std::string& text = command.parameters[static_cast<std::size_t>(position - 1)];
    if (text.find('$') != std::string::npos) {
      throw SourceError(command.where, command.name + ": " + std::string(what) + " (parameter " +
                                           std::to_string(position) +
                                           ") is fixed when the setup is built and cannot use "
                                           "variables");
    }
    return text;
  }

  // A fixed parameter that is one of words, in any case; empty reads as the
  // first. Returns the word's place.
  static std::size_t Word(const SourceCommand& command, int position, std::string_view what,
                          std::initializer_list<std::string_view> words) {
    const std::string& text = Fixed(command, position, what);
    if (text.empty()) return 0;
    std::size_t index = 0;
    std::string list;
    for (const std::string_view word : words) {
      if (common::EqualsIgnoringAsciiCase(text, word)) return index;
      list += (index == 0 ? "" : index + 1 == words.size() ? " or " : ", ") + std::string(word);
      ++index;
    }
    throw SourceError(command.where, command.name + ": " + std::string(what) + " '" +
                                         Windows1252ToUtf8(text) + "' (parameter " +
                                         std::to_string(position) + ") must be " + list);
  }

  // A fixed name that goes into a statement between apostrophes.
  static void Quotable(const SourceCommand& command, std::string_view what, std::string_view text) {
    if (text.find('\'') != std::string_view::npos) {
      throw SourceError(command.where,
                        command.name + ": " + std::string(what) + " cannot hold an apostrophe");
    }
  }

  void Table(const std::string& name, const std::string& definition) {
    if (tables_.insert(name).second) Sql("CREATE TABLE `" + name + "` (" + definition + ")");
  }

  // A registry row under the classes of the machine or the user: its key's
  // default value, or with name "-" the key with all below it, removed with
  // the component.
  void ClassesRow(const std::string& id, const std::string& key, const std::string& value,
                  const std::string& component) {
    const std::string fullKey = std::string(kClassesKey) + key;
    if (value.empty()) {
      Sql("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('" +
          id + "', -1, '" + fullKey + "', '-', '" + component + "')");
    } else {
      Sql("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Value`, `Component_`) VALUES ('" +
          id + "', -1, '" + fullKey + "', '" + value + "', '" + component + "')");
    }
  }

  // Create File Type: 1 the extension with its dot (.abc), 2 the type's
  // name (Example.Document), 3 its description, 4 the program that opens
  // it ("program" "%1"), 5 its icon (file,index; empty: the program's
  // first). All five are recorded; the type goes with the product.
  void CreateFileType(std::size_t line, const SourceCommand& command) {
    const std::string& extension = command.parameters[0];
    const std::string& type = command.parameters[1];
    Needs(command, extension, 1, "an extension");
    Needs(command, type, 2, "a type name");
    Needs(command, command.parameters[3], 4, "a program");
    const bool variable = extension.find('$') != std::string::npos;
    if (!variable && (extension.size() < 2 || extension.front() != '.' ||
                      extension.find_first_of("\\/ \"") != std::string::npos)) {
      throw SourceError(command.where, "Create File Type: extension '" +
                                           Windows1252ToUtf8(extension) +
                                           "' must be a dot and a name, as in .txt");
    }
    if (type.find('$') == std::string::npos && type.find('\\') != std::string::npos) {
      throw SourceError(command.where, "Create File Type: type name '" + Windows1252ToUtf8(type) +
                                           "' cannot hold a backslash");
    }
    const std::string n = std::to_string(line);
    const std::string condition = Prop(line, 1) + " AND " + Prop(line, 2) + " AND " + Prop(line, 4);
    const std::string id = "C" + n, typeKey = "[" + Prop(line, 2) + "]";
    SqlComponent(id, condition, "TARGETDIR", kRegistryKeyPath, "T" + n + "_E");
    ClassesRow("T" + n + "_E", "[" + Prop(line, 1) + "]", typeKey, id);
    ClassesRow("T" + n + "_D", typeKey, "[" + Prop(line, 3) + "]", id);
    ClassesRow("T" + n + "_O", typeKey + "\\shell\\open\\command",
               "\"[" + Prop(line, 4) + "]\" \"%1\"", id);
    ClassesRow("T" + n + "_R", typeKey, "", id);
    // The icon: its own, or the program's first. At removal both may go:
    // only the installed one acts.
    const std::string icon = Prop(line, 5), removing(kRemoving);
    SqlComponent(id + "_I", condition + " AND (" + icon + " OR " + removing + ")", "TARGETDIR",
                 kRegistryKeyPath, "T" + n + "_I");
    ClassesRow("T" + n + "_I", typeKey + "\\DefaultIcon", "[" + icon + "]", id + "_I");
    SqlComponent(id + "_P", condition + " AND (NOT " + icon + " OR " + removing + ")", "TARGETDIR",
                 kRegistryKeyPath, "T" + n + "_P");
    ClassesRow("T" + n + "_P", typeKey + "\\DefaultIcon", "[" + Prop(line, 4) + "],0", id + "_P");
    Remember(line, {1, 2, 4}, condition);
  }

  // Edit INI File: 1 the folder (recorded), 2 the file's name (fixed),
  // 3 at removal (remove: the key goes; keep: it stays), 4 the section,
  // 5 the key, 6 the value (recorded). The installer's other ways are not
  // offered: its removal takes away a key that "create only when absent"
  // left as it found it, and Wine's installer does not add to a
  // comma-separated list.
  void EditIniFile(std::size_t line, const SourceCommand& command) {
    Needs(command, command.parameters[0], 1, "a folder");
    std::string name = Fixed(command, 2, "the file's name");
    Needs(command, name, 2, "a file name");
    CheckWindowsName(command.where, "Edit INI File: file name", name);
    Quotable(command, "the file's name", name);
    const bool keep = Word(command, 3, "at removal", {"remove", "keep"}) == 1;
    Needs(command, command.parameters[3], 4, "a section");
    Needs(command, command.parameters[4], 5, "a key");
    ShortNames names;
    name = DatabaseName(name, names);
    Table("IniFile",
          "`IniFile` CHAR(72) NOT NULL, `FileName` CHAR(255) NOT NULL LOCALIZABLE, "
          "`DirProperty` CHAR(72), `Section` CHAR(96) NOT NULL LOCALIZABLE, `Key` CHAR(128) NOT "
          "NULL LOCALIZABLE, `Value` CHAR(255) NOT NULL LOCALIZABLE, `Action` SHORT NOT NULL, "
          "`Component_` CHAR(72) NOT NULL PRIMARY KEY `IniFile`");
    const std::string n = std::to_string(line);
    const std::string condition = Prop(line, 1) + " AND " + Prop(line, 2) + " AND " + Prop(line, 3);
    SqlComponent("C" + n, condition, "TARGETDIR", keep ? kPermanent : 0);
    Sql("INSERT INTO `IniFile` (`IniFile`, `FileName`, `DirProperty`, `Section`, `Key`, `Value`, "
        "`Action`, `Component_`) VALUES ('I" +
        n + "', '" + name + "', '" + Prop(line, 1) + "', '[" + Prop(line, 2) + "]', '[" +
        Prop(line, 3) + "]', '[" + Prop(line, 4) + "]', 0, 'C" + n + "')");
    scheduled_.emplace("RemoveIniValues", kRemoveIniSequence);
    scheduled_.emplace("WriteIniValues", kWriteIniSequence);
    Remember(line, {1, 2, 3, 4}, condition);
  }

  // Delete Files: 1 the folder (recorded), 2 the files' name, * and ?
  // allowed (fixed; empty: the folder itself, when empty), 3 at
  // installation, 4 at removal (TRUE or FALSE, fixed).
  void DeleteFiles(std::size_t line, const SourceCommand& command) {
    Needs(command, command.parameters[0], 1, "a folder");
    const std::string& name = Fixed(command, 2, "the files' name");
    if (!name.empty()) {
      const std::string plain = [&] {
        std::string text = name;
        std::ranges::replace(text, '*', 'x');
        std::ranges::replace(text, '?', 'x');
        return text;
      }();
      CheckWindowsName(command.where, "Delete Files: name", plain);
      Quotable(command, "the files' name", name);
    }
    Fixed(command, 3, "at installation");
    Fixed(command, 4, "at removal");
    const int mode = (BooleanValue(command.parameters[2]) ? 1 : 0) |
                     (BooleanValue(command.parameters[3]) ? 2 : 0);
    const std::string n = std::to_string(line);
    SqlComponent("C" + n, Prop(line, 1));
    if (name.empty()) {
      Sql("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) "
          "VALUES ('D" +
          n + "', 'C" + n + "', '" + Prop(line, 1) + "', " + std::to_string(mode) + ")");
    } else {
      Sql("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, "
          "`InstallMode`) VALUES ('D" +
          n + "', 'C" + n + "', '" + name + "', '" + Prop(line, 1) + "', " + std::to_string(mode) +
          ")");
    }
    scheduled_.emplace("RemoveFiles", kRemoveFilesSequence);
    Remember(line, {1}, Prop(line, 1));
  }

  // Copy/Move Local Files: 1 the file (recorded), 2 copy or move (fixed),
  // 3 the folder it goes to (recorded). Like the installer, a removal
  // leaves the copy where it is.
  void CopyMoveFiles(std::size_t line, const SourceCommand& command) {
    Needs(command, command.parameters[0], 1, "a file");
    const std::size_t move = Word(command, 2, "the way", {"copy", "move"});
    Needs(command, command.parameters[2], 3, "a destination folder");
    Table("MoveFile",
          "`FileKey` CHAR(72) NOT NULL, `Component_` CHAR(72) NOT NULL, `SourceName` CHAR(255) "
          "LOCALIZABLE, `DestName` CHAR(255) LOCALIZABLE, `SourceFolder` CHAR(72), `DestFolder` "
          "CHAR(72) NOT NULL, `Options` SHORT NOT NULL PRIMARY KEY `FileKey`");
    const std::string n = std::to_string(line);
    const std::string condition = Prop(line, 1) + " AND " + Prop(line, 2);
    SqlComponent("C" + n, condition);
    Sql("INSERT INTO `MoveFile` (`FileKey`, `Component_`, `SourceFolder`, `DestFolder`, "
        "`Options`) VALUES ('M" +
        n + "', 'C" + n + "', '" + Prop(line, 1) + "', '" + Prop(line, 2) + "', " +
        std::to_string(move) + ")");
    scheduled_.emplace("MoveFiles", kMoveFilesSequence);
    Remember(line, {1, 2}, condition);
  }

  // The files a command carries in the database (fixed parameters naming
  // files beside the source; the first is the key path), in component
  // C<line> in a folder set from recorded slot 1. Returns their File keys.
  std::vector<std::string> CommandFiles(std::size_t line, const SourceCommand& command,
                                        std::initializer_list<std::string> files,
                                        const std::string& destination,
                                        const std::string& condition) {
    if (!command.media.empty()) {
      throw SourceError(command.where, command.name +
                                           " takes its files from the installer database; "
                                           "media = is for Install Files");
    }
    const std::string n = std::to_string(line);
    const std::string directory = "DIR" + n, component = "C" + n;
    std::vector<std::string> ids;
    std::map<std::string, std::string> paths;  // by upper-case name
    ShortNames shortNames;
    std::string xml;
    for (const std::string& written : files) {
      const std::string path = JoinPath(command.base, Windows1252ToUtf8(written));
      if (port_.Kind(path) != PathKind::kFile) {
        throw SourceError(command.where, command.name + ": file '" + path + "' not found");
      }
      std::string name = HostName(command, path.substr(path.rfind('/') + 1));
      if (const auto [it, added] = paths.emplace(common::ToUpperAscii(name), path); !added) {
        if (it->second == path) continue;
        throw SourceError(command.where, command.name + ": '" + it->second + "' and '" + path +
                                             "' would be one file in the destination folder");
      }
      name = DatabaseName(name, shortNames);
      DatabaseFile file{"F" + n + "_" + std::to_string(++fileCount_), path, ""};
      xml += "<File Id=\"" + file.id + "\" Name=\"" + Attr(name) + "\" Source=\"" + SourceOf(file) +
             "\"" + (ids.empty() ? " KeyPath=\"yes\"" : "") + "/>";
      ids.push_back(file.id);
      database_.files.push_back(std::move(file));
    }
    xml_.emplace_back(destination.size(),
                      FolderXml(directory, "UNSET" + n, Component(component, xml, condition)));
    RemoveFolders({directory}, component, destination);
    SetFolder(directory, Prop(line, 1));
    return ids;
  }

  // Install ODBC Driver: the driver (parameter 1) and its setup library
  // (2; empty: the driver is its own), files beside the source, go into
  // folder 4 (recorded) and are registered under the name 3; all but 4
  // fixed. The removal unregisters the driver.
  void InstallOdbcDriver(std::size_t line, const SourceCommand& command) {
    const std::string& driver = Fixed(command, 1, "the driver");
    const std::string& setup = Fixed(command, 2, "the setup library");
    const std::string& name = Fixed(command, 3, "the driver's name");
    Needs(command, driver, 1, "a driver");
    Needs(command, name, 3, "the driver's name");
    Needs(command, command.parameters[3], 4, "a destination folder");
    Quotable(command, "the driver's name", name);
    if (name.find_first_of("=[]{}") != std::string::npos) {
      throw SourceError(command.where,
                        "Install ODBC Driver: the driver's name cannot hold = [ ] "
                        "{ or }");
    }
    Table("ODBCDriver",
          "`Driver` CHAR(72) NOT NULL, `Component_` CHAR(72) NOT NULL, `Description` CHAR(255) "
          "NOT NULL, `File_` CHAR(72) NOT NULL, `File_Setup` CHAR(72) PRIMARY KEY `Driver`");
    const std::vector<std::string> files =
        CommandFiles(line, command, {driver, setup.empty() ? driver : setup}, command.parameters[3],
                     Prop(line, 1));
    const std::string n = std::to_string(line);
    Sql("INSERT INTO `ODBCDriver` (`Driver`, `Component_`, `Description`, `File_`, `File_Setup`) "
        "VALUES ('OD" +
        n + "', 'C" + n + "', '" + name + "', '" + files.front() + "', '" + files.back() + "')");
    scheduled_.emplace("RemoveODBC", kRemoveOdbcSequence);
    scheduled_.emplace("InstallODBC", kInstallOdbcSequence);
    Remember(line, {1}, Prop(line, 1));
  }

  // Install Service: the program (parameter 1, a file beside the source)
  // goes into folder 2 and is installed as service 4, shown as 5 and
  // described by 6, started with arguments 9 under account 10 (empty: the
  // system's) with password 14, after service 13, in load order group 15
  // (all recorded). Fixed: 3 start type (demand, auto or disabled), 7 error
  // control (normal, ignore or critical), 8 process (own or shared), 11
  // start it now (no or yes), 12 vital: a service that cannot be installed
  // fails the installation (no or yes). The removal stops and deletes it.
  void InstallService(std::size_t line, const SourceCommand& command) {
    const std::string& program = Fixed(command, 1, "the program");
    const std::string& destination = command.parameters[1];
    Needs(command, program, 1, "a program");
    Needs(command, destination, 2, "a destination folder");
    Needs(command, command.parameters[3], 4, "a service name");
    constexpr std::array<int, 3> kStartTypes = {3, 2, 4};     // demand, auto, disabled
    constexpr std::array<int, 3> kErrorControls = {1, 0, 3};  // normal, ignore, critical
    constexpr std::array<int, 2> kProcesses = {kOwnProcess, kSharedProcess};
    const int startType =
        kStartTypes[Word(command, 3, "the start type", {"demand", "auto", "disabled"})];
    int errorControl =
        kErrorControls[Word(command, 7, "the error control", {"normal", "ignore", "critical"})];
    const int process = kProcesses[Word(command, 8, "the process", {"own", "shared"})];
    const bool startNow = Word(command, 11, "start now", {"no", "yes"}) == 1;
    if (Word(command, 12, "vital", {"no", "yes"}) == 1) errorControl |= kVitalService;
    const std::string n = std::to_string(line);
    const std::string component = "C" + n;
    const std::string condition = Prop(line, 1) + " AND " + Prop(line, 2);
    CommandFiles(line, command, {program}, destination, condition);
    const auto value = [&](int slot) { return "'[" + Prop(line, slot) + "]'"; };
    Sql("INSERT INTO `ServiceInstall` (`ServiceInstall`, `Name`, `DisplayName`, `ServiceType`, "
        "`StartType`, `ErrorControl`, `LoadOrderGroup`, `Dependencies`, `StartName`, `Password`, "
        "`Arguments`, `Component_`, `Description`) VALUES ('SI" +
        n + "', " + value(2) + ", " + value(3) + ", " + std::to_string(process) + ", " +
        std::to_string(startType) + ", " + std::to_string(errorControl) + ", " + value(6) + ", " +
        value(8) + ", " + value(5) + ", " + value(7) + ", " + value(4) + ", '" + component + "', " +
        value(9) + ")");
    ServiceControlRow(
        "SC" + n, value(2),
        (startNow ? kStartAtInstall : 0) | kStopAtInstall | kStopAtRemoval | kDeleteAtRemoval,
        component);
    ScheduleServices();
    Remember(line, {1, 2}, condition);
  }

  // Control Service: 1 the service, 2 what to do at installation (start,
  // stop or delete; both recorded). A removal stops a service the
  // installation started and starts one it stopped.
  void ControlService(std::size_t line, const SourceCommand& command) {
    Needs(command, command.parameters[0], 1, "a service name");
    const std::string& what = command.parameters[1];
    constexpr std::array<std::string_view, 3> kWhat = {"start", "stop", "delete"};
    if (what.find('$') == std::string::npos &&
        std::ranges::none_of(kWhat, [&](std::string_view word) {
          return common::EqualsIgnoringAsciiCase(what, word);
        })) {
      throw SourceError(command.where, "Control Service: '" + Windows1252ToUtf8(what) +
                                           "' (parameter 2) must be start, stop or delete");
    }
    const std::string n = std::to_string(line);
    const std::string marker = Prop(line, 1) + " AND " + Prop(line, 2);
    constexpr std::array<int, 3> kEvents = {kStartAtInstall | kStopAtRemoval,
                                            kStopAtInstall | kStartAtRemoval,
                                            kStopAtInstall | kDeleteAtInstall};
    for (std::size_t i = 0; i < kWhat.size(); ++i) {
      const std::string component = "C" + n + "_" + std::to_string(i);
      SqlComponent(component,
                   marker + " AND " + Prop(line, 2) + " ~= \"" + std::string(kWhat[i]) + "\"");
      ServiceControlRow("SC" + n + "_" + std::to_string(i), "'[" + Prop(line, 1) + "]'", kEvents[i],
                        component);
    }
    ScheduleServices();
    Remember(line, {1, 2}, marker);
  }

  void ServiceControlRow(const std::string& id, const std::string& name, int events,
                         const std::string& component) {
    Sql("INSERT INTO `ServiceControl` (`ServiceControl`, `Name`, `Event`, `Wait`, `Component_`) "
        "VALUES ('" +
        id + "', " + name + ", " + std::to_string(events) + ", 1, '" + component + "')");
  }

  void ScheduleServices() {
    scheduled_.emplace("StopServices", kStopServicesSequence);
    scheduled_.emplace("DeleteServices", kDeleteServicesSequence);
    scheduled_.emplace("InstallServices", kInstallServicesSequence);
    scheduled_.emplace("StartServices", kStartServicesSequence);
  }

  // Where wixl finds a file. It takes relative names only, resolved against
  // the XML's folder without regard to links, so a plain path climbs to the
  // root and down again; a path the XML's code page or wixl's names cannot
  // carry as it is goes through a copy (or link) in the work folder.
  std::string SourceOf(DatabaseFile& file) const {
    const bool plain =
        !file.source.empty() && file.source.front() == '/' &&
        std::ranges::all_of(file.source, [](char c) {
          return c >= ' ' && c <= '~' && c != '"' && c != '&' && c != '<' && c != '>' && c != '$';
        });
    file.staged = !plain;
    if (!plain) return "files/" + file.id;
    std::string path;
    for (std::size_t i = 0; i < workDepth_; ++i) path += "../";
    return path + file.source.substr(1);
  }

  std::string Wxs() {
    std::ranges::stable_sort(xml_, std::greater<>(), &Row::first);
    std::string folders, refs;
    for (const auto& [length, text] : xml_) folders += text;
    for (const std::string& id : components_) refs += "<ComponentRef Id=\"" + id + "\"/>";
    const std::string manufacturer = source_.publisher[0].empty() ? "Tavrel" : source_.publisher[0];
    return "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
           "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
           "  <Product Id=\"" +
           source_.product + "\" Name=\"" + Attr(source_.title) +
           "\" Language=\"1033\" Version=\"1.0.0\" Manufacturer=\"" + Attr(manufacturer) +
           "\" UpgradeCode=\"" + StableGuid(source_.product + "/upgrade") +
           "\">\n"
           "    <Package InstallerVersion=\"200\" Compressed=\"yes\" "
           "InstallScope=\"perMachine\"/>\n"
           "    <Media Id=\"1\" Cabinet=\"data.cab\" EmbedCab=\"yes\"/>\n"
           "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">" +
           folders +
           "</Directory>\n"
           "    <Feature Id=\"Complete\" Level=\"1\">" +
           refs +
           "</Feature>\n"
           "  </Product>\n"
           "</Wix>\n";
  }

  const SetupSource& source_;
  BuildPort& port_;
  std::size_t workDepth_;
  Database database_;
  std::vector<Row> xml_;
  std::vector<Row> removals_;
  std::vector<std::string> components_;
  std::size_t fileCount_ = 0;
  std::size_t filler_ = source_.filler;  // generated files the first Install Files takes
  bool searches_ = false;
  bool environment_ = false;
  std::set<std::string> tables_;               // made here: wixl has none
  std::map<std::string, int> scheduled_;       // standard actions by name
  std::map<std::string, std::string> blocks_;  // web media blocks by upper-case name
};

}  // namespace

Database PlanDatabase(const SetupSource& source, BuildPort& port, std::size_t workDepth) {
  return Planner(source, port, workDepth).Run();
}

}  // namespace tavrel::tvlc
