// Extraction of a whole 7z archive into a sink. The sink owns the file system; this side owns
// the order of things: read the directory, check every name and coder, and only then write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "tvl/core/byte_source.h"
#include "tvl/core/status.h"

namespace tvl {

// What the archive records about a file besides its bytes.
struct FileInfo {
  std::optional<std::uint32_t> attributes;  // Windows FILE_ATTRIBUTE_* bits, as stored
  std::optional<std::uint64_t> mtime;       // FILETIME: 100 ns units since 1601
};

// One output file. Bytes go to a temporary place; Commit() moves them under the final name.
// Destroying an uncommitted writer must remove what was written.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  [[nodiscard]] virtual bool Write(std::span<const std::byte> data) = 0;
  // Called once before Commit(); a sink applies what its file system can hold, and a detail it
  // cannot apply does not fail the file.
  virtual void SetInfo(const FileInfo& /*info*/) {}
  [[nodiscard]] virtual bool Commit() = 0;
};

// Paths handed to a sink are already validated: relative, UTF-8, components joined by '\',
// free of "..", drive letters, streams and device names.
class ExtractSink {
 public:
  virtual ~ExtractSink() = default;
  // Called once, after the archive has passed every check and before anything else.
  [[nodiscard]] virtual bool PrepareRoot() = 0;
  // Parents are always created (by an earlier call) first. An existing folder is success.
  [[nodiscard]] virtual bool CreateFolder(std::string_view path) = 0;
  // Null when the file cannot be started.
  virtual std::unique_ptr<FileWriter> BeginFile(std::string_view path) = 0;
};

// Told the file being written and the bytes written so far out of the total of all files;
// false stops the extraction. `done` never decreases and ends equal to `total`.
using ProgressFn =
    std::function<bool(std::string_view path, std::uint64_t done, std::uint64_t total)>;

// Never throws. On failure, files already committed stay, the one in progress is discarded.
Status ExtractArchive(ByteSource& source, ExtractSink& sink, const ProgressFn& progress = {});

// Size of the buffer file data is streamed through.
inline constexpr std::size_t kCopyBufferSize = 64 * 1024;

}  // namespace tvl
