// The frame size of a Flash movie, read from the start of its file: the
// rectangle that follows the signature, version and length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavrel {

struct MovieFrameSize {
  int width = 0;
  int height = 0;
  bool operator==(const MovieFrameSize&) const = default;
};

// Where the rectangle lies in the file and how many bytes can hold it.
inline constexpr std::size_t kMovieRectOffset = 8;
inline constexpr std::size_t kMovieRectBytes = 17;

// The rectangle's bytes: a 5-bit field width n, then Xmin, Xmax, Ymin and
// Ymax of n bits each, most significant bit first, in twentieths of a pixel.
// Width is Xmax / 20, height Ymax / 20. nullopt when the bytes end before the
// four fields do.
std::optional<MovieFrameSize> FrameSizeFromRect(std::span<const std::uint8_t> rect);

// The file's first bytes (up to kMovieRectOffset + kMovieRectBytes of them).
// Only an uncompressed movie ("FWS") gives a size: a compressed one ("CWS",
// zlib, or "ZWS", LZMA) keeps its rectangle inside the packed data, which is
// not unpacked for this, and a file without a movie's signature has none.
std::optional<MovieFrameSize> MovieFrameSizeFromHead(std::span<const std::uint8_t> head);

}  // namespace tavrel
