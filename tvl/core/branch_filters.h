// Filters that 7z puts in front of the compressor: the x86 branch converters
// BCJ and BCJ2, and Delta.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/byte_source.h"

namespace tvl {

std::unique_ptr<InStream> MakeBcjDecoder(std::unique_ptr<InStream> input);
// BCJ2's four inputs in coder order: main, call, jump, range-coded selector.
std::unique_ptr<InStream> MakeBcj2Decoder(std::vector<std::unique_ptr<InStream>> inputs);
std::unique_ptr<InStream> MakeDeltaDecoder(std::span<const std::uint8_t> properties,
                                           std::unique_ptr<InStream> input);

}  // namespace tvl
