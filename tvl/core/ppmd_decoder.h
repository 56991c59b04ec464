// PPMd (variant H, with the range coder 7z archives use) as a pull stream over the packed input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "tvl/core/byte_source.h"

namespace tvl {

inline constexpr unsigned kPpmdMinOrder = 2;
inline constexpr unsigned kPpmdMaxOrder = 64;
inline constexpr std::uint32_t kPpmdMinMemory = 1u << 11;

// The model memory that PPMd properties (order, then the memory size as a little-endian UInt32)
// declare; nullopt when they are malformed or out of range. The decoder allocates exactly this
// much (plus a few bytes), whatever the size of its output.
std::optional<std::uint32_t> PpmdMemorySize(std::span<const std::uint8_t> properties);

// PPMd with its 5 property bytes. Throws ArchiveError: kUnsupported for a model memory above
// kMaxDictionarySize, kCorrupt for malformed properties or data.
//
// With a known `unpack_size` the stream is exactly that many bytes, and an end marker before
// them is corrupt data. With kUnknownUnpackSize it ends at its end marker. Either way, packed
// input that ends before the last symbol is whole is corrupt data.
std::unique_ptr<InStream> MakePpmdDecoder(std::span<const std::uint8_t> properties,
                                          std::uint64_t unpack_size,
                                          std::unique_ptr<InStream> input);

}  // namespace tvl
