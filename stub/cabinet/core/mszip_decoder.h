// MSZIP: each data block is "CK" followed by a complete deflate stream whose back references may
// reach into the previous blocks of the same folder (up to 32 KB back).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "stub/cabinet/core/cabinet_format.h"

namespace cab {

// A canonical prefix code as deflate uses them, decoded through a lookup of the first kFastBits
// bits (most codes of real streams are that short) with a walk over the longer lengths.
class PrefixCode {
 public:
  static constexpr unsigned kFastBits = 10;
  static constexpr unsigned kMaxLength = 15;
  static constexpr std::size_t kMaxSymbols = 288;

  // Builds the code from the code lengths (0: symbol unused). Fails on an over-subscribed set,
  // and on an incomplete one unless `allowIncomplete` and it holds a single one-bit code (or,
  // for distances, no code at all).
  bool Build(std::span<const std::uint8_t> lengths, bool allowIncomplete);

  // Fast-table entry: symbol in bits 0..11, length in bits 12..15 (0: walk the code bit by bit).
  std::array<std::uint16_t, 1u << kFastBits> fast{};
  std::array<std::uint16_t, kMaxLength + 1> count{};
  std::array<std::uint16_t, kMaxSymbols> symbols{};
};

class MszipDecoder {
 public:
  static constexpr std::size_t kWindowSize = 32768;

  // Forgets the history: the next block starts a folder.
  void Reset() {
    history_ = 0;
    next_ = 0;
  }

  // Decodes one block into exactly `size` bytes (at most kWindowSize); `out` then views them
  // until the next call, or, when FollowsOn() held before the call, as long as the bytes of
  // the block before.
  Error DecodeBlock(std::span<const std::uint8_t> in, std::size_t size,
                    std::span<const std::uint8_t>& out);

  // Whether the next block will be written right behind the last one, leaving the blocks since
  // the last move of the history where they are: their views may then be joined into one.
  bool FollowsOn() const {
    return next_ + kWindowSize <= kBlocksPerMove * kWindowSize + kWindowSize;
  }

 private:
  // Blocks are written one behind the other into window_, from next_ on; once a block might not
  // fit any more, the last kWindowSize bytes (the history) move to the front. The slack behind
  // the end takes the few bytes that a match copied in whole words may write past its end.
  static constexpr std::size_t kBlocksPerMove = 8;
  static constexpr std::size_t kSlack = 8;
  std::array<std::uint8_t, (kBlocksPerMove + 1) * kWindowSize + kSlack> window_;
  std::size_t history_ = 0;  // bytes of the folder before next_ that matches may reach (capped)
  std::size_t next_ = 0;     // where the next block starts in window_
  PrefixCode literals_;
  PrefixCode distances_;
  PrefixCode lengthsCode_;
};

}  // namespace cab
