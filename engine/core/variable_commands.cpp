#include "engine/core/variable_commands.h"

#include <string_view>
#include <utility>

#include "engine/core/command_context.h"
#include "engine/core/predefined_variables.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

// Folder (with a trailing backslash) and file name of the package path.
std::pair<std::string, std::string> SplitPackagePath(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return {"", path};
  std::string folder = path.substr(0, cut + 1);
  if (folder.back() == '/') folder.back() = '\\';
  return {folder, path.substr(cut + 1)};
}

std::string StartValue(std::string_view name, const EngineState& state, const StartValues& start,
                       const std::string& databasePath) {
  const CompiledScript& script = state.script;
  if (name == "UNINSTALLLINK") return start.uninstallLink;
  if (name == "WINDOWHANDLE") return "0";
  if (name == "EXEFILE") return start.exeFile;
  if (name == "EXEDIR" || name == "ROOTDIR") return state.engineFolder;
  if (name == "ABORT") return "FALSE";
  if (name == "PROGRESS") return "0";
  if (name == "USERNAME") return start.userName;
  if (name == "USERCOMPANY") return start.userCompany;
  if (name == "RUNAPP" || name == "COMPLETE" || name == "MODIFY") return "TRUE";
  if (name == "WIZARD") return "NEXT";
  if (name == "ALLUSERS") return BooleanText(start.allUsers);
  if (name == "SILENT") return BooleanText(state.commandLine.silent);
  if (name == "LOGGED") return state.commandLine.logPath;
  if (name == "CMDLINE") return state.restOfCommandLine;
  if (name == "SFXPATH") return SplitPackagePath(state.commandLine.packagePath).first;
  if (name == "SFXFILE") return SplitPackagePath(state.commandLine.packagePath).second;
  if (name == "DATADIR") return start.dataDir;
  if (name == "PRODUCTCODE") return script.productCode;
  if (name == "REVISIONCODE") return script.revisionCode;
  if (name == "TITLE" || name == "STARTMENU") return script.title;
  if (name == "COMPANY") return script.publisherLines[0];
  if (name == "TARGETDIR") return start.targetDir;
  if (name == "NEEDSUPGRADE") return BooleanText(start.needsUpgrade);
  if (name == "MAINTENANCE") return BooleanText(start.maintenance);
  if (name == "TEMPDIR") return state.tempFolder;
  if (name == "SUPPORTDIR") return state.supportFolder;
  if (name == "MSIFILE") return databasePath;
  if (name == "LICENSE" || name == "REBOOTCOMPUTER" || name == "MINIMUM" ||
      name == "PERSONALIZED" || name == "REPAIR" || name == "REMOVE") {
    return "FALSE";
  }
  return "";  // PROGRESSTEXT, LASTERROR
}

}  // namespace

void DefinePredefinedVariables(VariableStore& store, const EngineState& state,
                               const StartValues& start, const std::string& databasePath) {
  for (const std::string_view name : kPredefinedVariables) {
    store.Define(name, StartValue(name, state, start, databasePath));
  }
}

namespace commands {

void SetVariable(CommandContext& c) {
  const std::string name = NamedVariable(c.Param(1));
  c.store.Declare(name);
  const std::string value = c.store.Expand(c.Param(2));
  c.store.Set(name, value);
  const std::string upper = ToUpperAscii(name);
  if (upper == "LOGGED") {
    c.state.commandLine.logPath = value;
  } else if (upper == "SILENT") {
    c.state.commandLine.silent = BooleanValue(value);
    c.ui.SetSilent(c.state.commandLine.silent);
  }
}

}  // namespace commands
}  // namespace tavrel
