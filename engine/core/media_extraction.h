// Extracting a web media block's archive into the block folder on the
// extraction thread, and the retry-extraction question when that fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/media_port.h"
#include "engine/core/message_table.h"
#include "engine/core/system_port.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

struct CommandContext;

// One extraction: the archive holds one top folder named like the archive
// (without its extension); in it the files of each source folder lie under
// that folder's path from the script's list. The files directly in source
// folder number k arrive in target + base + "\k\"; every other file keeps
// its place below target + base + "\".
struct ExtractionJob {
  std::string archive;
  bool localCopy = false;                  // kept after extraction
  std::string targetFolder;                // the data folder
  std::string unpackFolder;                // where the archive is unpacked first
  std::vector<std::string> sourceFolders;  // with trailing backslashes
  std::intptr_t owner = 0;                 // woken after every progress report
};

// The extraction thread's work; true when every file is in place.
bool ExtractMediaArchive(MediaPort& media, SystemPort& system, const MessageTable& texts,
                         const ExtractionJob& job, WorkerProgress& progress);

enum class ExtractionOutcome { kComplete, kFetchAgain };

// Extracts the archive of the media folder's block; after a failure asks
// whether to extract again or to fetch a fresh copy. Throws
// MediaFetchError when the user (or silent mode) gives up.
ExtractionOutcome ExtractBlock(CommandContext& c, const std::string& mediaFolder,
                               const std::string& archive, bool localCopy);

}  // namespace tavrel
