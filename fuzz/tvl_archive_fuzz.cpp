// libFuzzer harness for tvl's 7z reader: whole extractions from memory into a sink that checks
// what it is handed and throws it away, plus every folder's decoder chain read on its own.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/crc32.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/sevenzip_decoder.h"

namespace {

// Whatever reaches a sink must already be a safe relative path.
void CheckPath(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') std::abort();
  if (path.find_first_of("/:") != std::string_view::npos) std::abort();
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    const auto component = path.substr(start, end - start);
    if (component.find_first_not_of(". ") == std::string_view::npos) std::abort();
    start = end + 1;
  }
}

class DiscardWriter final : public tvl::FileWriter {
 public:
  bool Write(std::span<const std::byte> data) override {
    if (data.empty() || data.size() > tvl::kCopyBufferSize) std::abort();
    return true;
  }
  bool Commit() override { return true; }
};

class DiscardSink final : public tvl::ExtractSink {
 public:
  bool PrepareRoot() override {
    if (prepared_) std::abort();
    prepared_ = true;
    return true;
  }
  bool CreateFolder(std::string_view path) override {
    if (!prepared_) std::abort();
    CheckPath(path);
    return true;
  }
  std::unique_ptr<tvl::FileWriter> BeginFile(std::string_view path) override {
    if (!prepared_) std::abort();
    CheckPath(path);
    return std::make_unique<DiscardWriter>();
  }

 private:
  bool prepared_ = false;
};

// Reads a folder through its coder chain, whether or not extraction would accept the chain.
void DrainFolders(std::span<const std::uint8_t> data) {
  tvl::MemoryByteSource source(data);
  tvl::sevenzip::Archive archive;
  if (!tvl::sevenzip::ReadArchive(source, archive).ok()) return;
  std::vector<std::byte> buffer(4096);
  for (std::size_t f = 0; f < archive.folders.size(); ++f) {
    try {
      const auto stream = tvl::sevenzip::OpenFolder(source, archive, f);
      std::uint64_t total = 0;
      while (const std::size_t got = stream->Read(buffer)) {
        if (got > buffer.size()) std::abort();
        total += got;
        if (total > (1u << 20)) break;
      }
    } catch (const tvl::ArchiveError&) {
    }
  }
}

// Almost every mutation of a header breaks its CRC, which would keep the fuzzer at the door; a
// second pass on a copy with both CRCs made right lets mutations reach the parser.
std::vector<std::uint8_t> WithFixedCrcs(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out(data.begin(), data.end());
  if (out.size() < 32) return out;
  const auto load64 = [&](std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 8; i-- > 0;) v = v << 8 | out[at + i];
    return v;
  };
  const auto store32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const std::uint64_t offset = load64(12);
  const std::uint64_t size = load64(20);
  const std::uint64_t room = out.size() - 32;
  if (offset <= room && size <= room - offset) {
    store32(28, tvl::Crc32::Of(std::span<const std::uint8_t>(out).subspan(
                    static_cast<std::size_t>(32 + offset), static_cast<std::size_t>(size))));
  }
  store32(8, tvl::Crc32::Of(std::span<const std::uint8_t>(out).subspan(12, 20)));
  return out;
}

void Extract(std::span<const std::uint8_t> bytes) {
  tvl::MemoryByteSource source(bytes);
  DiscardSink sink;
  std::uint64_t last = 0;
  const tvl::Status status = tvl::ExtractArchive(
      source, sink, [&](std::string_view, std::uint64_t done, std::uint64_t total) {
        if (done < last || done > total) std::abort();
        last = done;
        return true;
      });
  if (status.code() == tvl::ErrorCode::kInternal) std::abort();
  DrainFolders(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  Extract(bytes);
  Extract(WithFixedCrcs(bytes));
  return 0;
}
