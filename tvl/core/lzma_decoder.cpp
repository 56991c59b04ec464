// LZMA and LZMA2 decoders.
//
// Both share one core: the probability model, the range decoder and the dictionary, a ring
// buffer that decoded bytes are written into and then copied out of. Packed bytes come through
// a 64 KiB buffer over the input stream; the symbol loop reads it through a plain pointer and
// only looks at the buffer's bounds once per symbol, because a symbol never takes more than
// kMaxSymbolInput bytes. Near the end of the input a symbol may read past the real end (into
// padding, or the next LZMA2 chunk header); it is then taken back, and either marks the clean
// end of a stream that has no end marker or is reported as truncated data.
#include "tvl/core/lzma_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tvl/core/compiler_hints.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

constexpr std::size_t kInputBufferSize = 64 * 1024;
// A match with the longest distance takes 48 range decoder bits, each needing at most one new
// input byte; rounded up.
constexpr std::size_t kMaxSymbolInput = 64;
constexpr std::uint32_t kMinDictionarySize = 4096;
// The ring buffer holds this much more than the dictionary, and as much again lies after its
// end: a match may then be copied in whole 8-byte pieces that run up to 7 bytes past its end,
// over bytes that are either not decoded yet or older than any distance can reach.
constexpr std::size_t kCopySlack = 16;

constexpr unsigned kNumStates = 12;
constexpr unsigned kNumPosStatesMax = 16;
constexpr unsigned kProbInit = 1024;  // half of 2048, "either bit equally likely"

[[noreturn]] void Corrupt(const char* what) {
  Fail(ErrorCode::kCorrupt, std::string("LZMA data is corrupt: ") + what);
}

