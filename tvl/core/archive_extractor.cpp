// The extraction driver: everything that can be known to fail from the directory alone fails
// before the sink is touched, and file data is streamed through one fixed buffer.
#include "tvl/core/archive_extractor.h"

#include <algorithm>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "tvl/core/archive_path.h"
#include "tvl/core/crc32.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/sevenzip_decoder.h"

namespace tvl {
namespace {

using sevenzip::Archive;
using sevenzip::Entry;

std::string Hex32(std::uint32_t v) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kHex[v & 15];
  return out;
}

// Validated paths for every entry, in entry order, plus the byte total for progress.
struct Plan {
  std::vector<std::string> paths;
  std::uint64_t total = 0;
};

Plan MakePlan(const Archive& archive) {
  Plan plan;
  plan.paths.reserve(archive.entries.size());
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    const Entry& entry = archive.entries[i];
    SafePath safe = ValidateEntryName(entry.name);
    if (!safe.ok()) {
      const auto shown = Utf16ToUtf8(entry.name);
      Fail(ErrorCode::kBadName, "entry " + std::to_string(i) + " (" + shown.value_or("?") +
                                    "): " + Describe(safe.problem));
    }
    // Update archives mark deletions this way; an installer payload has no business deleting.
    if (entry.is_anti) Fail(ErrorCode::kUnsupported, "entry that deletes a file: " + safe.path);
    // The destination folder itself (".", "./"): it exists once extraction starts, so the entry
    // is skipped. Content under that name could go nowhere.
    if (safe.path.empty() && !entry.is_dir && entry.has_stream) {
      Fail(ErrorCode::kBadName, "entry " + std::to_string(i) + " names the destination folder");
    }
    plan.paths.push_back(std::move(safe.path));
    if (entry.has_stream) {
      if (entry.size > UINT64_MAX - plan.total) Fail(ErrorCode::kCorrupt, "file sizes overflow");
      plan.total += entry.size;
    }
  }
  for (const auto& folder : archive.folders) {
    if (folder.num_substreams == 0) continue;
    if (const Status s = sevenzip::CheckFolderSupported(folder); !s.ok()) throw ArchiveError(s);
  }
  return plan;
}

class Extraction {
 public:
  Extraction(ByteSource& source, ExtractSink& sink, const ProgressFn& progress,
             const Archive& archive, Plan plan)
      : source_(source),
        sink_(sink),
        progress_(progress),
        archive_(archive),
        plan_(std::move(plan)) {}

  void Run() {
    if (!sink_.PrepareRoot()) Fail(ErrorCode::kWriteFailed, "cannot create the destination folder");
    for (std::size_t i = 0; i < archive_.entries.size(); ++i) {
      const std::string& path = plan_.paths[i];
      if (path.empty()) continue;
      for (std::size_t sep = path.find('\\'); sep != std::string::npos;
           sep = path.find('\\', sep + 1)) {
        MakeFolder(path.substr(0, sep));
      }
      if (archive_.entries[i].is_dir) MakeFolder(path);
    }
    for (std::size_t i = 0; i < archive_.entries.size(); ++i) {
      if (!archive_.entries[i].is_dir && !plan_.paths[i].empty()) {
        WriteFile(archive_.entries[i], plan_.paths[i]);
      }
    }
  }

 private:
  void MakeFolder(const std::string& path) {
    if (!made_.insert(path).second) return;
    if (!sink_.CreateFolder(path)) Fail(ErrorCode::kWriteFailed, "cannot create folder " + path);
  }

  void Report(const std::string& path) {
    if (progress_ && !progress_(path, done_, plan_.total)) {
      Fail(ErrorCode::kAborted, "stopped by the progress callback");
    }
  }

  void WriteFile(const Entry& entry, const std::string& path) {
    Report(path);
    const auto writer = sink_.BeginFile(path);
    if (!writer) Fail(ErrorCode::kWriteFailed, "cannot create file " + path);
    if (entry.has_stream) CopyData(entry, path, *writer);
    writer->SetInfo({entry.attributes, entry.mtime});
    if (!writer->Commit()) Fail(ErrorCode::kWriteFailed, "cannot finish file " + path);
  }

  void CopyData(const Entry& entry, const std::string& path, FileWriter& writer) {
    if (!stream_ || entry.folder != folder_index_) {
      // Entries take the folders' files in order, so a new folder means the old one is done.
      folder_index_ = entry.folder;
      stream_.reset();  // its dictionary goes before the next one is allocated
      // Decompression runs ahead in a thread of its own while this one checksums and writes.
      stream_ = sevenzip::OpenFolder(source_, archive_, folder_index_, /*decode_ahead=*/true);
      folder_crc_ = Crc32();
      left_in_folder_ = archive_.folders[folder_index_].num_substreams;
    }
    Crc32 crc;
    // Checksums are only worked out where the archive stored one to compare with.
    const auto& current = archive_.folders[folder_index_];
    const bool check_entry = entry.crc.has_value();
    const bool check_folder = current.num_substreams > 1 && current.crc.has_value();
    std::uint64_t left = entry.size;
    while (left > 0) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size()));
      const std::size_t got = stream_->Read(std::span(buffer_).first(want));
      if (got == 0) Fail(ErrorCode::kCorrupt, "data ends early in " + path);
      const auto chunk = std::span<const std::byte>(buffer_).first(got);
      if (check_entry) crc.Update(chunk);
      if (check_folder) folder_crc_.Update(chunk);
      if (!writer.Write(chunk)) Fail(ErrorCode::kWriteFailed, "cannot write file " + path);
      left -= got;
      done_ += got;
      Report(path);
    }
    if (entry.crc && crc.Value() != *entry.crc) {
      Fail(ErrorCode::kCorrupt, "CRC mismatch in " + path + " (stored " + Hex32(*entry.crc) +
                                    ", got " + Hex32(crc.Value()) + ")");
    }
    // The folder's own checksum, when it covers several files, is checked before the last of
    // them is committed.
    const auto& folder = archive_.folders[folder_index_];
    if (--left_in_folder_ == 0 && folder.num_substreams > 1 && folder.crc &&
        folder_crc_.Value() != *folder.crc) {
      Fail(ErrorCode::kCorrupt, "CRC mismatch in the folder holding " + path);
    }
  }

  ByteSource& source_;
  ExtractSink& sink_;
  const ProgressFn& progress_;
  const Archive& archive_;
  const Plan plan_;
  std::set<std::string> made_;
  std::vector<std::byte> buffer_ = std::vector<std::byte>(kCopyBufferSize);
  std::unique_ptr<InStream> stream_;
  std::size_t folder_index_ = 0;
  std::size_t left_in_folder_ = 0;
  Crc32 folder_crc_;
  std::uint64_t done_ = 0;
};

}  // namespace

Status ExtractArchive(ByteSource& source, ExtractSink& sink, const ProgressFn& progress) {
  try {
    Archive archive;
    if (Status s = sevenzip::ReadArchive(source, archive); !s.ok()) return s;
    Extraction(source, sink, progress, archive, MakePlan(archive)).Run();
    return {};
  } catch (const ArchiveError& e) {
    return e.status();
  } catch (const std::bad_alloc&) {
    return {ErrorCode::kOutOfMemory, "out of memory"};
  } catch (const std::exception& e) {
    return {ErrorCode::kInternal, e.what()};
  } catch (...) {
    return {ErrorCode::kInternal, "unexpected exception"};
  }
}

}  // namespace tvl
