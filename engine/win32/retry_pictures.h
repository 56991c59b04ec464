// The pictures of the web media retry dialogs, drawn by the engine itself:
// a globe with a downward arrow for the download questions, a page with a
// downward arrow for the extraction question. Designed on a 24-pixel grid
// and drawn at any size, with edges smoothed by sampling each pixel 16
// times; straight edges of the design lie on whole pixels at 24, so the
// picture stays sharp at the size it was made for. Plain C++: the caller
// turns the pixels into a bitmap.
#pragma once

#include <cstdint>
#include <vector>

namespace tavrel {

enum class RetryPicture { kDownload, kExtraction };

struct PictureColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;

  bool operator==(const PictureColor&) const = default;
};

// size×size pixels, row by row from the top, over the background colour.
// A size below 1 gives no pixels.
std::vector<PictureColor> DrawRetryPicture(RetryPicture picture, int size, PictureColor background);

}  // namespace tavrel
