#include "engine/core/media_download.h"

#include <array>

#include "common/paths.h"
#include "engine/core/http_download.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

constexpr std::array<std::string_view, 34> kServiceStatus = {
    "",
    "Locating resource",
    "Connecting to",
    "Redirecting to",
    "Beginning data transfer",
    "Transferring data",
    "Finishing data transfer",
    "Beginning component download",
    "Installing components",
    "Finishing component download",
    "Resuming broken download",
    "Requesting data",
    "CLASSID available",
    "Download data recognized",
    "Saving download information",
    "Beginning synchronous operation",
    "Finishing synchronous operation",
    "Beginning data upload",
    "Uploading data",
    "Finishing data upload",
    "Protocol CLASSID",
    "Encoding",
    "Download data recognized and verified",
    "Class install location",
    "Decoding",
    "Loading data handler",
    "Content disposition attach",
    "Download data filtered",
    "CLSID can instantiate",
    "COM services unavailable",
    "Direct bind",
    "Unrecognized download data",
    "Detecting proxy information",
    "Accept ranges",
};

constexpr std::uint32_t kTransferring = 5;
constexpr std::uint32_t kEndOfTransfer = 6;
constexpr std::uint32_t kCacheFileAvailable = 14;

// The service's reports become the engine's progress; at the end of the
// transfer the cache file is copied to the target.
class ServiceReports final : public ServiceProgressSink {
 public:
  ServiceReports(MediaPort& media, SystemPort& system, const MessageTable& texts,
                 const DownloadJob& job, DownloadMethod& method, const DownloadReport& report)
      : media_(media),
        system_(system),
        texts_(texts),
        job_(job),
        method_(method),
        report_(report) {}

  bool OnServiceProgress(std::uint64_t position, std::uint64_t maximum, std::uint32_t code,
                         const std::string& extra) override {
    if (code >= kServiceStatus.size()) code = 0;
    if (code == kCacheFileAvailable) method_.serviceCacheFile = extra;
    const std::string_view known = kServiceStatus[code];
    std::string text(known);
    if (!known.empty() && !extra.empty()) text += ' ';
    text += extra;
    const int percentage = DownloadPercentage(position, maximum);
    if (text.starts_with(kServiceStatus[kTransferring])) {
      text = BytesReceivedText(position, maximum, texts_);
    }
    if (!report_(percentage, text)) return false;
    media_.Wake(job_.owner);
    if (code == kEndOfTransfer) CopyToTarget(method_.serviceCacheFile);
    return true;
  }

  // The cache file replaces the target, unless they are the same file.
  void CopyToTarget(const std::string& cacheFile) {
    if (cacheFile.empty()) return;
    if (ToUpperAnsi(cacheFile) != ToUpperAnsi(job_.target)) system_.DeleteFileAt(job_.target);
    system_.CreateFolders(std::string(common::FolderPart(job_.target)));
    if (!system_.CopyFileOver(cacheFile, job_.target)) {
      system_.Trace("web media: the cache file " + cacheFile + " could not be copied to " +
                    job_.target);
    }
  }

 private:
  MediaPort& media_;
  SystemPort& system_;
  const MessageTable& texts_;
  const DownloadJob& job_;
  DownloadMethod& method_;
  const DownloadReport& report_;
};

}  // namespace

std::string FormatThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string_view ServiceStatusText(std::uint32_t code) {
  return code < kServiceStatus.size() ? kServiceStatus[code] : std::string_view();
}

int DownloadPercentage(std::uint64_t received, std::uint64_t total) {
  if (total == 0) return 1;
  if (received >= total) return 100;
  // Far past any real file, precision can go so that received × 100 fits.
  while (total > (std::uint64_t{1} << 56)) {
    total >>= 1;
    received >>= 1;
  }
  const std::uint64_t percentage = received * 100 / total + 1;
  return percentage > 100 ? 100 : static_cast<int>(percentage);
}

std::string BytesReceivedText(std::uint64_t received, std::uint64_t total,
                              const MessageTable& texts) {
  std::string text = FormatThousands(received) + " " + texts.Get(msg::kBytesReceived);
  if (total != 0) {
    text += ", " + std::to_string(DownloadPercentage(received, total)) +
            texts.Get(msg::kPercentComplete);
  }
  return text;
}

bool DownloadMediaFile(MediaPort& media, SystemPort& system, const MessageTable& texts,
                       const DownloadJob& job, DownloadMethod& method, const DownloadReport& report,
                       const StillWanted& wanted) {
  if (method.useService) {
    if (!job.resume && !method.serviceCacheFile.empty()) {
      system.DeleteFileAt(method.serviceCacheFile);
    }
    ServiceReports reports(media, system, texts, job, method, report);
    const ServiceDownload result = media.DownloadToCache(job.url, reports);
    if (result.outcome != ServiceDownload::Outcome::kUnavailable) {
      if (result.outcome == ServiceDownload::Outcome::kFailed) {
        system.Trace("web media: the download of " + job.url + " failed: " + result.failure);
        return false;
      }
      // The service may end without a report of the transfer's end; the
      // target must hold what the service fetched all the same.
      if (!result.cacheFile.empty() &&
          media.FileSize(result.cacheFile) != media.FileSize(job.target)) {
        reports.CopyToTarget(result.cacheFile);
      }
      return media.FileSize(job.target) >= 0;
    }
    system.Trace("web media: the URL download service is not there (" + result.failure +
                 "); the engine's HTTP client takes over");
    method.useService = false;
  }

  HttpDownloadRequest request{job.url, job.target, job.proxy, job.resume};
  bool stopped = false;
  const HttpDownloadResult result = HttpDownload(
      media, request,
      [&](std::uint64_t received, std::uint64_t total) {
        if (!report(DownloadPercentage(received, total),
                    BytesReceivedText(received, total, texts))) {
          stopped = true;
          return false;
        }
        media.Wake(job.owner);
        return true;
      },
      [&] { return !stopped && wanted(); });
  if (!result.succeeded) {
    system.Trace("web media: the download of " + job.url + " failed: " + result.failure);
  }
  return result.succeeded;
}

}  // namespace tavrel
