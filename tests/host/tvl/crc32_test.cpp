// CRC-32 against known values, and the sliced loop against the byte-wise definition at every
// alignment and split point.
#include "tvl/core/crc32.h"

#include <gtest/gtest.h>

#include <string>

#include "tvl_test_support.h"

namespace tvl {
namespace {

std::uint32_t Reference(std::string_view data) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char ch : data) {
    c ^= static_cast<std::uint8_t>(ch);
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

std::uint32_t Of(std::string_view s) {
  return Crc32::Of(std::as_bytes(std::span(s)));
}

TEST(Crc32, MatchesKnownValuesAndAnySplit) {
  EXPECT_EQ(Of(""), 0u);
  EXPECT_EQ(Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(Of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);

  const std::string data = testing::RandomData(301, 7);
  for (std::size_t offset = 0; offset < 9; ++offset) {
    for (std::size_t length = 0; length + offset <= 40; ++length) {
      const std::string_view part(data.data() + offset, length);
      ASSERT_EQ(Of(part), Reference(part)) << offset << "+" << length;
    }
  }
  const std::uint32_t whole = Of(data);
  for (std::size_t split = 0; split <= data.size(); ++split) {
    Crc32 crc;
    crc.Update(std::as_bytes(std::span(data).first(split)));
    crc.Update(std::as_bytes(std::span(data).subspan(split)));
    ASSERT_EQ(crc.Value(), whole) << split;
  }
}

}  // namespace
}  // namespace tvl
