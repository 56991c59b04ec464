// CRC-32 (IEEE 802.3, reflected, as used by 7z and zip) over byte spans, incrementally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tvl {

class Crc32 {
 public:
  void Update(std::span<const std::byte> data);
  void Update(std::span<const std::uint8_t> data) { Update(std::as_bytes(data)); }
  std::uint32_t Value() const { return ~state_; }

  static std::uint32_t Of(std::span<const std::byte> data) {
    Crc32 crc;
    crc.Update(data);
    return crc.Value();
  }
  static std::uint32_t Of(std::span<const std::uint8_t> data) { return Of(std::as_bytes(data)); }

 private:
  std::uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace tvl
