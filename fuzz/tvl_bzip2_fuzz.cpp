// libFuzzer harness for tvl's BZip2 decoder, fed directly: the first three bytes give the unpack
// size (little-endian), the fourth how it is read (bit 0: size unknown; bits 1-2: read size), the
// rest is the stream. Sizes from 1 MiB up decode in two threads. Output past 4 MiB is not read:
// the decoder is dropped mid-stream instead.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/bzip2_decoder.h"
#include "tvl/core/lzma_decoder.h"
#include "tvl/core/status.h"

namespace {

class SpanStream final : public tvl::InStream {
 public:
  explicit SpanStream(std::span<const std::uint8_t> data) : data_(data) {}
  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t n = std::min(out.size(), data_.size() - pos_);
    if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const bool unknown = (data[3] & 1) != 0;
  const std::uint64_t unpack_size =
      unknown
          ? tvl::kUnknownUnpackSize
          : (std::uint64_t{data[0]} | std::uint64_t{data[1]} << 8 | std::uint64_t{data[2]} << 16);
  static constexpr std::size_t kPieces[] = {1, 7, 4096, 65536};
  std::vector<std::byte> buffer(kPieces[(data[3] >> 1) & 3]);
  const auto stream = std::span<const std::uint8_t>(data, size).subspan(4);
  try {
    const auto decoder = tvl::MakeBzip2Decoder(unpack_size, std::make_unique<SpanStream>(stream));
    std::uint64_t total = 0;
    while (const std::size_t got = decoder->Read(buffer)) {
      if (got > buffer.size()) std::abort();
      total += got;
      if (total > unpack_size) std::abort();
      if (total > (4u << 20)) break;
    }
  } catch (const tvl::ArchiveError& e) {
    if (e.status().code() != tvl::ErrorCode::kCorrupt &&
        e.status().code() != tvl::ErrorCode::kUnsupported) {
      std::abort();
    }
  }
  return 0;
}
