// The engine's own HTTP client for web media: a download into a file over
// plain HTTP, directly or through a proxy, continuing a partial file with
// a byte range. Used when the URL download service is not there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/core/media_port.h"

namespace tavrel {

struct HttpDownloadRequest {
  std::string url;     // "http://host[:port]/path"
  std::string target;  // the file written
  ProxySettings proxy;
  bool resume = true;  // continue a partial target file
};

// Called for every block of body data written: the bytes the target holds
// now (kept and received) and the expected total (0 when unknown). Returns
// false to abort.
using HttpProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

struct HttpDownloadResult {
  bool succeeded = false;
  int status = 0;       // the last status code seen, 0 for none
  std::string failure;  // why it failed, for the trace
};

// Runs on a worker thread. Every wait is bounded in time, and ends within
// half a second once wanted answers false (or the progress callback does).
HttpDownloadResult HttpDownload(MediaPort& media, const HttpDownloadRequest& request,
                                const HttpProgress& progress, const StillWanted& wanted);

}  // namespace tavrel
