// Shared helpers for the tvl host tests: scratch folders, the real 7z tool, sinks that record or
// write to disk, and a writer for hand-made 7z images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/byte_source.h"
#include "tvl/core/status.h"

namespace tvl::testing {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes ReadFileBytes(const fs::path& path);
void WriteFileBytes(const fs::path& path, std::string_view data);

// A fresh folder under the working directory, named after the running test, removed when the
// test passes (kept for a look when it fails).
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs `7z a <switches> archive` over everything inside `tree` and returns the archive bytes.
Bytes Make7z(const fs::path& tree, const fs::path& archive, std::string_view switches);

// Every file (with content) and folder (content "<dir>") below `root`, keyed by relative path.
std::map<std::string, std::string> Snapshot(const fs::path& root);

// Records everything an extraction does, in memory.
class MemorySink final : public ExtractSink {
 public:
  bool PrepareRoot() override;
  bool CreateFolder(std::string_view path) override;
  std::unique_ptr<FileWriter> BeginFile(std::string_view path) override;

  bool touched() const { return prepared || !folders.empty() || begun != 0; }

  bool prepared = false;
  std::vector<std::string> folders;
  std::map<std::string, std::string> files;  // committed only
  int begun = 0;
  int discarded = 0;
  std::string fail_path;  // BeginFile on this path fails
};

// Writes below a real folder with the same temporary-name-then-rename protocol as Windows.
class DiskSink final : public ExtractSink {
 public:
  explicit DiskSink(fs::path root) : root_(std::move(root)) {}
  bool PrepareRoot() override;
  bool CreateFolder(std::string_view path) override;
  std::unique_ptr<FileWriter> BeginFile(std::string_view path) override;

 private:
  fs::path Resolve(std::string_view path) const;
  fs::path root_;
};

// Pieces of a 7z header, for archives too odd for the real tool to write.
class HeaderWriter {
 public:
  HeaderWriter& Byte(std::uint8_t b);
  HeaderWriter& Number(std::uint64_t n);
  HeaderWriter& UInt32(std::uint32_t v);
  HeaderWriter& UInt64(std::uint64_t v);
  HeaderWriter& Raw(const Bytes& bytes);
  HeaderWriter& Name(std::u16string_view name);  // UTF-16LE plus terminator
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Signature header + packed data + header, with both CRCs right.
Bytes SealArchive(const Bytes& packed, const Bytes& header);
// Recomputes the CRCs after an existing archive has been patched (the header CRC only while
// the start header still points inside the archive).
void Reseal(Bytes& archive);

struct TestEntry {
  std::u16string name;
  enum Kind { kFile, kEmptyFile, kDir } kind = kFile;
  std::string data;
};

struct BuildOptions {
  bool solid = false;  // every file in one folder, as several substreams
  // Method ids of the folder's coder chain, first the one that produces the output.
  std::vector<Bytes> chain = {{0x00}};
  bool anti_empty_entries = false;
};

// A Copy archive in the layout 7-Zip writes: one folder per file, or one solid folder.
Bytes BuildArchive(const std::vector<TestEntry>& entries, const BuildOptions& options = {});

std::string RandomData(std::size_t size, std::uint32_t seed);

// Hands out its bytes no more than `piece` at a time, to move a decoder's refills around.
class PieceStream final : public InStream {
 public:
  explicit PieceStream(Bytes data, std::size_t piece = SIZE_MAX)
      : data_(std::move(data)), piece_(piece) {}
  std::size_t Read(std::span<std::byte> out) override;

 private:
  Bytes data_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

// Reads until the end, `piece` bytes per call (checking no read hands out more); stops quietly
// after `cap` bytes.
Bytes ReadAll(InStream& stream, std::size_t piece, std::size_t cap = SIZE_MAX);

// The error class `action` throws, kOk when it throws nothing.
ErrorCode ErrorOf(const std::function<void()>& action);

}  // namespace tvl::testing
