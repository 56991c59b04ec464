// The x86 branch converters and Delta, undone as pull streams. Each keeps a small fixed window
// of state across Read calls, so a stream of any length decodes in constant memory.
#include "tvl/core/branch_filters.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "tvl/core/converting_stream.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

constexpr std::size_t kWindowSize = 64 * 1024;

std::uint8_t ToU8(std::byte b) {
  return std::to_integer<std::uint8_t>(b);
}

// ---------------------------------------------------------------------------------------------
// BCJ (x86). The encoder turned the 32-bit displacement after an E8 (call) or E9 (jmp) opcode
// into an absolute address, when that displacement looked like one (top byte 00 or FF). A run
// of opcode bytes close together makes the later ones less trustworthy: the three bits of
// `mask_` remember which of the three bytes before the current one were such opcodes that were
// not converted, and decide whether this one is left alone.
class BcjDecoder final : public ConvertingStream {
 public:
  explicit BcjDecoder(std::unique_ptr<InStream> input) : ConvertingStream(std::move(input)) {}

 private:
  static bool IsAddressHighByte(std::uint8_t b) { return b == 0x00 || b == 0xFF; }

  std::size_t Convert(std::span<std::uint8_t> window, std::uint64_t position) override {
    std::uint8_t* const data = window.data();
    std::size_t pos = 0;
    while (pos + 5 <= window.size()) {
      const std::uint8_t opcode = data[pos];
      if (opcode != 0xE8 && opcode != 0xE9) {
        ++pos;
        continue;
      }
      const std::uint64_t here = position + pos;
      const std::uint64_t distance = have_last_ ? here - last_opcode_ : 4;
      last_opcode_ = here;
      have_last_ = true;
      mask_ = distance > 3 ? 0u : (mask_ << (distance - 1)) & 7u;

      // An unconverted opcode among the three bytes before makes this one suspect: some
      // patterns of them always leave it alone, the others when the byte at the top of the
      // earlier opcode's would-be address looks like an address byte itself.
      if (mask_ != 0 && (!kMaskAllowsConversion[mask_] ||
                         IsAddressHighByte(data[pos + 4 - kMaskBitNumber[mask_]]))) {
        mask_ = ((mask_ << 1) & 7u) | 1u;
        ++pos;
        continue;
      }
      if (!IsAddressHighByte(data[pos + 4])) {
        mask_ = ((mask_ << 1) & 7u) | 1u;
        ++pos;
        continue;
      }

      const std::uint32_t stored =
          std::uint32_t{data[pos + 1]} | std::uint32_t{data[pos + 2]} << 8 |
          std::uint32_t{data[pos + 3]} << 16 | std::uint32_t{data[pos + 4]} << 24;
      const auto next_instruction = static_cast<std::uint32_t>(here + 5);
      std::uint32_t relative = stored - next_instruction;
      if (mask_ != 0) {
        // The encoder flipped the low bytes up to the one an earlier opcode's address would
        // have ended in, when that byte came out as 00 or FF. Undone once: the opcode was only
        // converted because the stored byte there was neither, and flipping turns that byte of
        // the result into the complement of the stored one, so a second round cannot apply.
        const unsigned bits = 32 - 8 * kMaskBitNumber[mask_];
        if (IsAddressHighByte(static_cast<std::uint8_t>(relative >> (bits - 8)))) {
          relative = (relative ^ ((std::uint32_t{1} << bits) - 1)) - next_instruction;
        }
      }
      // Bit 24 of the result is spread over the whole top byte, giving 00 or FF again.
      data[pos + 1] = static_cast<std::uint8_t>(relative);
      data[pos + 2] = static_cast<std::uint8_t>(relative >> 8);
      data[pos + 3] = static_cast<std::uint8_t>(relative >> 16);
      data[pos + 4] = (relative >> 24) & 1u ? 0xFF : 0x00;
      pos += 5;
    }
    return pos;
  }

  static constexpr std::array<bool, 8> kMaskAllowsConversion = {true, true,  true,  false,
                                                                true, false, false, false};
  static constexpr std::array<unsigned, 8> kMaskBitNumber = {0, 1, 2, 2, 3, 3, 3, 3};

  std::uint32_t mask_ = 0;
  std::uint64_t last_opcode_ = 0;
  bool have_last_ = false;
};

