#include "engine/core/offline_media.h"

#include <utility>
#include <vector>

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/start_folders.h"
#include "engine/core/web_media.h"

namespace tavrel {

bool CopyOfflineMedia(MediaPort& media, SystemPort& system, const MessageTable& texts,
                      const OfflineCopyJob& job, WorkerProgress& progress) {
  std::string root = job.sourceRoot;
  if (system.KindOf(root + "offline") != PathKind::kFolder) root = ParentFolder(root);

  std::vector<std::pair<std::string, std::string>> work;  // from, to
  for (const std::string& relative : media.FilesBelow(root + "offline\\")) {
    work.emplace_back(root + "offline\\" + relative, job.dataFolder + "offline\\" + relative);
  }
  for (const std::string& relative : media.FilesBelow(root + "mergemod\\")) {
    work.emplace_back(root + "mergemod\\" + relative, job.dataFolder + relative);
  }

  for (std::size_t i = 0; i < work.size(); ++i) {
    const auto& [from, to] = work[i];
    const int percentage = static_cast<int>(i * 100 / work.size() + 1);
    if (progress.CancelRequested()) return false;
    system.CreateFolders(std::string(common::FolderPart(to)));
    progress.Report(std::string(common::NamePart(from)) + ", " + std::to_string(percentage) +
                        texts.Get(msg::kPercentComplete),
                    percentage);
    if (system.KindOf(to) == PathKind::kNone && !media.MoveFileTo(from, to)) {
      media.CopyFileTo(from, to);
    }
    if (system.KindOf(to) != PathKind::kFile) {
      system.Trace("web media: " + from + " could not be moved or copied to " + to);
      return false;
    }
    media.Wake(job.owner);
  }
  return true;
}

void FetchOfflineMedia(CommandContext& c) {
  OfflineCopyJob job{c.state.dataFolder, c.run.dataFolder, c.run.dialogs.window};
  MediaPort& media = c.system.Media();
  bool copied = false;
  RunMediaWork(c, c.messages.Get(msg::kCopying), [&](WorkerProgress& progress) {
    copied = CopyOfflineMedia(media, c.system, c.messages, job, progress);
  });
  const std::string folder = c.run.dataFolder + std::string(kOfflineMedia);
  if (c.ui.CancelState() == -1) throw MediaFetchError(c.messages.Get(msg::kCopyFailed));
  if (copied) {
    c.system.Trace("web media: the offline payload is in " + c.run.dataFolder);
    media.CreateEmptyFile(CompletionMark(c, folder));
    return;
  }
  // Only an empty folder goes: the files in it exist nowhere else now.
  media.RemoveEmptyFolder(folder);
  throw MediaFetchError(c.messages.Get(msg::kCopyFailed));
}

}  // namespace tavrel
