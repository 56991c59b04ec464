// Fuzzes the frame-size reader of Flash movies: the input is a file's first
// bytes. A size may only come from an uncompressed movie whose rectangle
// lies wholly inside the bytes given, must not be negative or larger than
// 31 bits of twips allow, and must not change when the file goes on after
// the rectangle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/core/movie_frame.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tavrel::kMovieRectBytes;
  using tavrel::kMovieRectOffset;
  const std::span<const std::uint8_t> head(data, size);
  const auto found = tavrel::MovieFrameSizeFromHead(head);
  if (!found) return 0;

  Check(size > kMovieRectOffset && data[0] == 'F' && data[1] == 'W' && data[2] == 'S');
  const unsigned count = data[kMovieRectOffset] >> 3;
  const std::size_t needed = (5 + 4 * static_cast<std::size_t>(count) + 7) / 8;
  Check(size - kMovieRectOffset >= needed);
  constexpr int kLargest = 0x7FFFFFFF / 20;
  Check(found->width >= 0 && found->width <= kLargest);
  Check(found->height >= 0 && found->height <= kLargest);
  if (count == 0) Check(found->width == 0 && found->height == 0);

  // Only the rectangle's bytes count.
  const auto rectOnly = tavrel::FrameSizeFromRect(head.subspan(kMovieRectOffset, needed));
  Check(rectOnly == found);
  std::vector<std::uint8_t> longer(data, data + size);
  longer.resize(kMovieRectOffset + kMovieRectBytes + 8, 0xA5);
  Check(tavrel::MovieFrameSizeFromHead(longer) == found);
  return 0;
}
