#include "engine/core/movie_frame.h"

#include <algorithm>

namespace tavrel {

namespace {

// Reads bit fields, most significant bit first, and remembers running out.
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint32_t Read(unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
      const std::size_t byte = position_ / 8;
      if (byte >= bytes_.size()) {
        exhausted_ = true;
        return 0;
      }
      const unsigned shift = 7 - static_cast<unsigned>(position_ % 8);
      value = (value << 1) | ((bytes_[byte] >> shift) & 1U);
      ++position_;
    }
    return value;
  }
  bool Exhausted() const { return exhausted_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool exhausted_ = false;
};

constexpr int kTwipsPerPixel = 20;

}  // namespace

std::optional<MovieFrameSize> FrameSizeFromRect(std::span<const std::uint8_t> rect) {
  BitReader bits(rect);
  const unsigned count = bits.Read(5);
  bits.Read(count);  // Xmin
  const std::uint32_t xMax = bits.Read(count);
  bits.Read(count);  // Ymin
  const std::uint32_t yMax = bits.Read(count);
  if (bits.Exhausted()) return std::nullopt;
  // At most 31 bits each, so the quotients fit an int.
  return MovieFrameSize{static_cast<int>(xMax / kTwipsPerPixel),
                        static_cast<int>(yMax / kTwipsPerPixel)};
}

std::optional<MovieFrameSize> MovieFrameSizeFromHead(std::span<const std::uint8_t> head) {
  if (head.size() <= kMovieRectOffset) return std::nullopt;
  if (head[0] != 'F' || head[1] != 'W' || head[2] != 'S') return std::nullopt;
  const std::span<const std::uint8_t> rect = head.subspan(kMovieRectOffset);
  return FrameSizeFromRect(rect.first(std::min(rect.size(), kMovieRectBytes)));
}

}  // namespace tavrel
