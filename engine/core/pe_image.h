// Where a program image ends inside its file. Everything behind that point
// is overlay data: the compiled setup script behind the engine, the language
// file behind tvl.dll.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tavrel {

// The 32-bit optional header's size. The section table is found by this
// fixed size; the size the header declares for itself is not consulted.
inline constexpr std::uint32_t kOptionalHeader32Size = 224;

// Largest raw-data offset + raw-data size over the section headers, read
// from the image headers (as mapped in memory or as they start the file).
// Empty when the bytes do not hold PE headers or the table runs past them.
std::optional<std::uint64_t> ImageEnd(std::span<const std::uint8_t> headers,
                                      std::uint32_t optionalHeaderSize = kOptionalHeader32Size);

}  // namespace tavrel
