#include "engine/core/movie_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrel {
namespace {

// A movie file's first bytes: signature, version 6, a length, then rect.
std::vector<std::uint8_t> Head(const char* signature, std::vector<std::uint8_t> rect) {
  std::vector<std::uint8_t> head{static_cast<std::uint8_t>(signature[0]),
                                 static_cast<std::uint8_t>(signature[1]),
                                 static_cast<std::uint8_t>(signature[2]),
                                 6,
                                 0x40,
                                 0x02,
                                 0,
                                 0};
  head.insert(head.end(), rect.begin(), rect.end());
  return head;
}

TEST(MovieFrame, SizeFromTheHeadOfTheFile) {
  const std::vector<std::uint8_t> allOnes31(16, 0xFF);
  std::vector<std::uint8_t> extremes = allOnes31;
  extremes.push_back(0x80);  // the 129th bit, the last of Ymax
  struct Case {
    std::string name;
    std::vector<std::uint8_t> head;
    std::optional<MovieFrameSize> size;
  };
  const std::vector<Case> cases = {
      // The header a 550 x 400 movie is written with (n = 15), and the
      // bytes that follow it in the file (frame rate, frame count).
      {"550x400",
       Head("FWS", {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x18, 0x01, 0x00}),
       MovieFrameSize{550, 400}},
      {"800x600", Head("FWS", {0x78, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x17, 0x70, 0x00}),
       MovieFrameSize{800, 600}},
      // Every field 31 bits of ones: all 17 bytes are needed, and the
      // quotient of the largest value still fits.
      {"n=31 extremes", Head("FWS", extremes), MovieFrameSize{107374182, 107374182}},
      {"n=31, the last bit missing", Head("FWS", allOnes31), std::nullopt},
      // Xmin = 19, Xmax = 39, Ymax = 59 twips: the division truncates and Xmin does
      // not count.
      {"n=6, not whole pixels", Head("FWS", {0x32, 0x73, 0x81, 0xD8}), MovieFrameSize{1, 2}},
      {"n=0: four empty fields", Head("FWS", {0x00}), MovieFrameSize{0, 0}},
      {"n=15 cut after Xmax", Head("FWS", {0x78, 0x00, 0x05, 0x5F, 0x00}), std::nullopt},
      {"nothing after the length", Head("FWS", {}), std::nullopt},
      {"shorter than the signature", {'F', 'W'}, std::nullopt},
      {"zlib compressed", Head("CWS", {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}),
       std::nullopt},
      {"LZMA compressed", Head("ZWS", {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}),
       std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MovieFrameSizeFromHead(c.head), c.size) << c.name;
  }
}

}  // namespace
}  // namespace tavrel
