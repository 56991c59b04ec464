// Deflate and Deflate64 decoding as pull streams over the packed input (raw streams, without
// a zlib or gzip wrapper, as 7z stores them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tvl/core/byte_source.h"
#include "tvl/core/lzma_decoder.h"  // kUnknownUnpackSize

namespace tvl {

// What one decoder holds, whatever the archive says: the window with its output area, the input
// buffer and the code tables. Neither format has a parameter that changes it.
inline constexpr std::size_t kDeflateDecoderMemory = 1536 * 1024;

// Throws ArchiveError. With a known `unpack_size` the decoder hands out exactly that many bytes
// and stops there; data whose last block ends earlier is corrupt. With kUnknownUnpackSize
// the stream ends at the end of its last block. Input after that is not read.
std::unique_ptr<InStream> MakeDeflateDecoder(std::uint64_t unpack_size,
                                             std::unique_ptr<InStream> input);
// Deflate64: a 64 KiB window, length code 285 with 16 extra bits, and distance codes 30 and 31.
std::unique_ptr<InStream> MakeDeflate64Decoder(std::uint64_t unpack_size,
                                               std::unique_ptr<InStream> input);

}  // namespace tvl
