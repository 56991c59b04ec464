// Slice-by-8 CRC-32: installers checksum every byte they unpack, so the byte-at-a-time loop
// would show up in extraction time.
#include "tvl/core/crc32.h"

#include <array>

namespace tvl {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t i = 0; i < 256; ++i) {
    for (std::size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
  }
  return t;
}

constexpr Tables kTables = MakeTables();

std::uint32_t Byte(std::span<const std::byte> d, std::size_t i) {
  return std::to_integer<std::uint32_t>(d[i]);
}

}  // namespace

void Crc32::Update(std::span<const std::byte> data) {
  std::uint32_t c = state_;
  std::size_t i = 0;
  // Assembled byte by byte so the result does not depend on alignment or host byte order.
  for (; i + 8 <= data.size(); i += 8) {
    const std::uint32_t lo = c ^ (Byte(data, i) | Byte(data, i + 1) << 8 | Byte(data, i + 2) << 16 |
                                  Byte(data, i + 3) << 24);
    c = kTables[7][lo & 0xFFu] ^ kTables[6][(lo >> 8) & 0xFFu] ^ kTables[5][(lo >> 16) & 0xFFu] ^
        kTables[4][lo >> 24] ^ kTables[3][Byte(data, i + 4)] ^ kTables[2][Byte(data, i + 5)] ^
        kTables[1][Byte(data, i + 6)] ^ kTables[0][Byte(data, i + 7)];
  }
  for (; i < data.size(); ++i) c = kTables[0][(c ^ Byte(data, i)) & 0xFFu] ^ (c >> 8);
  state_ = c;
}

}  // namespace tvl
