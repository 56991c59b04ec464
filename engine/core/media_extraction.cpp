#include "engine/core/media_extraction.h"

#include "common/paths.h"
#include "engine/core/command_context.h"
#include "engine/core/media_download.h"
#include "engine/core/script_text.h"
#include "engine/core/web_media.h"

namespace tavrel {

namespace {

std::string ArchiveBase(const std::string& archive) {
  const std::string_view name = common::NamePart(archive);
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

bool MoveInto(MediaPort& media, SystemPort& system, const std::string& from,
              const std::string& to) {
  system.CreateFolders(std::string(common::FolderPart(to)));
  if (media.MoveFileTo(from, to)) return true;
  system.Trace("web media: " + from + " could not be moved to " + to);
  return false;
}

}  // namespace

bool ExtractMediaArchive(MediaPort& media, SystemPort& system, const MessageTable& texts,
                         const ExtractionJob& job, WorkerProgress& progress) {
  const std::string base = ArchiveBase(job.archive);
  const std::string unpacked = job.unpackFolder + base + "\\";
  // Whatever an earlier attempt left there would be taken for the block's.
  system.DeleteFolderTree(unpacked);
  system.CreateFolders(job.targetFolder);
  const bool extracted = media.ExtractArchive(
      job.archive, job.unpackFolder,
      [&](const std::string& file, std::uint64_t done, std::uint64_t total) {
        const int percentage = DownloadPercentage(done, total);
        progress.Report(std::string(common::NamePart(file)) + ", " + std::to_string(percentage) +
                            texts.Get(msg::kPercentComplete),
                        percentage);
        media.Wake(job.owner);
        return !progress.CancelRequested();
      });
  if (!extracted) {
    system.Trace("web media: " + job.archive + " could not be extracted");
    return false;
  }
  if (!job.localCopy) system.DeleteFileAt(job.archive);

  const std::string block = job.targetFolder + base + "\\";
  for (std::size_t k = 0; k < job.sourceFolders.size(); ++k) {
    const std::string from = unpacked + common::WithTrailingBackslash(job.sourceFolders[k]);
    const std::string to = block + std::to_string(k) + "\\";
    for (const std::string& name : media.FilesIn(from)) {
      if (!MoveInto(media, system, from + name, to + name)) return false;
    }
  }
  for (const std::string& relative : media.FilesBelow(unpacked)) {
    if (!MoveInto(media, system, unpacked + relative, block + relative)) return false;
  }
  system.DeleteFolderTree(unpacked);
  return true;
}

ExtractionOutcome ExtractBlock(CommandContext& c, const std::string& mediaFolder,
                               const std::string& archive, bool localCopy) {
  const std::string blockFolder = c.run.dataFolder + mediaFolder;

  ExtractionJob job;
  job.archive = archive;
  job.localCopy = localCopy;
  job.targetFolder = c.run.dataFolder;
  job.unpackFolder = c.state.supportFolder.empty() ? c.state.tempFolder : c.state.supportFolder;
  job.sourceFolders = c.state.script.webMediaSourceFolders;
  job.owner = c.run.dialogs.window;
  const std::string heading =
      c.messages.Get(msg::kExtracting) + common::WithoutTrailingBackslash(mediaFolder) + "\r";
  const std::string marker = CompletionMark(c, blockFolder);
  MediaPort& media = c.system.Media();
  for (;;) {
    // A block folder without its completion mark holds what an interrupted
    // extraction left; the moves never overwrite, so it would make every
    // extraction fail. It is only ever filled from the archive.
    c.system.DeleteFolderTree(blockFolder);
    bool extracted = false;
    RunMediaWork(c, heading, [&](WorkerProgress& progress) {
      extracted = ExtractMediaArchive(media, c.system, c.messages, job, progress);
    });
    if (extracted && c.ui.CancelState() != -1) {
      media.CreateEmptyFile(marker);
      return ExtractionOutcome::kComplete;
    }
    media.RemoveEmptyFolder(blockFolder);
    if (c.Silent()) throw MediaFetchError(c.messages.Get(msg::kExtractFailed));
    switch (c.ui.AskExtractRetry(c.run.dialogs.window, c.messages)) {
      case ExtractRetry::kCancel:
        throw MediaFetchError(c.messages.Get(msg::kExtractFailed));
      case ExtractRetry::kDownload:
        if (localCopy) {
          c.run.webMedia.rejected.push_back(ToUpperAnsi(archive));
        } else {
          c.system.DeleteFileAt(archive);
        }
        return ExtractionOutcome::kFetchAgain;
      case ExtractRetry::kExtract:
        if (extracted) {
          media.CreateEmptyFile(marker);
          return ExtractionOutcome::kComplete;
        }
        break;
    }
  }
}

}  // namespace tavrel
