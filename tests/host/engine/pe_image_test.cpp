#include "engine/core/pe_image.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrel {
namespace {

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// MZ stub, PE signature at 0x80, and a section table after a 224-byte
// optional header whose declared size says something else.
std::vector<std::uint8_t> Headers(
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& sections) {
  std::vector<std::uint8_t> bytes(0x80 + 24 + 224 + 40 * sections.size(), 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, 0x80);
  Put32(bytes, 0x80, 0x00004550);
  bytes[0x80 + 6] = static_cast<std::uint8_t>(sections.size());
  bytes[0x80 + 4 + 16] = 240;  // declared optional header size: ignored
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t header = 0x80 + 24 + 224 + 40 * i;
    Put32(bytes, header + 16, sections[i].second);  // raw size
    Put32(bytes, header + 20, sections[i].first);   // raw offset
  }
  return bytes;
}

TEST(PeImage, ImageEndIsTheFurthestRawSection) {
  EXPECT_EQ(ImageEnd(Headers({{0x400, 0x1000}, {0x1400, 0x200}, {0x200, 0x100}})), 0x1600u);
  EXPECT_EQ(ImageEnd(Headers({{0x400, 0}})), 0x400u);
  EXPECT_EQ(ImageEnd(Headers({})), 0u);
  // Offset + size past 4 GiB is not wrapped round.
  EXPECT_EQ(ImageEnd(Headers({{0xFFFFFF00u, 0x200}})), 0x100000100ull);
}

TEST(PeImage, DamagedHeadersGiveNoAnswer) {
  auto bytes = Headers({{0x400, 0x1000}});
  EXPECT_FALSE(ImageEnd(std::span(bytes).first(bytes.size() - 20)));
  auto noSignature = bytes;
  noSignature[0x81] = 'X';
  EXPECT_FALSE(ImageEnd(noSignature));
  auto farAway = bytes;
  Put32(farAway, 0x3C, 0xFFFFFFF0u);
  EXPECT_FALSE(ImageEnd(farAway));
  EXPECT_FALSE(ImageEnd({}));
}

}  // namespace
}  // namespace tavrel
