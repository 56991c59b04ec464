#include "stub/cabinet/core/mszip_decoder.h"

#include <bit>
#include <cstring>

namespace cab {
namespace {

// The bit reader's steps run once or more per symbol: they stay in line.
#define CAB_HOT [[gnu::always_inline]] inline

// LSB-first bit reader over one block, a machine word at a time. Reading past the end yields
// zero bits and marks the reader as overrun; callers check overrun() before trusting what they
// decoded. The bits of buffer_ above count_ are either zero or the input bytes from next_ on.
class BitReader {
 public:
  using Word = std::size_t;
  static constexpr unsigned kWordBits = sizeof(Word) * 8;
  // Bits that Need may ask for at once (one refill makes at least this many).
  static constexpr unsigned kMaxNeed = kWordBits - 8;
  static_assert(std::endian::native == std::endian::little);

  explicit BitReader(std::span<const std::uint8_t> in)
      : next_(in.data()), end_(in.data() + in.size()) {}

  // Makes sure that `n` (at most kMaxNeed) bits are buffered.
  CAB_HOT void Need(unsigned n) {
    if (count_ >= n) return;
    if (static_cast<std::size_t>(end_ - next_) >= sizeof(Word)) {
      Word word;
      std::memcpy(&word, next_, sizeof word);
      buffer_ |= word << count_;
      next_ += (kWordBits - 1 - count_) >> 3;
      count_ |= kMaxNeed;
      return;
    }
    for (; count_ <= kMaxNeed; count_ += 8) {
      Word byte = 0;
      if (next_ != end_) {
        byte = *next_++;
      } else {
        ++phantom_;
      }
      buffer_ |= byte << count_;
    }
  }
  // The buffered bits (at least as many as the last Need asked for).
  CAB_HOT Word bits() const { return buffer_; }
  CAB_HOT void Drop(unsigned n) {
    buffer_ >>= n;
    count_ -= n;
  }
  CAB_HOT std::uint32_t Get(unsigned n) {
    Need(n);
    const auto v = static_cast<std::uint32_t>(buffer_ & ((Word{1} << n) - 1));
    Drop(n);
    return v;
  }
  // Whether bits beyond the input were consumed.
  CAB_HOT bool overrun() const { return phantom_ * 8 > count_; }
  void AlignToByte() { Drop(count_ & 7); }
  // Byte-aligned copy out of the input (after AlignToByte; the buffered whole bytes go first).
  CAB_HOT bool CopyBytes(std::uint8_t* out, std::size_t n) {
    for (; n > 0 && count_ >= 8; --n) *out++ = static_cast<std::uint8_t>(Get(8));
    if (n > 0) {
      if (overrun() || count_ != 0 || static_cast<std::size_t>(end_ - next_) < n) return false;
      std::memcpy(out, next_, n);
      next_ += n;
      buffer_ = 0;  // it held the bytes just copied
    }
    return !overrun();
  }

