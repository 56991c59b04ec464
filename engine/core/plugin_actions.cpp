#include "engine/core/plugin_actions.h"

#include <stdexcept>
#include <string>

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/source_search.h"
#include "engine/core/web_media.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

namespace {

constexpr const char* kLoadFailure =
    "Unable to load plug-in library. Please rebuild your project and make sure all required "
    "plug-ins are installed.";

// Where the run-time library is; empty when the command must not go on
// (its web media could not be fetched, which has ended the run).
std::string LibraryPath(CommandContext& c) {
  const std::string& library = c.Param(2);
  const std::string& media = CommandMediaFolder(c);
  if (media.empty()) return c.state.supportFolder + std::string(common::NamePart(library));
  if (c.state.script.mediaMode == kWebMediaMode) {
    if (!FetchMediaFor(c, media)) return "";
    return c.run.mediaRoot + media + library;
  }
  const std::string path = c.run.mediaRoot + library;
  if (c.system.FileExists(path)) return path;
  // The library lies on the setup's medium, in a folder named after the
  // design-time library: the data folder is the one that holds that folder.
  const std::string found = LocateSources(c, library);
  if (found.empty()) throw std::runtime_error(c.messages.Get(msg::kSourcesNotFound));
  c.run.dataFolder = found;
  return found + library;
}

void ReportLoadFailure(CommandContext& c, const std::string& path, const std::string& why) {
  c.system.Trace("plug-in " + c.Name() + ": " + path + " not loaded: " + why);
  if (c.Silent()) return;
  c.ui.ShowMessageBox(c.run.dialogs.window, std::string(kLoadFailure) + "\r\rAction skipped",
                      "Tavrel", kMessageBoxStopIcon);
}

}  // namespace

namespace commands {

void RunPlugin(CommandContext& c) {
  const std::string path = LibraryPath(c);
  if (path.empty()) return;
  if (!c.system.FileExists(path)) {
    ReportLoadFailure(c, path, "no such file");
    return;
  }
  const PluginCall call{path, c.run.dialogs.window, c.store.ListText(), c.Param(1)};

  // What the page shows: the script's progress text until the library
  // reports; a report without a position changes the text only.
  WorkerProgress shown;
  shown.Report(ValueOrEmpty(c.store, "PROGRESSTEXT"), -1);
  WaitOptions options;
  options.forwardCancel = true;
  options.progress = [&] { return shown.Latest(); };
  PluginResult result;
  {
    const BusyPage busy(c.ui);
    RunWhileWaiting(
        c.ui, c.Silent(),
        [&](WorkerProgress& worker) {
          result = c.system.CallPlugin(call, [&](int position, const std::string& text) {
            shown.Report(text, position);
            return !worker.CancelRequested();
          });
        },
        options);
  }

  switch (result.outcome) {
    case PluginResult::Outcome::kReturned:
      c.system.Trace("plug-in " + c.Name() + ": " + path + " returned " +
                     std::to_string(result.text.size()) + " bytes");
      c.store.ReadListText(result.text);
      return;
    case PluginResult::Outcome::kNotLoaded:
      ReportLoadFailure(c, path, result.failure);
      return;
    case PluginResult::Outcome::kFailed:
      // The library had nothing to give back: the variables stay as they
      // were rather than vanish.
      c.system.Trace("plug-in " + c.Name() + ": " + path + " failed: " + result.failure);
      return;
    case PluginResult::Outcome::kCrashed:
      // The variables stay as they were; the run ends with the error, and
      // the setup cleans up as after any other.
      throw std::runtime_error("The plug-in " + c.Name() + " (" +
                               std::string(common::NamePart(path)) + ") failed: " + result.failure);
  }
}

}  // namespace commands

}  // namespace tavrel
