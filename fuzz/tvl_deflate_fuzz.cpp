// libFuzzer harness for tvl's Deflate and Deflate64 decoders, fed directly.
//
// Byte 0: bit 0 chooses Deflate64, bit 1 an unknown unpack size, bits 2-4 the size of the
// pieces the packed input is handed out in (kPieces below). Bytes 1-3: the unpack size (little
// endian). The rest: the packed stream. The stream is decoded twice, the input in pieces and
// all at once, and both runs must agree byte for byte and in their outcome; with a known size
// a run that ends without an error must have given exactly that many bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/deflate_decoder.h"
#include "tvl/core/status.h"

namespace {

constexpr std::size_t kMaxOutput = 16u << 20;

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

struct Outcome {
  std::vector<std::uint8_t> output;
  bool failed = false;
};

Outcome Run(bool deflate64, std::uint64_t size, std::span<const std::uint8_t> packed,
            std::size_t input_piece, std::size_t output_piece) {
  Outcome outcome;
  try {
    auto input = std::make_unique<PieceStream>(packed, input_piece);
    auto decoder = deflate64 ? tvl::MakeDeflate64Decoder(size, std::move(input))
                             : tvl::MakeDeflateDecoder(size, std::move(input));
    std::vector<std::byte> buffer(output_piece);
    for (;;) {
      const std::size_t got = decoder->Read(buffer);
      if (got == 0) break;
      if (got > buffer.size()) std::abort();
      const auto* p = reinterpret_cast<const std::uint8_t*>(buffer.data());
      outcome.output.insert(outcome.output.end(), p, p + got);
      if (outcome.output.size() > size) std::abort();
      // Deflate64 turns 30 bits into 64 KiB: a few kilobytes of input can ask for gigabytes.
      if (outcome.output.size() >= kMaxOutput) break;
    }
  } catch (const tvl::ArchiveError& e) {
    if (e.status().code() != tvl::ErrorCode::kCorrupt) std::abort();
    outcome.failed = true;
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const bool deflate64 = (data[0] & 1) != 0;
  const bool size_known = (data[0] & 2) == 0;
  // Pieces of 8 bytes and a little more let the decoder's input buffer end at every place of a
  // fast refill.
  static constexpr std::size_t kPieces[] = {SIZE_MAX, 1, 3, 7, 8, 9, 13, 100};
  const std::size_t piece = kPieces[(data[0] >> 2) & 7];
  const std::uint64_t unpack_size =
      size_known
          ? (std::uint64_t{data[1]} | std::uint64_t{data[2]} << 8 | std::uint64_t{data[3]} << 16)
          : tvl::kUnknownUnpackSize;
  const std::span<const std::uint8_t> packed(data + 4, size - 4);

  const Outcome whole = Run(deflate64, unpack_size, packed, SIZE_MAX, 1 << 16);
  const Outcome pieces =
      Run(deflate64, unpack_size, packed, piece, piece == SIZE_MAX ? 1000 : 4093);
  if (whole.failed != pieces.failed || whole.output != pieces.output) std::abort();
  if (size_known && !whole.failed && whole.output.size() != unpack_size) std::abort();
  return 0;
}
