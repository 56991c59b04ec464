// What web media need from the system: the URL download service, network
// connections for the engine's own HTTP client, the archive library with
// its progress callback, and the file operations of the download,
// extraction and copy threads. Everything here may be called from a worker
// thread; nothing shows a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// The proxy the HTTP client goes through; an empty server means none.
struct ProxySettings {
  std::string server;
  std::string port;
  std::string user;
  std::string password;

  bool operator==(const ProxySettings&) const = default;
};

// Answers whether the work should go on; asked often from the worker.
using StillWanted = std::function<bool()>;

// The URL download service's progress reports, as the service gives them:
// position, maximum, the binding-status code and its extra text. Returning
// false asks the service to abort.
class ServiceProgressSink {
 public:
  virtual ~ServiceProgressSink() = default;
  virtual bool OnServiceProgress(std::uint64_t position, std::uint64_t maximum, std::uint32_t code,
                                 const std::string& text) = 0;
};

struct ServiceDownload {
  enum class Outcome {
    kSucceeded,
    kFailed,
    // The service could not be loaded (its library or one of its two
    // download functions is missing).
    kUnavailable,
  };
  Outcome outcome = Outcome::kFailed;
  std::string cacheFile;  // where the service left the data, on success
  std::string failure;    // why, for the trace
};

// A TCP connection.
class NetConnection {
 public:
  virtual ~NetConnection() = default;
  // Sends all of the data; false on an error or when nothing could be sent
  // for timeoutMs.
  virtual bool SendAll(std::string_view data, int timeoutMs) = 0;
  // Waits at most timeoutMs for data: the byte count read (> 0), 0 when the
  // peer closed the connection, kReceiveTimedOut, or kReceiveFailed.
  virtual int Receive(std::span<char> buffer, int timeoutMs) = 0;

  static constexpr int kReceiveTimedOut = -2;
  static constexpr int kReceiveFailed = -1;
};

// A file being written by a download.
class DownloadFile {
 public:
  virtual ~DownloadFile() = default;
  virtual bool Write(std::span<const char> data) = 0;
};

class MediaPort {
 public:
  virtual ~MediaPort() = default;

  // ---- Downloads ----

  // Downloads the URL into the URL download service's cache (the COM
  // library initialised for the call), reporting progress to the sink.
  virtual ServiceDownload DownloadToCache(const std::string& url, ServiceProgressSink& sink) = 0;
  // Connects to the host (a name or an address) and port, giving up after
  // timeoutMs or as soon as the work is no longer wanted; nullptr then.
  virtual std::unique_ptr<NetConnection> Connect(const std::string& host, std::uint16_t port,
                                                 int timeoutMs, const StillWanted& wanted) = 0;

  // ---- Files ----

  // Size in bytes of the file; -1 when there is none.
  virtual std::int64_t FileSize(const std::string& path) = 0;
  // Opens the file for writing (created when missing, others may read it),
  // cut at the offset and positioned there; nullptr when it cannot be.
  virtual std::unique_ptr<DownloadFile> OpenForWritingAt(const std::string& path,
                                                         std::uint64_t offset) = 0;
  // Names of the plain files (not folders) directly in the folder.
  virtual std::vector<std::string> FilesIn(const std::string& folder) = 0;
  // Paths relative to the folder of every file at any depth below it, in
  // the order of a depth-first walk (a folder's subfolders before its own
  // files).
  virtual std::vector<std::string> FilesBelow(const std::string& folder) = 0;
  // Moves the file; false when it could not, and always when something is
  // at the destination already.
  virtual bool MoveFileTo(const std::string& from, const std::string& to) = 0;
  // Copies the file; false when it could not, and always when something is
  // at the destination already.
  virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
  // Removes the folder when it is empty; false otherwise.
  virtual bool RemoveEmptyFolder(const std::string& folder) = 0;
  // Creates an empty file (replacing any file there).
  virtual bool CreateEmptyFile(const std::string& path) = 0;

  // ---- The archive library ----

  // Extracts the 7z archive into the destination folder (which ends with a
  // backslash) through the library's ExtractArchive; the callback gets the
  // file being written and the bytes done of the total, and stops the
  // extraction by answering false. Runs the callback on the calling thread.
  using ExtractProgress =
      std::function<bool(const std::string& file, std::uint64_t done, std::uint64_t total)>;
  virtual bool ExtractArchive(const std::string& archive, const std::string& destination,
                              const ExtractProgress& progress) = 0;

  // Posts an empty message to the window (nothing for 0), so that a message
  // loop waiting on its thread turns.
  virtual void Wake(std::intptr_t window) = 0;
};

}  // namespace tavrel
