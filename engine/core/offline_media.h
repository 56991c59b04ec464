// The payload that travels beside a web setup ("offline\") and its merge
// modules ("mergemod\") are moved into the data folder on a worker thread
// before the installer needs them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/media_port.h"
#include "engine/core/message_table.h"
#include "engine/core/system_port.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

struct CommandContext;

struct OfflineCopyJob {
  // The setup's data folder as start-up found it; when it has no "offline"
  // subfolder, its parent (the engine's folder) is used.
  std::string sourceRoot;
  std::string dataFolder;   // where the files go
  std::intptr_t owner = 0;  // woken after every file
};

// The copy thread's work: every file below source root + "offline\" goes
// to data folder + "offline\" at the same relative place, every file below
// source root + "mergemod\" to the same relative place below the data
// folder itself. A file is moved, or copied when it cannot be moved, and
// never replaces one that is there (which counts as copied). True when
// every file is in place.
bool CopyOfflineMedia(MediaPort& media, SystemPort& system, const MessageTable& texts,
                      const OfflineCopyJob& job, WorkerProgress& progress);

// The fetch of "OFFLINE\": the copy with the page showing its progress,
// then the completion mark. Throws MediaFetchError when it fails or the
// user cancels.
void FetchOfflineMedia(CommandContext& c);

}  // namespace tavrel
