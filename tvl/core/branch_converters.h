// Branch converters for the instruction sets other than x86: the encoder turned the relative
// targets of calls (and for some, address loads) into absolute ones, so that repeated calls to
// one function compress well. Each converter undoes that as a pull stream.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "tvl/core/byte_source.h"

namespace tvl {

enum class BranchArchitecture { kArm, kArmThumb, kArm64, kPowerPc, kSparc, kIa64, kRiscV };

// Properties are empty, or a little-endian 32-bit start offset (the address of the stream's first
// byte) that is a multiple of the instruction alignment.
bool BranchPropertiesValid(BranchArchitecture architecture,
                           std::span<const std::uint8_t> properties);

std::unique_ptr<InStream> MakeBranchConverter(BranchArchitecture architecture,
                                              std::span<const std::uint8_t> properties,
                                              std::unique_ptr<InStream> input);

}  // namespace tvl
