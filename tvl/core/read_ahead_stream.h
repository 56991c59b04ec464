// A stream that decodes ahead of its reader in a thread of its own: while the caller checksums
// and writes one piece, the next ones are being decoded. Memory is a few fixed pieces.
#pragma once

#include <cstdint>
#include <memory>

#include "tvl/core/byte_source.h"

namespace tvl {

// Reads `inner` (which yields `size` bytes, or is read no further than that) ahead of the
// caller. Errors of `inner` reach the caller in order, after every byte decoded before them.
// Streams too short for a thread to pay off, and processes that cannot start one, get `inner`
// back as it is.
std::unique_ptr<InStream> MakeReadAheadStream(std::unique_ptr<InStream> inner, std::uint64_t size);

}  // namespace tvl