std::string MiB(std::uint64_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

void CheckDictionarySize(std::uint64_t size) {
  if (size > kMaxDictionarySize) {
    Fail(ErrorCode::kUnsupported, "LZMA dictionary of " + MiB(size) +
                                      " is larger than the supported " + MiB(kMaxDictionarySize));
  }
}

// Packed input, pulled from the inner stream in large pieces. There are always kMaxSymbolInput
// readable bytes after the buffer's capacity, so a symbol that starts inside the valid data can
// be decoded without bounds checks.
class InputBuffer {
 public:
  explicit InputBuffer(std::unique_ptr<InStream> source)
      : source_(std::move(source)), data_(kInputBufferSize + kMaxSymbolInput) {}

  const std::uint8_t* begin() const { return data_.data() + pos_; }
  std::size_t available() const { return end_ - pos_; }
  void Consume(std::size_t n) { pos_ += n; }

  // Makes at least `n` bytes (n <= kInputBufferSize) available, unless the input ends first.
  void Fill(std::size_t n) {
    if (end_ - pos_ >= n || eof_) return;
    if (pos_ != 0) {
      std::memmove(data_.data(), data_.data() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
    }
    while (end_ < n && !eof_) {
      const std::size_t room = kInputBufferSize - end_;
      const std::size_t got =
          source_->Read(std::as_writable_bytes(std::span(data_.data() + end_, room)));
      if (got > room) Fail(ErrorCode::kInternal, "input stream returned more than asked");
      if (got == 0) eof_ = true;
      end_ += got;
    }
  }

  std::uint8_t Byte(const char* what_if_missing) {
    Fill(1);
    if (pos_ == end_) Corrupt(what_if_missing);
    return data_[pos_++];
  }

 private:
  std::unique_ptr<InStream> source_;
  std::vector<std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

struct LengthProbs {
  std::uint16_t choice;
  std::uint16_t choice2;
  std::uint16_t low[kNumPosStatesMax][8];
  std::uint16_t mid[kNumPosStatesMax][8];
  std::uint16_t high[256];
};

// Everything but the literal coder, whose size depends on lc + lp.
struct Model {
  std::uint16_t is_match[kNumStates][kNumPosStatesMax];
  std::uint16_t is_rep[kNumStates];
  std::uint16_t is_rep_g0[kNumStates];
  std::uint16_t is_rep_g1[kNumStates];
  std::uint16_t is_rep_g2[kNumStates];
  std::uint16_t is_rep0_long[kNumStates][kNumPosStatesMax];
  std::uint16_t dist_slot[4][64];
  // Reverse bit trees of the distances of slots 4..13, indexed from 1 as in the format.
  std::uint16_t dist_special[1 + 128 - 14];
  std::uint16_t align[16];
  LengthProbs len;
  LengthProbs rep_len;
};

// The range decoder as a value: copied into locals for the symbol loop so that range, code and
// the input pointer live in registers.
struct RangeDecoder {
  static constexpr std::uint32_t kTop = 1u << 24;

  std::uint32_t range;
  std::uint32_t code;
  const std::uint8_t* in;

  TVL_ALWAYS_INLINE void Normalize() {
    if (range < kTop) {
      range <<= 8;
      code = (code << 8) | *in++;
    }
  }

  TVL_ALWAYS_INLINE std::uint32_t Bit(std::uint16_t& prob) {
    const std::uint32_t p = prob;
    const std::uint32_t bound = (range >> 11) * p;
    std::uint32_t bit;
    if (code < bound) {
      range = bound;
      prob = static_cast<std::uint16_t>(p + ((2048 - p) >> 5));
      bit = 0;
    } else {
      range -= bound;
      code -= bound;
      prob = static_cast<std::uint16_t>(p - (p >> 5));
      bit = 1;
    }
    Normalize();
    return bit;
  }

  // The same as Bit() without a branch on the decoded bit, for the bit trees whose bits are
  // hard to predict. The update of a 1 is p - p/32; that of a 0, p + (2048 - p)/32, is written
  // p - (p - 2017)/32 rounding down, so both take one arithmetic shift.
  TVL_ALWAYS_INLINE std::uint32_t TreeBit(std::uint16_t& prob) {
    const std::uint32_t p = prob;
    const std::uint32_t bound = (range >> 11) * p;
    const std::uint32_t bit = code >= bound ? 1u : 0u;
    const std::uint32_t mask = 0u - bit;
    code -= bound & mask;
    range = bit ? range - bound : bound;
    const auto target = static_cast<std::int32_t>(~mask & 2017u);
    const auto sp = static_cast<std::int32_t>(p);
    prob = static_cast<std::uint16_t>(sp - ((sp - target) >> 5));
    Normalize();
    return bit;
  }

  // Bits with fixed probability one half.
  TVL_ALWAYS_INLINE std::uint32_t Direct(unsigned count) {
    std::uint32_t result = 0;
    do {
      range >>= 1;
      code -= range;
      const std::uint32_t mask = 0u - (code >> 31);  // all ones when the bit is 0
      code += range & mask;
      result = (result << 1) + (mask + 1);
      Normalize();
    } while (--count != 0);
    return result;
  }

  template <unsigned kBits>
  TVL_ALWAYS_INLINE std::uint32_t Tree(std::uint16_t* probs) {
    std::uint32_t m = 1;
    for (unsigned i = 0; i < kBits; ++i) m = (m << 1) | TreeBit(probs[m]);
    return m - (1u << kBits);
  }

  TVL_ALWAYS_INLINE std::uint32_t ReverseTree(std::uint16_t* probs, unsigned bits) {
    std::uint32_t m = 1;
    std::uint32_t symbol = 0;
    for (unsigned i = 0; i < bits; ++i) {
      const std::uint32_t bit = TreeBit(probs[m]);
      m = (m << 1) + bit;
      symbol |= bit << i;
    }
    return symbol;
  }

  TVL_ALWAYS_INLINE std::uint32_t Length(LengthProbs& probs, unsigned pos_state) {
    if (Bit(probs.choice) == 0) return Tree<3>(probs.low[pos_state]);
    if (Bit(probs.choice2) == 0) return 8 + Tree<3>(probs.mid[pos_state]);
    return 16 + Tree<8>(probs.high);
  }
};

void InitProbs(std::uint16_t& prob) {
  prob = kProbInit;
}
template <typename T, std::size_t N>
void InitProbs(T (&probs)[N]) {
  for (T& p : probs) InitProbs(p);
}
void InitProbs(LengthProbs& p) {
  InitProbs(p.choice);
  InitProbs(p.choice2);
  InitProbs(p.low);
  InitProbs(p.mid);
  InitProbs(p.high);
}
void InitProbs(Model& m) {
  InitProbs(m.is_match);
  InitProbs(m.is_rep);
  InitProbs(m.is_rep_g0);
  InitProbs(m.is_rep_g1);
  InitProbs(m.is_rep_g2);
  InitProbs(m.is_rep0_long);
  InitProbs(m.dist_slot);
  InitProbs(m.dist_special);
  InitProbs(m.align);
  InitProbs(m.len);
  InitProbs(m.rep_len);
}

struct Properties {
  unsigned lc;
  unsigned lp;
  unsigned pb;
};

Properties ParseLcLpPb(std::uint8_t byte) {
  if (byte >= 9 * 5 * 5) Corrupt("invalid lc/lp/pb properties");
  return {byte % 9u, (byte / 9u) % 5u, byte / 45u};
}

class LzmaCore {
 public:
  enum class Stop {
    kLimit,      // the requested output is there
    kEndMarker,  // the stream's end marker was decoded
    kInputEnd,   // the packed input ended cleanly after the last whole symbol
  };

  // `size` is what the dictionary has to hold; the ring is a multiple of 16 so that positions
  // stay aligned for lp and pb when it wraps.
  explicit LzmaCore(std::uint64_t size) {
    size = std::max<std::uint64_t>((size + 15) & ~std::uint64_t{15}, 16);
    try {
      dict_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size) +
                                                             2 * kCopySlack);
    } catch (const std::bad_alloc&) {
      Fail(ErrorCode::kOutOfMemory, "no memory for an LZMA dictionary of " + MiB(size));
    }
    window_ = static_cast<std::size_t>(size);
    dict_size_ = window_ + kCopySlack;
  }

  void SetProperties(Properties props) {
    lc_ = props.lc;
    lp_mask_ = (1u << props.lp) - 1;
    pb_mask_ = (1u << props.pb) - 1;
    literal_.resize(std::size_t{0x300} << (props.lc + props.lp));
  }

  void ResetState() {
    InitProbs(model_);
    std::fill(literal_.begin(), literal_.end(), kProbInit);
    state_ = 0;
    rep0_ = rep1_ = rep2_ = rep3_ = 0;
    pending_len_ = 0;
  }

  void ResetDictionary() {
    pos_ = 0;
    full_ = false;
  }

  // Reads the 5 bytes that start a range coded stream, counting them against `unit_left`.
  void StartRange(InputBuffer& input, std::uint64_t& unit_left) {
    if (unit_left < 5) Corrupt("packed data too short");
    unit_left -= 5;
    if (input.Byte("packed data ends early") != 0) Corrupt("range coder start byte is not 0");
    std::uint32_t code = 0;
    for (int i = 0; i < 4; ++i) code = (code << 8) | input.Byte("packed data ends early");
    if (code == 0xFFFFFFFFu) Corrupt("invalid range coder start");
    range_ = 0xFFFFFFFFu;
    code_ = code;
  }

  // Where the next byte goes, after wrapping the ring buffer; Room() bytes fit from there.
  std::size_t BeginWrite() {
    if (pos_ == dict_size_) {
      pos_ = 0;
      full_ = true;
    }
    return pos_;
  }
  std::size_t Room() const { return dict_size_ - pos_; }
  std::size_t pos() const { return pos_; }
  const std::uint8_t* dict() const { return dict_.get(); }
  bool RangeFinished() const { return code_ == 0; }
  bool MatchPending() const { return pending_len_ != 0; }

  // Stored data (LZMA2 uncompressed chunks): n <= Room() after BeginWrite().
  void PutStored(const std::uint8_t* data, std::size_t n) {
    std::memcpy(dict_.get() + pos_, data, n);
    pos_ += n;
  }

  // Decodes into the dictionary until `limit` (BeginWrite() < limit <= BeginWrite() + Room()).
  // Packed bytes are taken from `input`, no more than `unit_left` of them.
  Stop Decode(InputBuffer& input, std::uint64_t& unit_left, std::size_t limit);

 private:
  std::unique_ptr<std::uint8_t[]> dict_;
  std::size_t dict_size_ = 0;  // the ring's size
  std::size_t window_ = 0;     // the longest distance a match may reach back
  std::size_t pos_ = 0;
  bool full_ = false;

  Model model_{};
  std::vector<std::uint16_t> literal_;
  unsigned lc_ = 0;
  unsigned lp_mask_ = 0;
  unsigned pb_mask_ = 0;

  unsigned state_ = 0;
  std::uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
  std::uint32_t pending_len_ = 0;  // rest of a match cut short by the output limit
  std::uint32_t range_ = 0;
  std::uint32_t code_ = 0;
};

LzmaCore::Stop LzmaCore::Decode(InputBuffer& input, std::uint64_t& unit_left, std::size_t limit) {
  std::uint8_t* const d = dict_.get();
  const std::size_t dict_size = dict_size_;
  const std::size_t window = window_;
  std::size_t pos = pos_;
  const bool full = full_;

  unsigned state = state_;
  std::uint32_t rep0 = rep0_, rep1 = rep1_, rep2 = rep2_, rep3 = rep3_;
  const unsigned lc = lc_;
  const unsigned lp_mask = lp_mask_;
  const unsigned pb_mask = pb_mask_;
  std::uint16_t* const literal = literal_.data();
  Model& m = model_;

  // Copies `len` bytes from distance rep0 + 1 (already checked against what the dictionary
  // holds), stopping at the limit and remembering the rest.
  const auto copy_match = [&](std::uint32_t len) TVL_INLINE_LAMBDA {
    const std::size_t n = std::min<std::size_t>(len, limit - pos);
    pending_len_ = static_cast<std::uint32_t>(len - n);
    std::size_t src = pos > rep0 ? pos - rep0 - 1 : pos + dict_size - rep0 - 1;
    if (src + n <= dict_size) {
      std::uint8_t* out = d + pos;
      const std::uint8_t* from = d + src;
      if (rep0 >= 7) {
        // Eight bytes at a time: at a distance of 8 or more, each piece is read before it is
        // written (also when the source lies after the destination, in the older part of the
        // ring). The last piece may run into the slack.
        std::size_t i = 0;
        do {
          std::uint64_t piece;
          std::memcpy(&piece, from + i, 8);
          std::memcpy(out + i, &piece, 8);
          i += 8;
        } while (i < n);
      } else if (rep0 == 0) {
        std::memset(out, *from, n);
      } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = from[i];
      }
      pos += n;
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        d[pos++] = d[src++];
        if (src == dict_size) src = 0;
      }
    }
  };

  if (pending_len_ != 0) {
    copy_match(pending_len_);
    if (pos == limit) {
      pos_ = pos;
      return Stop::kLimit;
    }
  }

  RangeDecoder rc{range_, code_, input.begin()};
  const std::uint8_t* in_start = rc.in;
  const std::uint8_t* in_end = rc.in;   // end of the packed bytes at hand
  const std::uint8_t* in_safe = rc.in;  // below this, a whole symbol is surely at hand
  std::uint32_t prev = pos > 0 ? d[pos - 1] : (full ? d[dict_size - 1] : 0u);

  const auto save = [&] {
    pos_ = pos;
    state_ = state;
    rep0_ = rep0;
    rep1_ = rep1;
    rep2_ = rep2;
    rep3_ = rep3;
    range_ = rc.range;
    code_ = rc.code;
    const auto used = static_cast<std::size_t>(rc.in - in_start);
    input.Consume(used);
    unit_left -= used;
  };

  // Near the end of the packed bytes every symbol is decoded from a snapshot, so that one that
  // needed bytes beyond the end can be taken back. That is the normal end of a stream without
  // end marker whose length is not known here: all input used, the range coder at rest (code
  // 0), and nothing more to decode. Anywhere else it is truncated data.
  struct Snapshot {
    bool taken = false;
    bool input_used_up = false;
    std::size_t pos = 0;
    unsigned state = 0;
    std::uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0, range = 0, code = 0, prev = 0;
  } snap;
  const auto ran_past_end = [&]() -> bool {
    if (rc.in <= in_end) return false;
    if (!snap.taken || !snap.input_used_up || snap.code != 0) {
      Corrupt("packed data ends in the middle of a symbol");
    }
    pos = snap.pos;
    state = snap.state;
    rep0 = snap.rep0;
    rep1 = snap.rep1;
    rep2 = snap.rep2;
    rep3 = snap.rep3;
    rc.range = snap.range;
    rc.code = snap.code;
    prev = snap.prev;
    rc.in = in_end;
    pending_len_ = 0;
    return true;
  };

  Stop stop = Stop::kLimit;
  while (pos < limit) {
    if (rc.in >= in_safe) {
      if (ran_past_end()) {
        stop = Stop::kInputEnd;
        break;
      }
      const auto used = static_cast<std::size_t>(rc.in - in_start);
      input.Consume(used);
      unit_left -= used;
      if (input.available() < kMaxSymbolInput && unit_left > input.available()) {
        input.Fill(static_cast<std::size_t>(std::min<std::uint64_t>(kMaxSymbolInput, unit_left)));
      }
      in_start = rc.in = input.begin();
      const auto at_hand =
          static_cast<std::size_t>(std::min<std::uint64_t>(input.available(), unit_left));
      in_end = rc.in + at_hand;
      if (at_hand > kMaxSymbolInput) {
        in_safe = in_end - kMaxSymbolInput;
        snap.taken = false;
      } else {
        in_safe = rc.in;
        snap = {true, at_hand == 0, pos, state, rep0, rep1, rep2, rep3, rc.range, rc.code, prev};
      }
    }

    const unsigned pos_state = static_cast<unsigned>(pos) & pb_mask;
    if (rc.Bit(m.is_match[state][pos_state]) == 0) {
      std::uint16_t* probs =
          literal + 0x300 * (((static_cast<unsigned>(pos) & lp_mask) << lc) + (prev >> (8 - lc)));
      std::uint32_t symbol = 1;
      if (state < 7) {
        do {
          symbol = (symbol << 1) | rc.TreeBit(probs[symbol]);
        } while (symbol < 0x100);
      } else {
        // While the decoded bits equal those of the byte at rep0, the probabilities come from
        // the upper two 256-entry halves, chosen by the match byte's bit; from the first
        // difference on, from the plain lower half. `offset` is 0x100 until then, 0 after.
        std::uint32_t match_byte = d[pos > rep0 ? pos - rep0 - 1 : pos + dict_size - rep0 - 1];
        std::uint32_t offset = 0x100;
        do {
          match_byte <<= 1;
          const std::uint32_t match_bit = match_byte & offset;
          const std::uint32_t bit = rc.TreeBit(probs[offset + match_bit + symbol]);
          symbol = (symbol << 1) | bit;
          offset &= bit ? match_bit : ~match_bit;
        } while (symbol < 0x100);
      }
      prev = symbol & 0xFF;
      d[pos++] = static_cast<std::uint8_t>(prev);
      state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
      continue;
    }

    std::uint32_t len;
    if (rc.Bit(m.is_rep[state]) == 0) {
      len = rc.Length(m.len, pos_state);
      state = state < 7 ? 7 : 10;
      const unsigned slot = rc.Tree<6>(m.dist_slot[std::min<std::uint32_t>(len, 3)]);
      std::uint32_t dist;
      if (slot < 4) {
        dist = slot;
      } else {
        const unsigned direct = (slot >> 1) - 1;
        dist = (2u | (slot & 1u)) << direct;
        if (slot < 14) {
          dist += rc.ReverseTree(m.dist_special + dist - slot, direct);
        } else {
          dist += rc.Direct(direct - 4) << 4;
          // A far match's source is likely not in the cache: ask for it while the last four
          // bits are decoded.
          if (dist < window)
            TVL_PREFETCH(d + (pos > dist ? pos - dist - 1 : pos + dict_size - dist - 1));
          dist += rc.ReverseTree(m.align, 4);
        }
      }
      if (dist == 0xFFFFFFFFu) {
        stop = ran_past_end() ? Stop::kInputEnd : Stop::kEndMarker;
        break;
      }
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      rep0 = dist;
    } else {
      if (rc.Bit(m.is_rep_g0[state]) == 0) {
        if (rc.Bit(m.is_rep0_long[state][pos_state]) == 0) {
          state = state < 7 ? 9 : 11;
          if (rep0 >= (full ? window : std::min(pos, window))) {
            Corrupt("match distance beyond the decoded data");
          }
          prev = d[pos > rep0 ? pos - rep0 - 1 : pos + dict_size - rep0 - 1];
          d[pos++] = static_cast<std::uint8_t>(prev);
          continue;
        }
      } else {
        std::uint32_t dist;
        if (rc.Bit(m.is_rep_g1[state]) == 0) {
          dist = rep1;
        } else {
          if (rc.Bit(m.is_rep_g2[state]) == 0) {
            dist = rep2;
          } else {
            dist = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = dist;
      }
      len = rc.Length(m.rep_len, pos_state);
      state = state < 7 ? 8 : 11;
    }
    if (rep0 >= (full ? window : std::min(pos, window))) {
      Corrupt("match distance beyond the decoded data");
    }
    copy_match(len + 2);
    prev = d[pos - 1];
  }
  if (stop == Stop::kLimit && ran_past_end()) stop = Stop::kInputEnd;
  save();
  return stop;
}

class LzmaDecoder final : public InStream {
 public:
  LzmaDecoder(Properties props, std::uint64_t dictionary_size, std::uint64_t unpack_size,
              std::unique_ptr<InStream> input)
      : input_(std::move(input)),
        core_(std::min(dictionary_size, unpack_size)),
        size_known_(unpack_size != kUnknownUnpackSize),
        remaining_(unpack_size) {
    core_.SetProperties(props);
    core_.ResetState();
  }

  std::size_t Read(std::span<std::byte> out) override {
    std::size_t done = 0;
    while (done < out.size() && !finished_) {
      const std::uint64_t want = std::min<std::uint64_t>(out.size() - done, remaining_);
      if (want == 0) {
        finished_ = true;
        break;
      }
      if (!started_) {
        core_.StartRange(input_, packed_left_);
        started_ = true;
      }
      const std::size_t start = core_.BeginWrite();
      const std::size_t limit =
          start + static_cast<std::size_t>(std::min<std::uint64_t>(want, core_.Room()));
      const LzmaCore::Stop stop = core_.Decode(input_, packed_left_, limit);
      const std::size_t n = core_.pos() - start;
      std::memcpy(out.data() + done, core_.dict() + start, n);
      done += n;
      if (size_known_) remaining_ -= n;
      if (stop == LzmaCore::Stop::kEndMarker) {
        if (size_known_ && remaining_ != 0) Corrupt("end marker before the stated size");
        finished_ = true;
      } else if (stop == LzmaCore::Stop::kInputEnd) {
        if (size_known_ || !core_.RangeFinished()) Corrupt("packed data ends early");
        finished_ = true;
      }
    }
    return done;
  }

 private:
  InputBuffer input_;
  LzmaCore core_;
  bool size_known_;
  std::uint64_t remaining_;
  std::uint64_t packed_left_ = kUnknownUnpackSize;
  bool started_ = false;
  bool finished_ = false;
};

class Lzma2Decoder final : public InStream {
 public:
  // A dictionary smaller than the declared one (bounded by a known output size) is safe: a
  // distance beyond what it holds is reported as corrupt data.
  Lzma2Decoder(std::uint64_t dictionary_size, std::unique_ptr<InStream> input)
      : input_(std::move(input)), core_(dictionary_size) {}

  std::size_t Read(std::span<std::byte> out) override {
    std::size_t done = 0;
    while (done < out.size() && !finished_) {
      if (chunk_left_ == 0) {
        StartChunk();
        continue;
      }
      const std::size_t start = core_.BeginWrite();
      const std::size_t n_max = static_cast<std::size_t>(
          std::min<std::uint64_t>({out.size() - done, core_.Room(), chunk_left_}));
      if (stored_) {
        input_.Fill(std::min(n_max, kInputBufferSize));
        const std::size_t n = std::min(n_max, input_.available());
        if (n == 0) Corrupt("stored chunk ends early");
        core_.PutStored(input_.begin(), n);
        input_.Consume(n);
      } else {
        const LzmaCore::Stop stop = core_.Decode(input_, packed_left_, start + n_max);
        if (stop == LzmaCore::Stop::kEndMarker) Corrupt("end marker inside an LZMA2 chunk");
        if (stop == LzmaCore::Stop::kInputEnd) Corrupt("chunk's packed data ends early");
      }
      const std::size_t n = core_.pos() - start;
      std::memcpy(out.data() + done, core_.dict() + start, n);
      done += n;
      chunk_left_ -= n;
      if (chunk_left_ == 0 && !stored_ &&
          (packed_left_ != 0 || !core_.RangeFinished() || core_.MatchPending())) {
        Corrupt("LZMA2 chunk sizes do not match its data");
      }
    }
    return done;
  }

 private:
  void StartChunk() {
    const std::uint8_t control = input_.Byte("LZMA2 data ends without an end marker");
    if (control == 0x00) {
      finished_ = true;
      return;
    }
    if (control == 0x01 || control >= 0xE0) {
      core_.ResetDictionary();
      need_dictionary_reset_ = false;
    } else if (need_dictionary_reset_) {
      Corrupt("the first LZMA2 chunk does not reset the dictionary");
    }
    if (control < 0x80) {
      if (control > 0x02) Corrupt("invalid LZMA2 chunk type");
      // After a dictionary reset the next LZMA chunk must bring its properties.
      if (control == 0x01) need_properties_ = true;
      stored_ = true;
      chunk_left_ = ReadSize() + 1;
      return;
    }
    stored_ = false;
    chunk_left_ = (std::uint64_t{control & 0x1Fu} << 16) + ReadSize() + 1;
    packed_left_ = ReadSize() + 1;
    if (control >= 0xC0) {
      const Properties props = ParseLcLpPb(input_.Byte("LZMA2 chunk header ends early"));
      if (props.lc + props.lp > 4) Corrupt("LZMA2 chunk with lc + lp above 4");
      core_.SetProperties(props);
      need_properties_ = false;
    } else if (need_properties_) {
      Corrupt("LZMA2 chunk without properties after a dictionary reset");
    }
    if (control >= 0xA0) core_.ResetState();
    core_.StartRange(input_, packed_left_);
  }

  std::uint32_t ReadSize() {
    const std::uint32_t high = input_.Byte("LZMA2 chunk header ends early");
    return (high << 8) | input_.Byte("LZMA2 chunk header ends early");
  }

  InputBuffer input_;
  LzmaCore core_;
  std::uint64_t chunk_left_ = 0;
  std::uint64_t packed_left_ = 0;
  bool stored_ = false;
  bool need_dictionary_reset_ = true;
  bool need_properties_ = true;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<InStream> MakeLzmaDecoder(std::span<const std::uint8_t> properties,
                                          std::uint64_t unpack_size,
                                          std::unique_ptr<InStream> input) {
  if (properties.size() != 5) Corrupt("LZMA properties are not 5 bytes");
  const Properties props = ParseLcLpPb(properties[0]);
  std::uint32_t dictionary_size = 0;
  for (int i = 4; i >= 1; --i) dictionary_size = (dictionary_size << 8) | properties[i];
  CheckDictionarySize(dictionary_size);
  dictionary_size = std::max(dictionary_size, kMinDictionarySize);
  return std::make_unique<LzmaDecoder>(props, dictionary_size, unpack_size, std::move(input));
}

std::unique_ptr<InStream> MakeLzma2Decoder(std::span<const std::uint8_t> properties,
                                           std::uint64_t unpack_size,
                                           std::unique_ptr<InStream> input) {
  if (properties.size() != 1) Corrupt("LZMA2 properties are not 1 byte");
  const unsigned p = properties[0];
  if (p > 40) Corrupt("invalid LZMA2 dictionary size");
  const std::uint64_t dictionary_size =
      p == 40 ? 0xFFFFFFFFu : std::uint64_t{2u | (p & 1u)} << (p / 2 + 11);
  CheckDictionarySize(dictionary_size);
  return std::make_unique<Lzma2Decoder>(std::min(dictionary_size, unpack_size), std::move(input));
}

}  // namespace tvl
