// libFuzzer harness for tvl's branch converters (ARM, ARM Thumb, ARM64, PowerPC, SPARC, IA-64,
// RISC-V) and BCJ: a converter must give back exactly as many bytes as it was fed, and the same
// bytes however its input arrives and however its output is asked for.
//
// Input: one byte choosing the converter, four bytes of start offset (aligned to the
// converter's instruction size), one byte seeding the read sizes, then the data.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/branch_converters.h"
#include "tvl/core/branch_filters.h"

namespace {

// Hands out `data` in reads whose sizes follow a small generator, so instructions straddle every
// possible boundary between reads.
class ChoppedStream final : public tvl::InStream {
 public:
  ChoppedStream(std::span<const std::uint8_t> data, std::uint32_t seed)
      : data_(data), state_(seed | 1u) {}
  std::size_t Read(std::span<std::byte> out) override {
    state_ = state_ * 1103515245u + 12345u;
    const std::size_t step = state_ == 0 ? out.size() : 1 + (state_ >> 16) % 23;
    const std::size_t n = std::min({out.size(), data_.size() - pos_, step});
    if (n != 0) std::memcpy(out.data(), data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::uint32_t state_;
};

std::unique_ptr<tvl::InStream> Make(std::uint8_t which, std::span<const std::uint8_t> properties,
                                    std::unique_ptr<tvl::InStream> input) {
  if (which % 8 == 7) return tvl::MakeBcjDecoder(std::move(input));
  return tvl::MakeBranchConverter(static_cast<tvl::BranchArchitecture>(which % 8), properties,
                                  std::move(input));
}

std::vector<std::uint8_t> Drain(tvl::InStream& stream, std::size_t max_read) {
  std::vector<std::uint8_t> out;
  std::vector<std::byte> buffer(max_read);
  for (std::size_t i = 0;; ++i) {
    const std::size_t want = 1 + (i * 7919) % max_read;
    const std::size_t got = stream.Read(std::span(buffer).first(want));
    if (got > want) std::abort();
    if (got == 0) return out;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
    out.insert(out.end(), bytes, bytes + got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t which = data[0];
  static constexpr std::uint32_t kAlignment[8] = {4, 2, 4, 4, 4, 16, 2, 1};
  std::uint32_t start = std::uint32_t{data[1]} | std::uint32_t{data[2]} << 8 |
                        std::uint32_t{data[3]} << 16 | std::uint32_t{data[4]} << 24;
  start -= start % kAlignment[which % 8];
  const std::uint8_t properties[4] = {
      static_cast<std::uint8_t>(start), static_cast<std::uint8_t>(start >> 8),
      static_cast<std::uint8_t>(start >> 16), static_cast<std::uint8_t>(start >> 24)};
  const std::uint32_t seed = data[5];
  const std::span<const std::uint8_t> payload(data + 6, size - 6);

  const auto whole = Make(which, properties, std::make_unique<ChoppedStream>(payload, 0));
  const auto first = Drain(*whole, 1 << 17);
  const auto chopped = Make(which, properties, std::make_unique<ChoppedStream>(payload, seed));
  const auto second = Drain(*chopped, 37);
  if (first.size() != payload.size() || first != second) std::abort();
  return 0;
}