 private:
  const std::uint8_t* next_;
  const std::uint8_t* end_;
  Word buffer_ = 0;
  unsigned count_ = 0;
  unsigned phantom_ = 0;  // zero bytes fed in past the end
};

// Returns the symbol, or -1 when the bits form no code. In line, so that the reader's state
// stays in registers through the decoding loop.
CAB_HOT int Decode(const PrefixCode& code, BitReader& bits) {
  bits.Need(PrefixCode::kMaxLength);
  const BitReader::Word peek = bits.bits();
  const std::uint16_t entry = code.fast[peek & ((1u << PrefixCode::kFastBits) - 1)];
  if (entry >> 12) {
    bits.Drop(entry >> 12);
    return entry & 0x0FFF;
  }
  // Canonical walk: at each length, the codes of that length are the `count` values after
  // `first`, and their symbols follow `index` in the sorted symbol list.
  int value = 0, first = 0, index = 0;
  for (unsigned len = 1; len <= PrefixCode::kMaxLength; ++len) {
    value |= static_cast<int>((peek >> (len - 1)) & 1u);
    const int n = code.count[len];
    if (value - first < n) {
      bits.Drop(len);
      return code.symbols[static_cast<std::size_t>(index + value - first)];
    }
    index += n;
    first = (first + n) << 1;
    value <<= 1;
  }
  return -1;
}

#undef CAB_HOT

// Order in which the code length code's lengths are stored.
constexpr std::uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace

bool PrefixCode::Build(std::span<const std::uint8_t> lengths, bool allowIncomplete) {
  count.fill(0);
  for (std::uint8_t len : lengths) ++count[len];
  count[0] = 0;
  int left = 1;
  unsigned used = 0;
  for (unsigned len = 1; len <= kMaxLength; ++len) {
    left = (left << 1) - count[len];
    if (left < 0) return false;  // over-subscribed
    used += count[len];
  }
  if (left > 0 && !(allowIncomplete && (used == 0 || (used == 1 && count[1] == 1)))) {
    return false;
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
      unsigned reversed = 0;
      for (unsigned b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
      const auto entry = static_cast<std::uint16_t>(symbols[index++] | (len << 12));
      for (unsigned fill = reversed; fill < fast.size(); fill += 1u << len) fast[fill] = entry;
    }
  }
  return true;
}

Error MszipDecoder::DecodeBlock(std::span<const std::uint8_t> in, std::size_t size,
                                std::span<const std::uint8_t>& out) {
  constexpr Error kBad = Error::kDecompressFailure;
  if (size > kWindowSize || in.size() < 2 || in[0] != 'C' || in[1] != 'K') return kBad;
  if (!FollowsOn()) {
    // Keep the last kWindowSize bytes as the history, at the front.
    std::memmove(window_.data(), window_.data() + next_ - kWindowSize, kWindowSize);
    next_ = kWindowSize;
  }
  BitReader bits(in.subspan(2));
  std::uint8_t* const start = window_.data() + next_;
  std::uint8_t* const end = start + size;
  std::uint8_t* at = start;

  for (bool last = false; !last;) {
    last = bits.Get(1) != 0;
    const std::uint32_t type = bits.Get(2);
    if (type == 0) {
      bits.AlignToByte();
      const std::uint32_t len = bits.Get(16);
      if ((bits.Get(16) ^ 0xFFFF) != len || len > static_cast<std::size_t>(end - at)) return kBad;
      if (!bits.CopyBytes(at, len)) return kBad;
      at += len;
      continue;
    }
    if (type == 3) return kBad;
    std::array<std::uint8_t, 288 + 32> lengths{};
    unsigned literalCount = 288, distanceCount = 32;
    if (type == 1) {
      std::memset(lengths.data(), 8, 144);
      std::memset(lengths.data() + 144, 9, 112);
      std::memset(lengths.data() + 256, 7, 24);
      std::memset(lengths.data() + 280, 8, 8);
      std::memset(lengths.data() + 288, 5, 32);
    } else {
      literalCount = bits.Get(5) + 257;
      distanceCount = bits.Get(5) + 1;
      const unsigned lengthCount = bits.Get(4) + 4;
      if (literalCount > 286 || distanceCount > 30) return kBad;
      std::array<std::uint8_t, 19> codeLengths{};
      for (unsigned i = 0; i < lengthCount; ++i) {
        codeLengths[kLengthOrder[i]] = static_cast<std::uint8_t>(bits.Get(3));
      }
      if (bits.overrun() || !lengthsCode_.Build(codeLengths, false)) return kBad;
      for (unsigned i = 0; i < literalCount + distanceCount;) {
        const int symbol = Decode(lengthsCode_, bits);
        if (symbol < 0 || bits.overrun()) return kBad;
        if (symbol < 16) {
          lengths[i++] = static_cast<std::uint8_t>(symbol);
          continue;
        }
        std::uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
          if (i == 0) return kBad;
          value = lengths[i - 1];
          repeat = 3 + bits.Get(2);
        } else if (symbol == 17) {
          repeat = 3 + bits.Get(3);
        } else {
          repeat = 11 + bits.Get(7);
        }
        if (repeat > literalCount + distanceCount - i) return kBad;
        while (repeat-- > 0) lengths[i++] = value;
      }
      if (lengths[256] == 0) return kBad;
      // The distance lengths were read right behind the literal ones.
      std::memmove(lengths.data() + 288, lengths.data() + literalCount, distanceCount);
      std::memset(lengths.data() + literalCount, 0, 288 - literalCount);
    }
    if (!literals_.Build(std::span(lengths).first(288), type == 2) ||
        !distances_.Build(std::span(lengths).subspan(288, 32), true)) {
      return kBad;
    }
    for (;;) {
      const int symbol = Decode(literals_, bits);
      if (symbol < 256) {
        // A literal (or no code at all, which overruns or fails below).
        if (symbol < 0 || at == end) return kBad;
        *at++ = static_cast<std::uint8_t>(symbol);
        continue;
      }
      if (symbol == 256) break;
      const unsigned li = static_cast<unsigned>(symbol) - 257;
      if (li > 28) return kBad;
      std::size_t length = 258;
      if (li < 8) {
        length = li + 3;
      } else if (li < 28) {
        const unsigned extra = li / 4 - 1;
        length = ((4 + li % 4) << extra) + 3 + bits.Get(extra);
      }
      const int di = Decode(distances_, bits);
      if (di < 0 || di > 29) return kBad;
      std::size_t distance = static_cast<std::size_t>(di) + 1;
      if (di >= 4) {
        const unsigned extra = static_cast<unsigned>(di) / 2 - 1;
        distance = ((2u + static_cast<unsigned>(di) % 2) << extra) + 1 + bits.Get(extra);
      }
      if (bits.overrun() || distance > history_ + static_cast<std::size_t>(at - start) ||
          length > static_cast<std::size_t>(end - at)) {
        return kBad;
      }
      const std::uint8_t* from = at - distance;
      if (distance >= 8) {
        // Eight bytes at a time, each from bytes already in place; up to seven land past the
        // match (in the rest of the window or its slack) and are overwritten later.
        std::uint8_t* to = at;
        do {
          std::memcpy(to, from, 8);
          to += 8;
          from += 8;
        } while (to < at + length);
      } else {
        for (std::size_t k = 0; k < length; ++k) at[k] = from[k];
      }
      at += length;
    }
  }
  if (bits.overrun() || at != end) return kBad;
  next_ += size;
  history_ = history_ + size < kWindowSize ? history_ + size : kWindowSize;
  out = std::span<const std::uint8_t>(start, size);
  return Error::kNone;
}

}  // namespace cab
