// Downloading one web media archive on the download thread: through the
// URL download service while the system has it, else through the engine's
// own HTTP client; and the progress texts both methods show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/core/media_port.h"
#include "engine/core/message_table.h"
#include "engine/core/system_port.h"

namespace tavrel {

// Digits with "," after every three counted from the right, whatever the
// locale: 1234567 is "1,234,567".
std::string FormatThousands(std::uint64_t value);

// The text shown for a binding-status code of the URL download service;
// empty for 0 and for codes past the table.
std::string_view ServiceStatusText(std::uint32_t code);

// received × 100 ÷ total + 1, at most 100; 1 when the total is unknown (0).
int DownloadPercentage(std::uint64_t received, std::uint64_t total);

// "1,234 bytes received, 12% complete" (without the percentage when the
// total is unknown).
std::string BytesReceivedText(std::uint64_t received, std::uint64_t total,
                              const MessageTable& texts);

// The download thread's side of one attempt.
struct DownloadJob {
  std::string url;
  std::string target;
  ProxySettings proxy;
  bool resume = true;
  std::intptr_t owner = 0;  // woken after every progress report
};

// What the download method keeps between attempts, for the whole program:
// whether the URL download service is still in use, and its last cache
// file.
struct DownloadMethod {
  bool useService = true;
  std::string serviceCacheFile;
};

// Gets (percentage, status text) for every report; returns false to stop.
using DownloadReport = std::function<bool(int percentage, const std::string& text)>;

// Runs on the download thread; true when the target holds the whole file.
// Waits end soon after wanted answers false. Clears method.useService for
// good when the service cannot be loaded.
bool DownloadMediaFile(MediaPort& media, SystemPort& system, const MessageTable& texts,
                       const DownloadJob& job, DownloadMethod& method, const DownloadReport& report,
                       const StillWanted& wanted);

}  // namespace tavrel
