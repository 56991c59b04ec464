// LZX: a folder is one LZX stream cut into frames of 32 KB of output, one frame per data block.
// Each block's bits start afresh (16-bit little-endian words, most significant bit first), while
// the window, the code lengths, the repeated offsets and the current LZX block carry over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "stub/cabinet/core/cabinet_format.h"

namespace cab {

// A canonical prefix code read most significant bit first, with codes of up to 16 bits: a lookup
// of the first kFastBits bits, then a walk over the longer lengths.
class LzxCode {
 public:
  static constexpr unsigned kFastBits = 10;
  static constexpr unsigned kMaxLength = 16;
  static constexpr std::size_t kMaxSymbols = 256 + 8 * 50;

  // Fails on an over-subscribed set of lengths; an incomplete one is kept (its missing codes
  // fail to decode).
  bool Build(std::span<const std::uint8_t> lengths);

  // Fast-table entry: symbol in bits 0..11, length in bits 12..15 (0: longer than kFastBits).
  std::array<std::uint16_t, 1u << kFastBits> fast{};
  std::array<std::uint16_t, kMaxLength + 1> count{};
  std::array<std::uint16_t, kMaxSymbols> symbols{};
};

class LzxDecoder {
 public:
  // Starts a folder with a window of 2^windowBits bytes (15..21). kOutOfMemory when the window
  // cannot be had.
  Error Reset(unsigned windowBits);

  // Decodes the next frame into exactly `size` bytes (at most kMaxBlockUncompressed); `out`
  // then views them until the next call.
  Error DecodeBlock(std::span<const std::uint8_t> in, std::size_t size,
                    std::span<const std::uint8_t>& out);

 private:
  class Bits;
  bool ReadLengths(Bits& bits, std::uint8_t* lengths, unsigned count);
  bool ReadBlockHeader(Bits& bits);

  std::unique_ptr<std::uint8_t[]> window_;
  std::size_t allocated_ = 0;  // window bytes held
  std::uint32_t windowSize_ = 0;
  unsigned slots_ = 0;
  std::uint64_t pos_ = 0;         // bytes decoded into the window since the folder began
  std::uint64_t frameStart_ = 0;  // folder offset of the next frame
  bool started_ = false;
  std::int32_t e8Size_ = 0;  // 0: no E8 translation
  bool e8_ = false;
  unsigned blockType_ = 0;
  std::uint32_t blockLeft_ = 0;
  bool blockOdd_ = false;
  std::uint32_t repeat_[3] = {1, 1, 1};
  std::array<std::uint8_t, LzxCode::kMaxSymbols> mainLengths_{};
  std::array<std::uint8_t, 249> lengthLengths_{};
  LzxCode main_, length_, aligned_, pretree_;
  std::array<std::uint8_t, kMaxBlockUncompressed> out_;
};

}  // namespace cab
