#include "engine/core/web_media.h"

#include <algorithm>
#include <utility>

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/media_extraction.h"
#include "engine/core/offline_media.h"
#include "engine/core/script_text.h"
#include "engine/core/start_folders.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

namespace {

// The block's archive beside the setup (or beside the package it came
// in), unless an earlier extraction of it failed in this run.
std::string UsableLocalCopy(CommandContext& c, const std::string& archive) {
  std::string folder = ValueOrEmpty(c.store, "SFXPATH");
  if (folder.empty()) folder = ValueOrEmpty(c.store, "EXEDIR");
  if (folder.empty()) return "";
  const std::string copy = common::JoinPath(folder, common::NamePart(archive));
  if (c.system.KindOf(copy) != PathKind::kFile) return "";
  const std::vector<std::string>& rejected = c.run.webMedia.rejected;
  if (std::find(rejected.begin(), rejected.end(), ToUpperAnsi(copy)) != rejected.end()) return "";
  return copy;
}

// One download of the block's archive on the download thread, the page
// showing its progress. True when it succeeded.
bool DownloadOnce(CommandContext& c, const std::string& mediaFolder) {
  WebMediaState& web = c.run.webMedia;
  DownloadJob job{web.url, web.archive, web.proxy, web.resume, c.run.dialogs.window};
  const std::string heading =
      c.messages.Get(msg::kDownloading) + common::WithoutTrailingBackslash(mediaFolder) + "\r";
  bool succeeded = false;
  RunMediaWork(c, heading, [&](WorkerProgress& progress) {
    c.system.CreateFolders(std::string(common::FolderPart(job.target)));
    try {
      succeeded = DownloadMediaFile(
          c.system.Media(), c.system, c.messages, job, web.method,
          [&](int percentage, const std::string& text) {
            progress.Report(text, percentage);
            return !progress.CancelRequested();
          },
          [&] { return !progress.CancelRequested(); });
    } catch (const std::exception& error) {
      // Whatever goes wrong inside a download is a failed download.
      c.system.Trace(std::string("web media: the download failed: ") + error.what());
      succeeded = false;
    }
  });
  return succeeded;
}

}  // namespace

std::string CompletionMark(const CommandContext& c, const std::string& blockFolder) {
  return blockFolder + ValueOrEmpty(c.store, "REVISIONCODE");
}

void RunMediaWork(CommandContext& c, std::string heading,
                  const std::function<void(WorkerProgress&)>& work) {
  WaitOptions options;
  options.forwardCancel = true;
  options.heading = std::move(heading);
  RunWhileWaiting(c.ui, c.Silent(), work, options);
}

const std::string& CommandMediaFolder(const CommandContext& c) {
  static const std::string kNone;
  const std::vector<std::string>& folders = c.state.script.mediaFolders;
  return c.index < folders.size() ? folders[c.index] : kNone;
}

void FetchMediaBlock(CommandContext& c, const std::string& mediaFolder) {
  const BusyPage busy(c.ui);
  const CompiledScript& script = c.state.script;
  c.run.dataFolder = InstallationInformationFolder(
      c.system.System(), ReadsTrue(c.store, "ALLUSERS"), script.productCode, script.revisionCode);
  if (ReadsTrue(c.store, "REMOVE")) return;

  for (;;) {
    if (c.system.KindOf(CompletionMark(c, c.run.dataFolder + mediaFolder)) == PathKind::kFile) {
      c.system.Trace("web media: " + mediaFolder + " is complete");
      return;
    }
    if (ToUpperAnsi(mediaFolder) == kOfflineMedia) {
      FetchOfflineMedia(c);
      return;
    }
    WebMediaState& web = c.run.webMedia;
    std::string archive = UsableLocalCopy(c, web.archive);
    const bool localCopy = !archive.empty();
    while (archive.empty()) {
      if (DownloadOnce(c, mediaFolder) && c.ui.CancelState() != -1) {
        archive = web.archive;
        break;
      }
      if (c.ui.CancelState() == -1 || c.Silent()) {
        throw MediaFetchError(c.messages.Get(msg::kDownloadFailed));
      }
      const std::intptr_t owner = c.run.dialogs.window;
      if (web.method.useService) {
        bool resume = web.resume;
        if (!c.ui.AskDownloadRetry(owner, c.messages, resume)) {
          throw MediaFetchError(c.messages.Get(msg::kDownloadFailed));
        }
        web.resume = resume;
      } else {
        ProxySettings proxy = web.proxy;
        if (!c.ui.AskProxyRetry(owner, c.messages, proxy)) {
          throw MediaFetchError(c.messages.Get(msg::kDownloadFailed));
        }
        web.proxy = std::move(proxy);
      }
    }
    c.system.Trace("web media: " + mediaFolder + " from " + archive);
    if (ExtractBlock(c, mediaFolder, archive, localCopy) == ExtractionOutcome::kComplete) {
      c.system.Trace("web media: " + mediaFolder + " extracted");
      return;
    }
    // The user asked for a fresh copy: everything from the start again.
  }
}

bool FetchMediaFor(CommandContext& c, const std::string& mediaFolder) {
  if (c.state.script.mediaMode != kWebMediaMode || mediaFolder.empty()) return true;
  try {
    FetchMediaBlock(c, mediaFolder);
    return true;
  } catch (const MediaFetchError& error) {
    c.system.Trace(std::string("web media: ") + error.what());
    if (!c.Silent()) {
      c.ui.ShowMessageBox(c.run.dialogs.window, error.what(), "Tavrel", kMessageBoxStopIcon);
    }
    c.run.endRun = true;
    return false;
  }
}

namespace commands {

void WebMediaBlock(CommandContext& c) {
  c.run.webMedia.url = c.store.Expand(c.Param(2));
  c.run.webMedia.archive = c.run.dataFolder + c.Param(1) + ".7zip";
}

}  // namespace commands

}  // namespace tavrel
