#include "stub/cabinet/core/lzx_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace cab {

// Reads one data block: 16-bit little-endian words, most significant bit first. Past the end
// it yields zero bits and marks itself overrun; callers check overrun() before trusting what
// they decoded. Uncompressed LZX blocks switch it to whole bytes (Align, then Byte).
class LzxDecoder::Bits {
 public:
  explicit Bits(std::span<const std::uint8_t> in) : in_(in) {}

  // Makes at least n (<= 17) bits available.
  void Ensure(unsigned n) {
    while (count_ < n) {
      const std::uint32_t lo = pos_ < in_.size() ? in_[pos_] : 0;
      const std::uint32_t hi = pos_ + 1 < in_.size() ? in_[pos_ + 1] : 0;
      pos_ += 2;
      bits_ = (bits_ << 16) | (hi << 8) | lo;
      count_ += 16;
    }
  }
  std::uint32_t Peek(unsigned n) const { return (bits_ >> (count_ - n)) & ((1u << n) - 1); }
  void Drop(unsigned n) { count_ -= n; }
  std::uint32_t Get(unsigned n) {
    if (n == 0) return 0;
    Ensure(n);
    const std::uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  bool overrun() const { return pos_ * 8 - count_ > in_.size() * 8; }

  // Skips to the next 16-bit boundary (a whole word when already on one) and leaves the bits
  // for whole bytes.
  void Align() {
    if (count_ % 16 != 0) {
      count_ -= count_ % 16;
    } else {
      Ensure(16);
      count_ -= 16;
    }
    pos_ -= count_ / 8;  // give back the whole words still buffered
    count_ = 0;
  }
  // One whole byte (after Align); -1 past the end.
  int Byte() { return pos_ < in_.size() ? in_[pos_++] : -1; }
  void SkipByte() { ++pos_; }

  // The next symbol of `code`, or -1 when the bits form none of its codes.
  int Decode(const LzxCode& code) {
    Ensure(16);
    const std::uint32_t peek = Peek(16);
    const std::uint16_t entry = code.fast[peek >> (16 - LzxCode::kFastBits)];
    if (entry >> 12) {
      Drop(entry >> 12);
      return entry & 0x0FFF;
    }
    // Canonical walk: the codes of each length follow on from `first`, their symbols from
    // `index` in the sorted symbol list.
    std::uint32_t first = 0, index = 0;
    for (unsigned len = 1; len <= LzxCode::kMaxLength; ++len) {
      const std::uint32_t value = peek >> (16 - len);
      const std::uint32_t n = code.count[len];
      if (value - first < n) {
        Drop(len);
        return code.symbols[index + value - first];
      }
      index += n;
      first = (first + n) << 1;
    }
    return -1;
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  std::uint32_t bits_ = 0;
  unsigned count_ = 0;
};

namespace {

constexpr Error kBad = Error::kDecompressFailure;

// E8 translation is done in the first 2^30 bytes of a folder only.
constexpr std::uint64_t kE8Limit = 0x40000000;

unsigned FooterBits(unsigned slot) {
  return slot < 4 ? 0 : std::min((slot - 2) / 2, 17u);
}

std::uint32_t PositionBase(unsigned slot) {
  if (slot < 4) return slot;
  if (slot < 36) return (2u | (slot & 1)) << (slot / 2 - 1);
  return 0x40000 + ((slot - 36) << 17);
}

}  // namespace

bool LzxCode::Build(std::span<const std::uint8_t> lengths) {
  count.fill(0);
  for (std::uint8_t len : lengths) ++count[len];
  count[0] = 0;
  int left = 1;
  for (unsigned len = 1; len <= kMaxLength; ++len) {
    left = (left << 1) - count[len];
    if (left < 0) return false;  // over-subscribed
  }
  std::array<std::uint16_t, kMaxLength + 2> offsets{};
  for (unsigned len = 1; len <= kMaxLength; ++len) offsets[len + 1] = offsets[len] + count[len];
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) symbols[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }
  fast.fill(0);
  unsigned code = 0, index = 0;
  for (unsigned len = 1; len <= kFastBits; ++len, code <<= 1) {
    for (unsigned k = 0; k < count[len]; ++k, ++code) {
      const auto entry = static_cast<std::uint16_t>(symbols[index++] | (len << 12));
      const unsigned shift = kFastBits - len;
      std::fill(fast.begin() + (code << shift), fast.begin() + ((code + 1) << shift), entry);
    }
  }
  return true;
}

Error LzxDecoder::Reset(unsigned windowBits) {
  constexpr std::uint8_t kSlots[7] = {30, 32, 34, 36, 38, 42, 50};
  if (windowBits < 15 || windowBits > 21) return Error::kBadCompressionType;
  windowSize_ = 1u << windowBits;
  slots_ = kSlots[windowBits - 15];
  if (allocated_ < windowSize_) {
    window_.reset(new (std::nothrow) std::uint8_t[windowSize_]);
    allocated_ = window_ ? windowSize_ : 0;
    if (!window_) return Error::kOutOfMemory;
  }
  pos_ = frameStart_ = 0;
  started_ = e8_ = blockOdd_ = false;
  e8Size_ = 0;
  blockType_ = blockLeft_ = 0;
  repeat_[0] = repeat_[1] = repeat_[2] = 1;
  mainLengths_.fill(0);
  lengthLengths_.fill(0);
  return Error::kNone;
}

bool LzxDecoder::ReadLengths(Bits& bits, std::uint8_t* lengths, unsigned count) {
  std::array<std::uint8_t, 20> pre;
  for (std::uint8_t& len : pre) len = static_cast<std::uint8_t>(bits.Get(4));
  if (!pretree_.Build(pre)) return false;
  for (unsigned i = 0; i < count;) {
    int symbol = bits.Decode(pretree_);
    unsigned run = 1;
    bool zeros = false;
    if (symbol == 17 || symbol == 18) {
      run = symbol == 17 ? 4 + bits.Get(4) : 20 + bits.Get(5);
      zeros = true;
    } else if (symbol == 19) {
      run = 4 + bits.Get(1);
      symbol = bits.Decode(pretree_);
      if (symbol > 16) return false;
    }
    if (symbol < 0 || run > count - i || bits.overrun()) return false;
    // Codes 0..16 give the length as a change (mod 17) from the symbol's previous one; a run of
    // 19 repeats the first symbol's new length.
    const int len = zeros ? 0 : (lengths[i] + 17 - symbol) % 17;
    std::memset(lengths + i, len, run);
    i += run;
  }
  return true;
}

bool LzxDecoder::ReadBlockHeader(Bits& bits) {
  blockType_ = bits.Get(3);
  blockLeft_ = bits.Get(16) << 8;
  blockLeft_ |= bits.Get(8);
  if (blockLeft_ == 0 || bits.overrun()) return false;
  if (blockType_ == 3) {
    bits.Align();
    for (std::uint32_t& r : repeat_) {
      r = 0;
      for (unsigned k = 0; k < 32; k += 8) {
        const int b = bits.Byte();
        if (b < 0) return false;
        r |= static_cast<std::uint32_t>(b) << k;
      }
    }
    blockOdd_ = (blockLeft_ & 1) != 0;
    return true;
  }
  if (blockType_ == 2) {
    std::array<std::uint8_t, 8> lengths;
    for (std::uint8_t& len : lengths) len = static_cast<std::uint8_t>(bits.Get(3));
    if (!aligned_.Build(lengths)) return false;
  } else if (blockType_ != 1) {
    return false;
  }
  const unsigned mainCount = 256 + 8 * slots_;
  return ReadLengths(bits, mainLengths_.data(), 256) &&
         ReadLengths(bits, mainLengths_.data() + 256, mainCount - 256) &&
         main_.Build(std::span(mainLengths_).first(mainCount)) &&
         ReadLengths(bits, lengthLengths_.data(), 249) && length_.Build(lengthLengths_);
}

Error LzxDecoder::DecodeBlock(std::span<const std::uint8_t> in, std::size_t size,
                              std::span<const std::uint8_t>& out) {
  if (!window_ || size == 0 || size > kMaxBlockUncompressed) return kBad;
  Bits bits(in);
  if (!started_) {
    started_ = true;
    e8_ = bits.Get(1) != 0;
    if (e8_) {
      const std::uint32_t high = bits.Get(16);
      e8Size_ = static_cast<std::int32_t>((high << 16) | bits.Get(16));
    }
  }
  std::uint8_t* const window = window_.get();
  const std::size_t mask = windowSize_ - 1;
  const std::uint64_t end = frameStart_ + size;
  while (pos_ < end) {
    if (blockLeft_ == 0 && !ReadBlockHeader(bits)) return kBad;
    if (blockType_ == 3) {
      // Whole bytes, possibly on into the next frames.
      auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(blockLeft_, end - pos_));
      blockLeft_ -= n;
      while (n-- > 0) {
        const int b = bits.Byte();
        if (b < 0) return kBad;
        window[pos_++ & mask] = static_cast<std::uint8_t>(b);
      }
      if (blockLeft_ == 0 && blockOdd_) bits.SkipByte();
      continue;
    }
    // A block may go on into the next frames, a match may not.
    while (pos_ < end && blockLeft_ > 0) {
      const int symbol = bits.Decode(main_);
      if (symbol < 0) return kBad;
      if (symbol < 256) {
        window[pos_++ & mask] = static_cast<std::uint8_t>(symbol);
        --blockLeft_;
        continue;
      }
      const auto header = static_cast<unsigned>(symbol - 256);
      std::uint32_t length = header & 7;
      if (length == 7) {
        const int more = bits.Decode(length_);
        if (more < 0) return kBad;
        length += static_cast<std::uint32_t>(more);
      }
      length += 2;
      const unsigned slot = header >> 3;
      std::uint32_t offset;
      if (slot == 0) {
        offset = repeat_[0];
      } else if (slot < 3) {
        offset = repeat_[slot];
        repeat_[slot] = repeat_[0];
        repeat_[0] = offset;
      } else {
        const unsigned extra = FooterBits(slot);
        offset = PositionBase(slot) - 2;
        if (blockType_ == 2 && extra >= 3) {
          offset += bits.Get(extra - 3) << 3;
          const int low = bits.Decode(aligned_);
          if (low < 0) return kBad;
          offset += static_cast<std::uint32_t>(low);
        } else {
          offset += bits.Get(extra);
        }
        repeat_[2] = repeat_[1];
        repeat_[1] = repeat_[0];
        repeat_[0] = offset;
      }
      if (bits.overrun() || offset == 0 || offset > pos_ || offset > windowSize_ ||
          length > blockLeft_ || length > end - pos_) {
        return kBad;
      }
      for (std::uint32_t k = 0; k < length; ++k, ++pos_) {
        window[pos_ & mask] = window[(pos_ - offset) & mask];
      }
      blockLeft_ -= length;
    }
    if (bits.overrun()) return kBad;
  }
  if (bits.overrun()) return kBad;

  // The frame may wrap around the end of the window.
  const std::size_t at = static_cast<std::size_t>(frameStart_ & mask);
  const std::size_t first = std::min<std::size_t>(size, windowSize_ - at);
  std::memcpy(out_.data(), window + at, first);
  std::memcpy(out_.data() + first, window, size - first);

  // Calls (0xE8) were stored with absolute targets: turn them back into relative ones.
  if (e8_ && size > 10 && frameStart_ < kE8Limit) {
    for (std::size_t i = 0; i < size - 10;) {
      if (out_[i++] != 0xE8) continue;
      std::uint8_t* const p = out_.data() + i;
      const auto target =
          static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24);
      const auto here = static_cast<std::int64_t>(frameStart_ + i - 1);
      if (target >= -here && target < e8Size_) {
        const auto relative = static_cast<std::uint32_t>(
            target >= 0 ? target - here : target + std::int64_t{e8Size_});
        for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(relative >> (8 * k));
      }
      i += 4;
    }
  }
  frameStart_ = end;
  out = std::span<const std::uint8_t>(out_.data(), size);
  return Error::kNone;
}

}  // namespace cab
