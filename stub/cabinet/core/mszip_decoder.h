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
// bits with a bit-by-bit walk for the longer codes.
class PrefixCode {
 public:
  static constexpr unsigned kFastBits = 9;
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
  void Reset() { history_ = 0; }

  // Decodes one block into exactly `size` bytes (at most kWindowSize); `out` then views them
  // until the next call.
  Error DecodeBlock(std::span<const std::uint8_t> in, std::size_t size,
                    std::span<const std::uint8_t>& out);

 private:
  // window_[0, kWindowSize) holds the history, the block is written behind it.
  std::array<std::uint8_t, 2 * kWindowSize> window_;
  std::size_t history_ = 0;
  PrefixCode literals_;
  PrefixCode distances_;
  PrefixCode lengthsCode_;
};

}  // namespace cab