// ---------------------------------------------------------------------------------------------
// A forward reader over one input with its own buffer, for decoders that take bytes one by one.
class ByteReader {
 public:
  ByteReader(std::unique_ptr<InStream> input, std::size_t buffer_size)
      : input_(std::move(input)), buffer_(buffer_size) {}

  // -1 at the end of the stream.
  int Next() {
    if (pos_ == size_ && !Fill()) return -1;
    return ToU8(buffer_[pos_++]);
  }

  // Reads more once everything buffered is used; false at the end of the stream.
  bool Fill() {
    if (pos_ != size_) return true;
    if (at_end_) return false;
    const std::size_t got = input_->Read(buffer_);
    if (got == 0) {
      at_end_ = true;
      return false;
    }
    if (got > buffer_.size()) Fail(ErrorCode::kInternal, "stream overran its buffer");
    pos_ = 0;
    size_ = got;
    return true;
  }

  // Up to `max` bytes that are already buffered, without reading more.
  std::span<const std::byte> Buffered(std::size_t max) const {
    return std::span<const std::byte>(buffer_).subspan(pos_, std::min(max, size_ - pos_));
  }
  void Skip(std::size_t n) { pos_ += n; }

 private:
  std::unique_ptr<InStream> input_;
  std::vector<std::byte> buffer_;
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool at_end_ = false;
};

// ---------------------------------------------------------------------------------------------
// BCJ2. The encoder split the code into four streams: everything but branch targets (main),
// the absolute targets of converted E8 calls (call) and of converted E9 jumps and 0F 8x
// conditional jumps (jump), both as big-endian 32-bit numbers, and one adaptively coded bit per
// branch opcode telling whether its target was moved out (selector). The bit's probability is
// chosen by the byte before an E8, shared by all E9s, and shared by all conditional jumps.
class Bcj2Decoder final : public InStream {
 public:
  explicit Bcj2Decoder(std::vector<std::unique_ptr<InStream>> inputs)
      : main_(std::move(inputs[0]), kWindowSize),
        call_(std::move(inputs[1]), 4096),
        jump_(std::move(inputs[2]), 4096),
        selector_(std::move(inputs[3]), 4096) {
    probs_.fill(kProbInit);
  }

  std::size_t Read(std::span<std::byte> out) override {
    std::size_t n = 0;
    while (n < out.size()) {
      if (address_left_ != 0) {
        const auto b = static_cast<std::uint8_t>(address_ >> (8 * (4 - address_left_)));
        out[n++] = std::byte{b};
        --address_left_;
        prev_ = b;
        continue;
      }
      if (opcode_pending_) {
        // The selector bit is only decoded once the bytes after the opcode are asked for: a
        // branch opcode that ends the stream has nothing after it.
        opcode_pending_ = false;
        if (DecodeBit(ProbabilityFor(opcode_))) {
          const std::uint32_t target = ReadTarget(opcode_ == 0xE8 ? call_ : jump_);
          // Relative to the end of the instruction: opcode, then four address bytes.
          address_ = target - static_cast<std::uint32_t>(opcode_end_ + 4);
          address_left_ = 4;
          continue;
        }
        prev_ = opcode_;
      }
      // Plain bytes straight from the main stream's buffer, up to and including the next
      // branch opcode.
      const auto chunk = main_.Buffered(out.size() - n);
      if (chunk.empty()) {
        if (!main_.Fill()) break;
        continue;
      }
      std::size_t i = 0;
      while (i < chunk.size()) {
        const std::uint8_t b = ToU8(chunk[i++]);
        if (IsBranch(prev_, b)) {
          opcode_ = b;
          opcode_pending_ = true;
          break;
        }
        prev_ = b;
      }
      std::memcpy(out.data() + n, chunk.data(), i);
      main_.Skip(i);
      n += i;
      if (opcode_pending_) opcode_end_ = produced_ + n;
    }
    produced_ += n;
    return n;
  }

 private:
  static constexpr unsigned kProbBits = 11;
  static constexpr std::uint16_t kProbInit = 1u << (kProbBits - 1);
  static constexpr unsigned kMoveBits = 5;
  static constexpr std::uint32_t kTop = 1u << 24;

