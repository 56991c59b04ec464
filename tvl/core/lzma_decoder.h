// LZMA and LZMA2 decoding as pull streams over the packed input.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>

#include "tvl/core/byte_source.h"

namespace tvl {

// The largest dictionary a 32-bit process is asked to hold; larger ones are refused.
inline constexpr std::uint32_t kMaxDictionarySize = 256u << 20;
// Passed as the unpack size when the caller does not know how much the stream decodes to.
inline constexpr std::uint64_t kUnknownUnpackSize = ~std::uint64_t{0};

// LZMA with its 5 property bytes (lc/lp/pb and dictionary size). Throws ArchiveError.
//
// With a known `unpack_size` the stream ends after that many bytes (an end marker there is not
// needed) and the dictionary is no larger than that. With kUnknownUnpackSize the stream ends at
// its end marker, or where the packed input runs out cleanly after a complete symbol; a reader
// that knows the size from elsewhere simply stops reading.
std::unique_ptr<InStream> MakeLzmaDecoder(std::span<const std::uint8_t> properties,
                                          std::uint64_t unpack_size,
                                          std::unique_ptr<InStream> input);
// LZMA2 with its 1 property byte (dictionary size). The stream ends at its end chunk; a known
// `unpack_size` only keeps the dictionary from growing past what that output needs (a reader
// must then not ask for more).
std::unique_ptr<InStream> MakeLzma2Decoder(std::span<const std::uint8_t> properties,
                                           std::uint64_t unpack_size,
                                           std::unique_ptr<InStream> input);
inline std::unique_ptr<InStream> MakeLzma2Decoder(std::span<const std::uint8_t> properties,
                                                  std::unique_ptr<InStream> input) {
  return MakeLzma2Decoder(properties, kUnknownUnpackSize, std::move(input));
}

}  // namespace tvl
