#include "engine/core/pe_image.h"

#include <algorithm>

namespace tavrel {

namespace {

std::optional<std::uint32_t> Read32(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  if (offset + 4 > bytes.size()) return std::nullopt;
  const auto at = bytes.subspan(static_cast<std::size_t>(offset), 4);
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

std::optional<std::uint16_t> Read16(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  if (offset + 2 > bytes.size()) return std::nullopt;
  const auto at = bytes.subspan(static_cast<std::size_t>(offset), 2);
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;

}  // namespace

std::optional<std::uint64_t> ImageEnd(std::span<const std::uint8_t> headers,
                                      std::uint32_t optionalHeaderSize) {
  if (headers.size() < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return std::nullopt;
  const auto peOffset = Read32(headers, 0x3C);
  if (!peOffset || Read32(headers, *peOffset) != kPeSignature) return std::nullopt;
  const auto sectionCount = Read16(headers, std::uint64_t{*peOffset} + 4 + 2);
  if (!sectionCount) return std::nullopt;
  const std::uint64_t table = std::uint64_t{*peOffset} + 4 + kFileHeaderSize + optionalHeaderSize;
  std::uint64_t end = 0;
  for (std::uint64_t i = 0; i < *sectionCount; ++i) {
    const std::uint64_t section = table + i * kSectionHeaderSize;
    const auto rawSize = Read32(headers, section + 16);
    const auto rawOffset = Read32(headers, section + 20);
    if (!rawSize || !rawOffset) return std::nullopt;
    end = std::max(end, std::uint64_t{*rawOffset} + *rawSize);
  }
  return end;
}

}  // namespace tavrel
