// libFuzzer harness for tvl's PPMd decoder on its own: the first bytes of the input choose the
// model (order 2..64, memory 2 KiB..1 MiB) and the output size, the rest is the packed stream.
// Every input must decode or fail with ArchiveError, never crash, hang or return more than asked.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/lzma_decoder.h"
#include "tvl/core/ppmd_decoder.h"
#include "tvl/core/status.h"

namespace {

// Hands out the packed bytes in pieces of a size taken from the input, to move refills around.
class PieceStream final : public tvl::InStream {
 public:
  PieceStream(std::span<const std::uint8_t> data, std::size_t piece) : data_(data), piece_(piece) {}
  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t n = std::min({out.size(), piece_, data_.size() - pos_});
    if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

}  // namespace

// Input: order byte, memory byte, two bytes of memory fraction, two bytes of output size
// (0xFFFF: unknown, up to the end marker), a piece-size byte, then the packed stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 7) return 0;
  const std::uint8_t order = static_cast<std::uint8_t>(2 + data[0] % 63);
  const unsigned shift = 11 + data[1] % 10;
  const std::uint32_t fraction =
      (std::uint32_t{data[2]} | std::uint32_t{data[3]} << 8) & ((1u << shift) - 1);
  const std::uint32_t memory = (1u << shift) | fraction;
  const std::uint32_t size_field = std::uint32_t{data[4]} | std::uint32_t{data[5]} << 8;
  const std::uint64_t unpack_size = size_field == 0xFFFF ? tvl::kUnknownUnpackSize : size_field;
  const std::size_t piece = data[6] == 0 ? 1 << 20 : data[6];
  const std::uint8_t properties[5] = {
      order, static_cast<std::uint8_t>(memory), static_cast<std::uint8_t>(memory >> 8),
      static_cast<std::uint8_t>(memory >> 16), static_cast<std::uint8_t>(memory >> 24)};
  try {
    auto decoder =
        tvl::MakePpmdDecoder(properties, unpack_size,
                             std::make_unique<PieceStream>(std::span(data + 7, size - 7), piece));
    std::vector<std::byte> out(1 + data[6] % 200);
    std::uint64_t total = 0;
    for (;;) {
      const std::size_t got = decoder->Read(out);
      if (got > out.size()) std::abort();
      if (got == 0) break;
      total += got;
      if (total > unpack_size) std::abort();
      // Without a known size, very probable symbols can take a few thousandths of a bit each,
      // so even 4 KB of input may stand for millions of bytes: stop reading after 1 MiB.
      if (unpack_size == tvl::kUnknownUnpackSize && total > 1u << 20) return 0;
    }
    if (unpack_size != tvl::kUnknownUnpackSize && total != unpack_size) std::abort();
  } catch (const tvl::ArchiveError&) {
  }
  return 0;
}
