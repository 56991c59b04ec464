// The web media port on Windows: the URL download service of urlmon.dll,
// Winsock connections for the engine's HTTP client, tvl.dll's
// ExtractArchive, and the file work of the media threads.
#pragma once

#include "engine/core/media_port.h"

namespace tavrel {

class Win32MediaPort final : public MediaPort {
 public:
  ServiceDownload DownloadToCache(const std::string& url, ServiceProgressSink& sink) override;
  std::unique_ptr<NetConnection> Connect(const std::string& host, std::uint16_t port, int timeoutMs,
                                         const StillWanted& wanted) override;

  std::int64_t FileSize(const std::string& path) override;
  std::unique_ptr<DownloadFile> OpenForWritingAt(const std::string& path,
                                                 std::uint64_t offset) override;
  std::vector<std::string> FilesIn(const std::string& folder) override;
  std::vector<std::string> FilesBelow(const std::string& folder) override;
  bool MoveFileTo(const std::string& from, const std::string& to) override;
  bool CopyFileTo(const std::string& from, const std::string& to) override;
  bool RemoveEmptyFolder(const std::string& folder) override;
  bool CreateEmptyFile(const std::string& path) override;

  bool ExtractArchive(const std::string& archive, const std::string& destination,
                      const ExtractProgress& progress) override;
  void Wake(std::intptr_t window) override;
};

}  // namespace tavrel