  static bool IsBranch(std::uint8_t prev, std::uint8_t b) {
    return (b & 0xFE) == 0xE8 || (prev == 0x0F && (b & 0xF0) == 0x80);
  }

  std::uint16_t& ProbabilityFor(std::uint8_t opcode) {
    if (opcode == 0xE8) return probs_[prev_];
    if (opcode == 0xE9) return probs_[256];
    return probs_[257];
  }

  std::uint32_t SelectorByte() {
    const int b = selector_.Next();
    if (b < 0) Fail(ErrorCode::kCorrupt, "BCJ2 selector stream ends early");
    return static_cast<std::uint32_t>(b);
  }

  bool DecodeBit(std::uint16_t& prob) {
    if (!coder_started_) {
      coder_started_ = true;
      for (int i = 0; i < 5; ++i) code_ = (code_ << 8) | SelectorByte();
    }
    if (range_ < kTop) {
      range_ <<= 8;
      code_ = (code_ << 8) | SelectorByte();
    }
    const std::uint32_t bound = (range_ >> kProbBits) * prob;
    if (code_ < bound) {
      range_ = bound;
      prob = static_cast<std::uint16_t>(prob + (((1u << kProbBits) - prob) >> kMoveBits));
      return false;
    }
    range_ -= bound;
    code_ -= bound;
    prob = static_cast<std::uint16_t>(prob - (prob >> kMoveBits));
    return true;
  }

  static std::uint32_t ReadTarget(ByteReader& stream) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const int b = stream.Next();
      if (b < 0) Fail(ErrorCode::kCorrupt, "BCJ2 branch target stream ends early");
      v = (v << 8) | static_cast<std::uint32_t>(b);
    }
    return v;
  }

  ByteReader main_;
  ByteReader call_;
  ByteReader jump_;
  ByteReader selector_;
  std::array<std::uint16_t, 2 + 256> probs_{};
  bool coder_started_ = false;
  std::uint32_t range_ = 0xFFFFFFFFu;
  std::uint32_t code_ = 0;

  std::uint64_t produced_ = 0;    // output bytes handed out before the current Read
  std::uint64_t opcode_end_ = 0;  // output position just after the pending opcode
  std::uint8_t prev_ = 0;         // the byte before the next one, for telling branches apart
  bool opcode_pending_ = false;
  std::uint8_t opcode_ = 0;
  std::uint32_t address_ = 0;
  unsigned address_left_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Delta: each byte was stored as its difference to the byte `distance` places before it.
class DeltaDecoder final : public InStream {
 public:
  DeltaDecoder(unsigned distance, std::unique_ptr<InStream> input)
      : input_(std::move(input)), distance_(distance) {}

  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t got = input_->Read(out);
    if (got > out.size()) Fail(ErrorCode::kInternal, "stream overran its buffer");
    for (std::size_t i = 0; i < got; ++i) {
      const auto value =
          static_cast<std::uint8_t>(ToU8(out[i]) + history_[(next_ - distance_) & 0xFFu]);
      history_[next_] = value;
      next_ = (next_ + 1) & 0xFFu;
      out[i] = std::byte{value};
    }
    return got;
  }

 private:
  std::unique_ptr<InStream> input_;
  unsigned distance_;
  std::array<std::uint8_t, 256> history_{};  // the last 256 output bytes, as a ring
  unsigned next_ = 0;
};

}  // namespace

std::unique_ptr<InStream> MakeBcjDecoder(std::unique_ptr<InStream> input) {
  return std::make_unique<BcjDecoder>(std::move(input));
}

std::unique_ptr<InStream> MakeBcj2Decoder(std::vector<std::unique_ptr<InStream>> inputs) {
  if (inputs.size() != 4) Fail(ErrorCode::kCorrupt, "BCJ2 needs four input streams");
  return std::make_unique<Bcj2Decoder>(std::move(inputs));
}

std::unique_ptr<InStream> MakeDeltaDecoder(std::span<const std::uint8_t> properties,
                                           std::unique_ptr<InStream> input) {
  if (properties.size() != 1) Fail(ErrorCode::kCorrupt, "Delta filter properties");
  return std::make_unique<DeltaDecoder>(properties[0] + 1u, std::move(input));
}

}  // namespace tvl
