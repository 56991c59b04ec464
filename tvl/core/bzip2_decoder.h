// BZip2 decoding as a pull stream over the packed input.
#pragma once

#include <cstdint>
#include <memory>

#include "tvl/core/byte_source.h"

namespace tvl {

// The most memory the decoder holds for a stream whose output is `unpack_size` bytes (or
// kUnknownUnpackSize): two blocks of the largest size the format allows, each no larger than
// the output can come from.
std::uint64_t Bzip2DecoderMemory(std::uint64_t unpack_size);

// One or more concatenated bzip2 streams. Every block's CRC and every stream's combined CRC is
// checked; a mismatch, a block larger than its stream's level allows or any other damage throws
// ArchiveError (kCorrupt). With a known `unpack_size` decoding stops after that many bytes,
// once the trailer of the stream they end in has been checked; more data in that stream is an
// error. With kUnknownUnpackSize the output ends where the input ends after a whole stream.
//
// For outputs from 1 MiB up (or of unknown size), a second thread reads and Huffman-decodes the
// next block while Read finishes the current one; the thread ends with the decoder object, and
// its errors are thrown from Read. An error thrown once is thrown by every later Read.
std::unique_ptr<InStream> MakeBzip2Decoder(std::uint64_t unpack_size,
                                           std::unique_ptr<InStream> input);

}  // namespace tvl
