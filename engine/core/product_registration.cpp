#include "engine/core/product_registration.h"

#include <array>
#include <stdexcept>
#include <string_view>

#include "common/ascii_case.h"
#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/components.h"
#include "engine/core/maintenance_files.h"
#include "engine/core/script_text.h"
#include "engine/core/start_folders.h"

namespace tavrel {

namespace {

constexpr std::string_view kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr std::string_view kIdentCacheKey = "SOFTWARE\\Quorvane\\Tavrel\\Ident.Cache\\";

std::string ValueOf(const VariableStore& store, std::string_view name) {
  return store.Exists(name) ? store.Get(name) : std::string();
}

// A product or revision code names one folder level (and a key): an empty
// one, or one that climbs or branches, would make the folder one that holds
// other products' information, or the key the parent of every product's.
bool NamesOneLevel(std::string_view code) {
  return !code.empty() && code != "." && code != ".." &&
         code.find_first_of("\\/:*?") == std::string_view::npos;
}

// The key of the product's entry in the list of installed programs; empty
// when the title gives none (the key would then be the list itself).
std::string UninstallKeyFor(std::string_view title) {
  if (title.find_first_not_of("\\ ") == std::string_view::npos) return "";
  return std::string(kUninstallKey) + std::string(title);
}

// The installation information folder, or empty when the script's codes
// cannot name one safely.
std::string InformationFolder(SystemPort& system, bool allUsers, const CompiledScript& script) {
  if (!NamesOneLevel(script.productCode) || !NamesOneLevel(script.revisionCode)) return "";
  const std::string folder = InstallationInformationFolder(system.System(), allUsers,
                                                           script.productCode, script.revisionCode);
  // Without an application data folder the path would be relative.
  return common::DriveLength(folder) == 0 ? "" : folder;
}

RegistryRoot RegistrationRoot(SystemPort& system, const VariableStore& store) {
  return ReadsTrue(store, "ALLUSERS") || !system.System().GetOsVersion().isNt
             ? RegistryRoot::kLocalMachine
             : RegistryRoot::kCurrentUser;
}

}  // namespace

void RestoreMaintenance(SystemPort& system, const EngineState& state, VariableStore& store,
                        RunState& run) {
  if (!ReadsTrue(store, "MAINTENANCE")) return;
  const CompiledScript& script = state.script;
  const std::string componentName = state.setupName + ".dat";
  std::string folder = InformationFolder(system, false, script);
  if (folder.empty() || !system.FileExists(folder + componentName)) {
    folder = InformationFolder(system, true, script);
  }
  if (folder.empty()) {
    system.Trace("maintenance: no installation information folder for this product");
    return;
  }
  const FileText components = system.ReadFileText(folder + componentName);
  if (components.status == FileText::Status::kRead) {
    const RestoredComponents restored = ReadComponentFile(components.text);
    for (std::size_t i = 0; i < restored.names.size(); ++i) {
      run.components.Append(restored.names[i], BooleanValue(restored.states[i]));
    }
    if (restored.targetDir) store.SetResult("TARGETDIR", *restored.targetDir);
    if (restored.allUsers) store.SetResult("ALLUSERS", *restored.allUsers);
    if (restored.startMenu) store.SetResult("STARTMENU", *restored.startMenu);
    system.Trace("maintenance: " + std::to_string(restored.names.size()) +
                 " components restored from " + folder + componentName);
  } else if (components.status == FileText::Status::kUnreadable) {
    system.Trace("maintenance: " + folder + componentName + " cannot be read");
  }
  run.installedSize = RequiredSpace(run.components, script, 0);
  const FileText parameters = system.ReadFileText(folder + state.setupName + ".par");
  if (parameters.status == FileText::Status::kRead) {
    run.changes.previous = ReadParameterFile(parameters.text);
    system.Trace("maintenance: " + std::to_string(run.changes.previous.size() / 2) +
                 " previous parameters from " + folder + state.setupName + ".par");
  }
}

void RegisterProduct(CommandContext& c) {
  const CompiledScript& script = c.state.script;
  const std::string title = ValueOf(c.store, "TITLE");
  const std::string uninstallKey = UninstallKeyFor(title);
  if (uninstallKey.empty()) {
    throw std::runtime_error("the product cannot be registered without a title");
  }
  const std::string folder = InformationFolder(c.system, ReadsTrue(c.store, "ALLUSERS"), script);
  if (folder.empty()) {
    throw std::runtime_error(
        "the product cannot be registered: its product or revision code is not a folder name");
  }
  if (!c.system.CreateFolders(folder)) c.system.Trace("register: cannot create " + folder);

  // The copies the maintenance runs start from; what cannot be copied is
  // passed over.
  const std::string exeName(common::NamePart(c.run.exeFile));
  const std::string& source = c.state.engineFolder;
  const std::pair<std::string, std::string> copies[] = {
      {c.run.exeFile, exeName},
      {source + c.state.setupName + ".msi", c.state.setupName + ".msi"},
      {source + c.state.setupName + ".res", c.state.setupName + ".res"},
      {source + "tvl.dll", "tvl.dll"},
      {source + "setup.bmp", "setup.bmp"},
  };
  for (const auto& [from, name] : copies) {
    if (!c.system.CopyFileOver(from, folder + name)) {
      c.system.Trace("register: " + from + " not copied");
    }
  }

  ComponentFile components;
  components.names = c.run.components.Names();
  components.states = c.run.components.States();
  components.targetDir = ValueOf(c.store, "TARGETDIR");
  components.allUsers = ValueOf(c.store, "ALLUSERS");
  components.startMenu = ValueOf(c.store, "STARTMENU");
  components.dataFolder = c.system.ShortPathOf(c.run.dataFolder);
  const std::pair<std::string, std::string> files[] = {
      {folder + c.state.setupName + ".dat", WriteComponentFile(components)},
      {folder + c.state.setupName + ".par", WriteParameterFile(c.run.changes.recorded)},
  };
  for (const auto& [path, text] : files) {
    if (!c.system.ReplaceFileText(path, text)) c.system.Trace("register: " + path + " not written");
  }

  const RegistryRoot root = RegistrationRoot(c.system, c.store);
  const std::string engineCopy = folder + exeName;
  const std::array<std::string, 5>& publisher = script.publisherLines;
  const std::pair<std::string_view, std::string> values[] = {
      {"DisplayIcon", engineCopy},
      {"DisplayName", title},
      {"UninstallString", "\"" + engineCopy + "\" REMOVE=TRUE MODIFY=FALSE"},
      {"ModifyPath", engineCopy},
      {"Publisher", publisher[0]},
      {"Contact", publisher[1]},
      {"HelpLink", publisher[2]},
      {"URLUpdateInfo", publisher[3]},
      {"Comments", publisher[4]},
  };
  const auto write = [&](const std::string& key, std::string_view name, const std::string& data) {
    if (!c.system.WriteRegistryString(root, key, std::string(name), data)) {
      throw std::runtime_error("the registry value \"" + std::string(name) + "\" of " + key +
                               " cannot be written");
    }
  };
  for (const auto& [name, data] : values) write(uninstallKey, name, data);
  write(std::string(kIdentCacheKey) + script.productCode, "", folder);
  c.system.Trace("register: " + title + " registered in " + folder);
}

void UnregisterProduct(CommandContext& c) {
  const CompiledScript& script = c.state.script;
  const std::string folder = InformationFolder(c.system, ReadsTrue(c.store, "ALLUSERS"), script);
  // A folder that is the engine's current folder (as it is when the engine
  // copy was started from there) can be neither removed nor moved.
  if (!folder.empty() && common::StartsWithIgnoringAsciiCase(
                             common::WithTrailingBackslash(c.system.CurrentFolder()), folder)) {
    c.system.SetCurrentFolder(c.state.tempFolder);
  }
  if (folder.empty()) {
    c.system.Trace("unregister: no installation information folder for this product");
  } else if (c.system.KindOf(folder) == PathKind::kFolder && !c.system.DeleteFolderTree(folder) &&
             c.system.KindOf(folder) != PathKind::kNone) {
    // What is in use (the running engine copy, for one) goes with the next
    // restart, from a folder beside it so that a new installation finds the
    // place free.
    const std::string parent = ParentFolder(folder);
    std::string aside;
    for (int n = 0; n < 10000 && aside.empty(); ++n) {
      const std::string candidate = parent + "~" + std::to_string(n) + "\\";
      if (c.system.KindOf(candidate) == PathKind::kNone) aside = candidate;
    }
    const std::string left = !aside.empty() && c.system.MoveFolder(folder, aside) ? aside : folder;
    c.system.DeleteAtRestart(left + std::string(common::NamePart(c.run.exeFile)));
    c.system.DeleteAtRestart(left + "tvl.dll");
    c.system.DeleteAtRestart(left);
  }

  const std::string uninstallKey = UninstallKeyFor(ValueOf(c.store, "TITLE"));
  for (const RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
    if (!uninstallKey.empty()) c.system.DeleteRegistryKeyTree(root, uninstallKey);
    if (NamesOneLevel(script.productCode)) {
      c.system.DeleteRegistryKeyTree(root, std::string(kIdentCacheKey) + script.productCode);
    }
  }
}

}  // namespace tavrel
