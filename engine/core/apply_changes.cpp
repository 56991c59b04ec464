#include "engine/core/apply_changes.h"

#include <stdexcept>

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/installer_run.h"
#include "engine/core/product_registration.h"
#include "engine/core/script_text.h"
#include "engine/core/source_search.h"
#include "engine/core/web_media.h"

namespace tavrel {

namespace {

std::string ResultWord(InstallerOutcome outcome) {
  switch (outcome) {
    case InstallerOutcome::kCancelled:
      return "CANCEL";
    case InstallerOutcome::kError:
      return "ERROR";
    case InstallerOutcome::kSuccessRebootNeeded:
      return "REBOOT";
    case InstallerOutcome::kSuccess:
      break;
  }
  return "COMPLETE";
}

}  // namespace

namespace commands {

void ApplyChanges(CommandContext& c) {
  const bool install = BooleanValue(c.Param(3));
  const std::string& resultVariable = c.Param(2);
  const CompiledScript& script = c.state.script;

  if (install && script.mediaMode != kWebMediaMode && ReadsTrue(c.store, "MAINTENANCE") &&
      !c.system.FileExists(c.run.dataFolder + script.productCode)) {
    // A maintenance run that installs needs the original sources: the data
    // folder must hold the file named as the product code.
    const std::string found = LocateSources(c, script.productCode);
    if (found.empty()) {
      c.store.SetResult("LASTERROR", c.messages.Get(msg::kSourcesNotFound));
      // Created when missing, as for every other outcome: the script must be
      // able to see why nothing was applied.
      if (!resultVariable.empty()) c.store.SetResult(NamedVariable(resultVariable), "CANCEL");
      return;
    }
    c.run.dataFolder = found;
  }
  // The payload beside a web setup joins the downloaded blocks first.
  if (!FetchMediaFor(c, std::string(kOfflineMedia))) return;

  c.run.changes.Record("QORVTEMP", c.state.tempFolder);
  InstallerInputs inputs;
  inputs.database = c.run.database;
  inputs.variables = c.store.ListText();
  inputs.actions = c.run.actionStates;
  inputs.properties = c.run.changes.previous;
  inputs.pending = std::move(c.run.changes.pending);
  c.run.changes.pending.clear();
  inputs.productCode = script.productCode;
  inputs.install = install;
  inputs.dataFolder = c.run.dataFolder;
  inputs.logPath = c.state.commandLine.logPath;
  inputs.tempFolder = c.state.tempFolder;

  const std::string progressFile = c.state.supportFolder + c.Param(1) + ".dfm";
  InstallerEnvironment environment{c.ui,
                                   c.system,
                                   c.messages,
                                   c.run.installerMessages,
                                   c.run.dialogs.window,
                                   c.Silent(),
                                   std::string(common::FolderPart(progressFile))};
  const InstallerResult result = RunInstaller(inputs, environment);
  c.system.Trace("Apply Changes: " + ResultWord(result.outcome) +
                 (result.errorText.empty() ? "" : ": " + result.errorText));

  if (!result.errorText.empty()) c.store.SetResult("LASTERROR", result.errorText);
  if (!resultVariable.empty()) {
    c.store.SetResult(NamedVariable(resultVariable), ResultWord(result.outcome));
  }
  if (result.outcome == InstallerOutcome::kSuccessRebootNeeded) {
    c.store.SetResult("REBOOTCOMPUTER", "TRUE");
  }
  if (result.outcome == InstallerOutcome::kSuccess ||
      result.outcome == InstallerOutcome::kSuccessRebootNeeded) {
    if (install) {
      RegisterProduct(c);
    } else {
      UnregisterProduct(c);
    }
  }
}

}  // namespace commands

}  // namespace tavrel
