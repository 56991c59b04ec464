// PPMd variant H decoder.
//
// The model predicts each byte from the bytes before it: a tree of contexts (the last 1 to
// `order` bytes), each holding the symbols seen after it with their frequencies. A symbol is
// coded in the longest context that has been seen; when that context lacks it an escape is
// coded and the next shorter context (its suffix) is tried, without the symbols already ruled
// out, down to the order-0 context that holds all 256. Contexts with a single symbol code a
// binary decision whose probability comes from an adaptive table (BinSumm); escapes from larger
// contexts get their frequency from secondary estimation (SEE) tables.
//
// All of the model lives in one pool of the declared memory size and is addressed by 32-bit
// offsets into it. The pool holds, from the bottom, the text (the symbols seen, which unfinished
// contexts point into) growing up, and the units area of 12-byte units above it: symbol arrays
// allocated from its bottom (LoUnit) up, contexts from its top (HiUnit) down, freed blocks on
// lists by size. When the memory runs out the whole model starts over. The encoder does the
// same, so every decision here that can change when memory runs out (which block is reused,
// when free blocks are merged) must match it exactly.
//
// Layouts in the pool (fields in host byte order, read with memcpy, so no alignment or aliasing
// assumptions):
//   state (6 bytes): symbol, frequency, successor offset (a context, or a place in the text)
//   context (12 bytes): number of symbols (16 bits), sum of frequencies (16 bits), offset of
//     its symbol array, offset of its suffix; a context with one symbol keeps that state in
//     place of the sum and the array offset (at byte 2)
//   free block: a 16-bit stamp (0 while merging free blocks; nonzero for anything in use,
//     whose first field is then a symbol count or a state's symbol and nonzero frequency),
//     its size in units, and two list links
//
// Packed bytes come through a large buffer; the symbol loop reads it through a plain pointer and
// checks the bounds once per symbol, since one symbol never takes more than kMaxSymbolInput
// bytes.
#include "tvl/core/ppmd_decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tvl/core/compiler_hints.h"
#include "tvl/core/lzma_decoder.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

// Checks of the model's own consistency. Every offset in the model comes from its allocator or
// from the text pointer, and every change to it follows from the symbols decoded; any sequence
// of symbols is one an encoder can model, so no input can make the model inconsistent. These
// checks guard only against faults of this code: debug builds (the tests and the fuzz harness)
// make them and stop the program when one fails, as an assertion would, so that a fault cannot
// pass for corrupt data; release builds leave them out of the loops that run for every symbol.
// Everything the input decides (the code against the frequency total, the escapes, the packed
// bytes) is checked in every build and reported as corrupt data.
#if defined(NDEBUG)
#define TVL_MODEL_CHECK(ok, what) static_cast<void>(sizeof(ok))
#else
#define TVL_MODEL_CHECK(ok, what) \
  do {                            \
    if (!(ok)) ModelFault(what);  \
  } while (false)
#endif

constexpr std::size_t kInputBufferSize = 64 * 1024;
// A symbol takes one range decoder step per context it visits (at most kPpmdMaxOrder + 1), and
// each step reads at most 2 bytes; rounded up.
constexpr std::size_t kMaxSymbolInput = 256;

constexpr std::uint32_t kUnitSize = 12;
constexpr std::uint32_t kStateSize = 6;
constexpr unsigned kNumIndexes = 38;  // block sizes 1..4, 6..12 by 2, 15..24 by 3, 28..128 by 4
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntervalBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr std::uint32_t kBinScale = 1u << (kIntervalBits + kPeriodBits);
constexpr std::uint32_t kTop = 1u << 24;

constexpr std::uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                          0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr std::uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

#if !defined(NDEBUG)
[[noreturn]] TVL_NOINLINE void ModelFault(const char* what) {
  std::fprintf(stderr, "PPMd model fault: %s\n", what);
  std::abort();
}
#endif

[[noreturn]] TVL_NOINLINE void Corrupt(const char* what) {
  Fail(ErrorCode::kCorrupt, std::string("PPMd data is corrupt: ") + what);
}

TVL_ALWAYS_INLINE std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
TVL_ALWAYS_INLINE std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
TVL_ALWAYS_INLINE void Store16(std::uint8_t* p, std::uint32_t v) {
  const auto x = static_cast<std::uint16_t>(v);
  std::memcpy(p, &x, 2);
}
TVL_ALWAYS_INLINE void Store32(std::uint8_t* p, std::uint32_t v) {
  std::memcpy(p, &v, 4);
}

// Fields of a context.
TVL_ALWAYS_INLINE unsigned NumStats(const std::uint8_t* c) {
  return Load16(c);
}
TVL_ALWAYS_INLINE void SetNumStats(std::uint8_t* c, unsigned n) {
  Store16(c, n);
}
TVL_ALWAYS_INLINE unsigned SummFreq(const std::uint8_t* c) {
  return Load16(c + 2);
}
TVL_ALWAYS_INLINE void SetSummFreq(std::uint8_t* c, unsigned f) {
  Store16(c + 2, f);
}
TVL_ALWAYS_INLINE std::uint32_t StatsRef(const std::uint8_t* c) {
  return Load32(c + 4);
}
TVL_ALWAYS_INLINE void SetStatsRef(std::uint8_t* c, std::uint32_t ref) {
  Store32(c + 4, ref);
}
TVL_ALWAYS_INLINE std::uint32_t SuffixRef(const std::uint8_t* c) {
  return Load32(c + 8);
}
TVL_ALWAYS_INLINE void SetSuffixRef(std::uint8_t* c, std::uint32_t ref) {
  Store32(c + 8, ref);
}
TVL_ALWAYS_INLINE std::uint8_t* OneState(std::uint8_t* c) {
  return c + 2;
}

// Fields of a state.
TVL_ALWAYS_INLINE std::uint32_t Successor(const std::uint8_t* s) {
  return Load32(s + 2);
}
TVL_ALWAYS_INLINE void SetSuccessor(std::uint8_t* s, std::uint32_t ref) {
  Store32(s + 2, ref);
}
TVL_ALWAYS_INLINE void CopyState(std::uint8_t* to, const std::uint8_t* from) {
  std::memcpy(to, from, kStateSize);
}
TVL_ALWAYS_INLINE void SwapStates(std::uint8_t* a, std::uint8_t* b) {
  std::uint8_t t[kStateSize];
  std::memcpy(t, a, kStateSize);
  std::memcpy(a, b, kStateSize);
  std::memcpy(b, t, kStateSize);
}

// Fields of a free block.
TVL_ALWAYS_INLINE unsigned Stamp(const std::uint8_t* n) {
  return Load16(n);
}
TVL_ALWAYS_INLINE unsigned BlockUnits(const std::uint8_t* n) {
  return Load16(n + 2);
}
TVL_ALWAYS_INLINE std::uint32_t NextRef(const std::uint8_t* n) {
  return Load32(n + 4);
}
TVL_ALWAYS_INLINE std::uint32_t PrevRef(const std::uint8_t* n) {
  return Load32(n + 8);
}

// Secondary escape estimation: a running sum of escape frequencies and its scale.
struct See {
  std::uint16_t summ;
  std::uint8_t shift;
  std::uint8_t count;

  // The escape frequency it predicts now (at least 1); the sum decays by what it gives.
  std::uint32_t Mean() {
    const unsigned r = summ >> shift;
    summ = static_cast<std::uint16_t>(summ - r);
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<std::uint16_t>(summ << 1);
      count = static_cast<std::uint8_t>(3u << shift++);
    }
  }
};

// Tables that depend on nothing but the format.
struct Tables {
  std::uint8_t index_to_units[kNumIndexes];
  std::uint8_t units_to_index[128];
  std::uint8_t ns_to_index[256];     // SEE row by number of symbols left after masking
  std::uint8_t ns_to_bs_index[256];  // BinSumm column part by the suffix's number of symbols
  std::uint8_t hb_to_flag[256];      // 8 for symbols 0x40 and up

  constexpr Tables()
      : index_to_units{}, units_to_index{}, ns_to_index{}, ns_to_bs_index{}, hb_to_flag{} {
    unsigned k = 0;
    for (unsigned i = 0; i < kNumIndexes; ++i) {
      unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
      do {
        units_to_index[k++] = static_cast<std::uint8_t>(i);
      } while (--step != 0);
      index_to_units[i] = static_cast<std::uint8_t>(k);
    }
    ns_to_bs_index[0] = 0;
    ns_to_bs_index[1] = 2;
    for (unsigned i = 2; i < 11; ++i) ns_to_bs_index[i] = 4;
    for (unsigned i = 11; i < 256; ++i) ns_to_bs_index[i] = 6;
    for (unsigned i = 0; i < 3; ++i) ns_to_index[i] = static_cast<std::uint8_t>(i);
    unsigned m = 3;
    unsigned left = 1;
    for (unsigned i = 3; i < 256; ++i) {
      ns_to_index[i] = static_cast<std::uint8_t>(m);
      if (--left == 0) left = ++m - 2;
    }
    for (unsigned i = 0; i < 256; ++i) hb_to_flag[i] = i < 0x40 ? 0 : 8;
  }
};
constexpr Tables kTables;

class PpmdDecoder final : public InStream {
 public:
  PpmdDecoder(unsigned order, std::uint32_t memory, std::uint64_t unpack_size,
              std::unique_ptr<InStream> input)
      : input_(std::move(input)),
        input_buffer_(kInputBufferSize + kMaxSymbolInput),
        size_known_(unpack_size != kUnknownUnpackSize),
        remaining_(unpack_size),
        max_order_(order),
        size_(memory),
        align_offset_(4 - (memory & 3)) {
    // Below the text lie a few unused bytes so that no offset in use is 0 (which means "none"),
    // and past the units area one more unit that heads the list of free blocks while they are
    // merged.
    // The pool starts zeroed (calloc leaves fresh pages untouched), so that nothing depends on
    // what the memory held before.
    const std::size_t pool_size = std::size_t{align_offset_} + size_ + kUnitSize;
    pool_.reset(static_cast<std::uint8_t*>(std::calloc(pool_size, 1)));
    if (!pool_) {
      Fail(ErrorCode::kOutOfMemory,
           "no memory for a PPMd model of " + std::to_string(memory >> 20) + " MiB");
    }
    base_ = pool_.get();
    in_ = in_end_ = in_safe_ = input_buffer_.data();
    dummy_see_ = {0, kPeriodBits, 64};
    RestartModel();
  }

  std::size_t Read(std::span<std::byte> out) override {
    if (finished_) return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining_));
    if (n == 0) {
      finished_ = true;
      return 0;
    }
    if (!started_) {
      StartRange();
      started_ = true;
    }
    auto* const dst = reinterpret_cast<std::uint8_t*>(out.data());
    std::size_t done = 0;
    for (; done < n; ++done) {
      if (TVL_UNLIKELY(in_ >= in_safe_)) Refill();
      const int symbol = DecodeSymbol();
      if (TVL_UNLIKELY(symbol < 0)) {
        if (symbol != -1) Corrupt("impossible symbol count");
        if (size_known_) Corrupt("end marker before the stated size");
        finished_ = true;
        break;
      }
      dst[done] = static_cast<std::uint8_t>(symbol);
    }
    if (in_ > in_end_) Corrupt("packed data ends early");
    if (size_known_) remaining_ -= done;
    return done;
  }

 private:
  // ---- Packed input and the range decoder ----

  // Makes at least kMaxSymbolInput bytes readable at in_: real input where there is any, and
  // zeros past its end, which a symbol may read but must not keep (checked after it).
  TVL_NOINLINE void Refill() {
    if (in_ > in_end_) Corrupt("packed data ends early");
    std::uint8_t* const buffer = input_buffer_.data();
    std::size_t have = static_cast<std::size_t>(in_end_ - in_);
    std::memmove(buffer, in_, have);
    while (!eof_ && have < kInputBufferSize) {
      const std::size_t room = kInputBufferSize - have;
      const std::size_t got = input_->Read(std::as_writable_bytes(std::span(buffer + have, room)));
      if (got > room) Fail(ErrorCode::kInternal, "input stream returned more than asked");
      if (got == 0) eof_ = true;
      have += got;
      if (have >= kMaxSymbolInput) break;
    }
    in_ = buffer;
    in_end_ = buffer + have;
    if (have >= kMaxSymbolInput) {
      in_safe_ = in_end_ - kMaxSymbolInput;
    } else {
      // The last bytes: every symbol comes back here and is checked.
      std::memset(buffer + have, 0, kMaxSymbolInput);
      in_safe_ = in_;
    }
  }

  void StartRange() {
    Refill();
    if (in_[0] != 0) Corrupt("range coder start byte is not 0");
    code_ = Load32BigEndian(in_ + 1);
    in_ += 5;
    if (in_ > in_end_) Corrupt("packed data too short");
    if (code_ == 0xFFFFFFFFu) Corrupt("invalid range coder start");
    range_ = 0xFFFFFFFFu;
  }

  static std::uint32_t Load32BigEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  }

  TVL_ALWAYS_INLINE void Normalize() {
    if (range_ < kTop) {
      code_ = (code_ << 8) | *in_++;
      range_ <<= 8;
      if (range_ < kTop) {
        code_ = (code_ << 8) | *in_++;
        range_ <<= 8;
      }
    }
  }
  // The position of the code within `total` equal parts of the range; the range is left
  // divided by `total`, ready for Decode.
  TVL_ALWAYS_INLINE std::uint32_t GetThreshold(std::uint32_t total) {
    range_ /= total;
    return code_ / range_;
  }
  TVL_ALWAYS_INLINE void Decode(std::uint32_t start, std::uint32_t size) {
    code_ -= start * range_;
    range_ *= size;
    Normalize();
  }

  // ---- The sub-allocator ----

  std::uint32_t Ref(const std::uint8_t* p) const { return static_cast<std::uint32_t>(p - base_); }
  std::uint8_t* Ptr(std::uint32_t ref) const { return base_ + ref; }
  static unsigned I2U(unsigned index) { return kTables.index_to_units[index]; }
  static unsigned U2I(unsigned units) { return kTables.units_to_index[units - 1]; }

  void InsertNode(std::uint8_t* node, unsigned index) {
    Store32(node, free_list_[index]);
    free_list_[index] = Ref(node);
  }
  std::uint8_t* RemoveNode(unsigned index) {
    std::uint8_t* node = Ptr(free_list_[index]);
    free_list_[index] = Load32(node);
    return node;
  }

  // Puts the tail of a block of size index `old_index`, beyond the first I2U(new_index) units,
  // on the free lists.
  void SplitBlock(std::uint8_t* block, unsigned old_index, unsigned new_index) {
    const unsigned nu = I2U(old_index) - I2U(new_index);
    std::uint8_t* p = block + I2U(new_index) * kUnitSize;
    unsigned i = U2I(nu);
    if (I2U(i) != nu) {
      const unsigned k = I2U(--i);
      InsertNode(p + k * kUnitSize, nu - k - 1);
    }
    InsertNode(p, i);
  }

  // Merges free blocks that lie next to each other and sorts them onto the lists again.
  TVL_NOINLINE void GlueFreeBlocks() {
    // The list head sits in the spare unit past the units area; as a block it has stamp 1, so
    // merging stops there, as it does at LoUnit (marked the same way) and at any block in use.
    const std::uint32_t head = align_offset_ + size_;
    std::uint32_t n = head;
    glue_count_ = 255;

    // One doubly-linked list of every free block.
    for (unsigned i = 0; i < kNumIndexes; ++i) {
      const auto nu = static_cast<std::uint16_t>(I2U(i));
      std::uint32_t next = free_list_[i];
      free_list_[i] = 0;
      while (next != 0) {
        std::uint8_t* node = Ptr(next);
        Store32(node + 4, n);       // Next
        Store32(Ptr(n) + 8, next);  // Prev of the one before
        n = next;
        next = Load32(node);
        Store16(node, 0);
        Store16(node + 2, nu);
      }
    }
    std::uint8_t* const head_node = Ptr(head);
    Store16(head_node, 1);
    Store32(head_node + 4, n);
    Store32(Ptr(n) + 8, head);
    if (lo_unit_ != hi_unit_) Store16(lo_unit_, 1);

    // Each block swallows the free blocks right after it, while the size fits 16 bits.
    while (n != head) {
      std::uint8_t* node = Ptr(n);
      std::uint32_t nu = BlockUnits(node);
      for (;;) {
        std::uint8_t* node2 = node + nu * kUnitSize;
        nu += BlockUnits(node2);
        if (Stamp(node2) != 0 || nu >= 0x10000) break;
        Store32(Ptr(PrevRef(node2)) + 4, NextRef(node2));
        Store32(Ptr(NextRef(node2)) + 8, PrevRef(node2));
        Store16(node + 2, nu);
      }
      n = NextRef(node);
    }

    // Back onto the lists, cut into pieces of the listed sizes.
    for (n = NextRef(head_node); n != head;) {
      std::uint8_t* node = Ptr(n);
      const std::uint32_t next = NextRef(node);
      unsigned nu = BlockUnits(node);
      for (; nu > 128; nu -= 128, node += 128 * kUnitSize) InsertNode(node, kNumIndexes - 1);
      unsigned i = U2I(nu);
      if (I2U(i) != nu) {
        const unsigned k = I2U(--i);
        InsertNode(node + k * kUnitSize, nu - k - 1);
      }
      InsertNode(node, i);
      n = next;
    }
  }

  // A block of size index `index` when the free list of that size is empty and the gap between
  // LoUnit and HiUnit is too small: from merged free blocks, a larger free block, or the top of
  // the text area. nullptr when memory is exhausted.
  TVL_NOINLINE std::uint8_t* AllocUnitsRare(unsigned index) {
    if (glue_count_ == 0) {
      GlueFreeBlocks();
      if (free_list_[index] != 0) return RemoveNode(index);
    }
    unsigned i = index;
    do {
      if (++i == kNumIndexes) {
        const std::uint32_t bytes = I2U(index) * kUnitSize;
        --glue_count_;
        if (static_cast<std::uint32_t>(units_start_ - text_) > bytes) {
          units_start_ -= bytes;
          return units_start_;
        }
        return nullptr;
      }
    } while (free_list_[i] == 0);
    std::uint8_t* block = RemoveNode(i);
    SplitBlock(block, i, index);
    return block;
  }

  std::uint8_t* AllocUnits(unsigned index) {
    if (free_list_[index] != 0) return RemoveNode(index);
    const std::uint32_t bytes = I2U(index) * kUnitSize;
    if (bytes <= static_cast<std::uint32_t>(hi_unit_ - lo_unit_)) {
      std::uint8_t* block = lo_unit_;
      lo_unit_ += bytes;
      return block;
    }
    return AllocUnitsRare(index);
  }

  std::uint8_t* AllocContext() {
    if (hi_unit_ != lo_unit_) return hi_unit_ -= kUnitSize;
    if (free_list_[0] != 0) return RemoveNode(0);
    return AllocUnitsRare(0);
  }

  std::uint8_t* ShrinkUnits(std::uint8_t* old_block, unsigned old_units, unsigned new_units) {
    const unsigned i0 = U2I(old_units);
    const unsigned i1 = U2I(new_units);
    if (i0 == i1) return old_block;
    if (free_list_[i1] != 0) {
      std::uint8_t* block = RemoveNode(i1);
      std::memcpy(block, old_block, new_units * kUnitSize);
      InsertNode(old_block, i0);
      return block;
    }
    SplitBlock(old_block, i0, i1);
    return old_block;
  }

  // ---- The model ----

  TVL_NOINLINE void RestartModel() {
    std::fill(std::begin(free_list_), std::end(free_list_), 0u);
    text_ = base_ + align_offset_;
    hi_unit_ = text_ + size_;
    lo_unit_ = units_start_ = hi_unit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
    glue_count_ = 0;

    order_fall_ = max_order_;
    run_length_ = init_rl_ = -static_cast<std::int32_t>(std::min(max_order_, 12u)) - 1;
    prev_success_ = 0;

    hi_unit_ -= kUnitSize;
    min_context_ = max_context_ = hi_unit_;
    SetSuffixRef(min_context_, 0);
    SetNumStats(min_context_, 256);
    SetSummFreq(min_context_, 256 + 1);
    found_state_ = lo_unit_;
    SetStatsRef(min_context_, Ref(lo_unit_));
    for (unsigned i = 0; i < 256; ++i) {
      std::uint8_t* s = lo_unit_ + i * kStateSize;
      s[0] = static_cast<std::uint8_t>(i);
      s[1] = 1;
      SetSuccessor(s, 0);
    }
    lo_unit_ += (256 / 2) * kUnitSize;

    for (unsigned i = 0; i < 128; ++i) {
      for (unsigned k = 0; k < 8; ++k) {
        const auto value = static_cast<std::uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
        for (unsigned m = 0; m < 64; m += 8) bin_summ_[i][k + m] = value;
      }
    }
    for (unsigned i = 0; i < 25; ++i) {
      for (auto& s : see_[i]) {
        s.shift = kPeriodBits - 4;
        s.summ = static_cast<std::uint16_t>((5 * i + 10) << s.shift);
        s.count = 4;
      }
    }
  }

  // The context that a state's successor names, which lies inside the units area (a successor
  // that still points into the text is not one; debug builds check both).
  std::uint8_t* ContextAt(std::uint32_t ref) const {
    TVL_MODEL_CHECK(ref >= Ref(units_start_) && ref <= align_offset_ + size_ - kUnitSize,
                    "model reference out of range");
    return Ptr(ref);
  }
  // A context's symbol array, which lies inside the units area (checked in debug builds).
  std::uint8_t* StatsOf(const std::uint8_t* c, unsigned num_stats) const {
    const std::uint32_t ref = StatsRef(c);
    TVL_MODEL_CHECK(num_stats <= 256 && ref >= Ref(units_start_) &&
                        ref <= align_offset_ + size_ - num_stats * kStateSize,
                    "model reference out of range");
    return Ptr(ref);
  }

  // Builds the contexts for the symbol just coded below the contexts where it was coded, up to
  // the longest one; returns it, or nullptr when memory ran out.
  std::uint8_t* CreateSuccessors(bool skip) {
    std::uint8_t* c = min_context_;
    const std::uint32_t up_branch = Successor(found_state_);
    const std::uint8_t symbol = found_state_[0];
    std::array<std::uint8_t*, kPpmdMaxOrder + 1> ps;
    unsigned num_ps = 0;
    if (!skip) ps[num_ps++] = found_state_;

    while (SuffixRef(c) != 0) {
      c = ContextAt(SuffixRef(c));
      // The next step reads the suffix of this one: start loading it during the search here.
      TVL_PREFETCH(base_ + SuffixRef(c));
      std::uint8_t* s;
      if (NumStats(c) != 1) {
        const unsigned ns = NumStats(c);
        s = StatsOf(c, ns);
        const std::uint8_t* const end = s + ns * kStateSize;
        while (s[0] != symbol) {
          s += kStateSize;
          TVL_MODEL_CHECK(s != end, "symbol missing from its suffix context");
        }
      } else {
        s = OneState(c);
        if (s[0] != symbol) Corrupt("symbol missing from its suffix context");
      }
      const std::uint32_t successor = Successor(s);
      if (successor != up_branch) {
        c = ContextAt(successor);
        if (num_ps == 0) return c;
        break;
      }
      if (num_ps == ps.size()) Corrupt("context chain too long");
      ps[num_ps++] = s;
    }
    if (num_ps == 0) return c;

    if (up_branch < align_offset_ || up_branch >= Ref(units_start_)) {
      Corrupt("model reference out of range");
    }
    std::uint8_t up_state[kStateSize];
    up_state[0] = *Ptr(up_branch);
    Store32(up_state + 2, up_branch + 1);
    if (NumStats(c) == 1) {
      up_state[1] = OneState(c)[1];
    } else {
      const unsigned ns = NumStats(c);
      std::uint8_t* s = StatsOf(c, ns);
      const std::uint8_t* const end = s + ns * kStateSize;
      while (s[0] != up_state[0]) {
        s += kStateSize;
        TVL_MODEL_CHECK(s != end, "symbol missing from its suffix context");
      }
      const std::uint32_t cf = s[1] - 1u;
      const std::uint32_t s0 = SummFreq(c) - ns - cf;
      std::uint32_t freq;
      if (2 * cf <= s0) {
        freq = 5 * cf > s0;
      } else {
        if (s0 == 0) Corrupt("inconsistent frequencies");
        freq = (2 * cf + 3 * s0 - 1) / (2 * s0);
      }
      up_state[1] = static_cast<std::uint8_t>(1 + freq);
    }

    do {
      std::uint8_t* c1 = AllocContext();
      if (!c1) return nullptr;
      SetNumStats(c1, 1);
      CopyState(OneState(c1), up_state);
      SetSuffixRef(c1, Ref(c));
      SetSuccessor(ps[--num_ps], Ref(c1));
      c = c1;
    } while (num_ps != 0);
    return c;
  }

  TVL_NOINLINE void UpdateModel() {
    const std::uint8_t fs_symbol = found_state_[0];
    const unsigned fs_freq = found_state_[1];
    std::uint32_t f_successor = Successor(found_state_);
    // Where the next symbol is decoded, most of the time: start loading it now.
    TVL_PREFETCH(base_ + f_successor);

    if (fs_freq < kMaxFreq / 4 && SuffixRef(min_context_) != 0) {
      std::uint8_t* c = ContextAt(SuffixRef(min_context_));
      if (NumStats(c) == 1) {
        std::uint8_t* s = OneState(c);
        if (s[1] < 32) ++s[1];
      } else {
        const unsigned ns = NumStats(c);
        std::uint8_t* s = StatsOf(c, ns);
        if (s[0] != fs_symbol) {
          const std::uint8_t* const end = s + ns * kStateSize;
          do {
            s += kStateSize;
            TVL_MODEL_CHECK(s != end, "symbol missing from its suffix context");
          } while (s[0] != fs_symbol);
          if (s[1] >= s[1 - static_cast<int>(kStateSize)]) {
            SwapStates(s, s - kStateSize);
            s -= kStateSize;
          }
        }
        if (s[1] < kMaxFreq - 9) {
          s[1] = static_cast<std::uint8_t>(s[1] + 2);
          SetSummFreq(c, SummFreq(c) + 2);
        }
      }
    }

    if (order_fall_ == 0) {
      std::uint8_t* c = CreateSuccessors(true);
      if (!c) {
        RestartModel();
        return;
      }
      min_context_ = max_context_ = c;
      SetSuccessor(found_state_, Ref(c));
      return;
    }

    *text_++ = fs_symbol;
    std::uint32_t successor = Ref(text_);
    if (text_ >= units_start_) {
      RestartModel();
      return;
    }

    if (f_successor != 0) {
      // A successor below UnitsStart is a place in the text, not yet a context: build the
      // contexts it stands for. (Units carved from the top of the text start at UnitsStart.)
      if (f_successor < Ref(units_start_)) {
        std::uint8_t* cs = CreateSuccessors(false);
        if (!cs) {
          RestartModel();
          return;
        }
        f_successor = Ref(cs);
      }
      if (--order_fall_ == 0) {
        successor = f_successor;
        text_ -= (max_context_ != min_context_);
      }
    } else {
      SetSuccessor(found_state_, successor);
      f_successor = Ref(min_context_);
    }

    const unsigned ns = NumStats(min_context_);
    const std::uint32_t s0 = SummFreq(min_context_) - ns - (fs_freq - 1);

    unsigned steps = 0;
    for (std::uint8_t* c = max_context_; c != min_context_; c = ContextAt(SuffixRef(c))) {
      if (++steps > kPpmdMaxOrder + 1) Corrupt("context chain too long");
      unsigned ns1 = NumStats(c);
      if (ns1 != 1) {
        if ((ns1 & 1) == 0) {
          // The array is full: move it to a block one unit larger when its size class changes.
          const unsigned old_units = ns1 >> 1;
          const unsigned i = U2I(old_units);
          if (i != U2I(old_units + 1)) {
            std::uint8_t* block = AllocUnits(i + 1);
            if (!block) {
              RestartModel();
              return;
            }
            std::uint8_t* old_block = StatsOf(c, ns1);
            std::memcpy(block, old_block, old_units * kUnitSize);
            InsertNode(old_block, i);
            SetStatsRef(c, Ref(block));
          }
        }
        const unsigned sf = SummFreq(c);
        SetSummFreq(c, sf + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (sf <= 8 * ns1)));
      } else {
        std::uint8_t* s = AllocUnits(0);
        if (!s) {
          RestartModel();
          return;
        }
        CopyState(s, OneState(c));
        SetStatsRef(c, Ref(s));
        if (s[1] < kMaxFreq / 4 - 1) {
          s[1] = static_cast<std::uint8_t>(s[1] << 1);
        } else {
          s[1] = kMaxFreq - 4;
        }
        SetSummFreq(c, s[1] + init_esc_ + (ns > 3));
      }
      std::uint32_t cf = 2 * fs_freq * (SummFreq(c) + 6);
      const std::uint32_t sf = s0 + SummFreq(c);
      if (cf < 6 * sf) {
        cf = 1 + (cf > sf) + (cf >= 4 * sf);
        SetSummFreq(c, SummFreq(c) + 3);
      } else {
        cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
        SetSummFreq(c, SummFreq(c) + cf);
      }
      std::uint8_t* s = Ptr(StatsRef(c)) + ns1 * kStateSize;
      TVL_MODEL_CHECK(Ref(s) <= align_offset_ + size_ - kStateSize, "model reference out of range");
      SetSuccessor(s, successor);
      s[0] = fs_symbol;
      s[1] = static_cast<std::uint8_t>(cf);
      SetNumStats(c, ns1 + 1);
    }
    max_context_ = min_context_ = ContextAt(f_successor);
  }

  // Halves the frequencies of the current context (keeping the array sorted by frequency),
  // dropping symbols that fall to 0.
  TVL_NOINLINE void Rescale() {
    std::uint8_t* c = min_context_;
    const unsigned num_stats = NumStats(c);
    std::uint8_t* const stats = Ptr(StatsRef(c));
    std::uint8_t* s = found_state_;
    {
      std::uint8_t tmp[kStateSize];
      CopyState(tmp, s);
      for (; s != stats; s -= kStateSize) CopyState(s, s - kStateSize);
      CopyState(s, tmp);
    }
    std::uint32_t esc_freq = SummFreq(c) - s[1];
    s[1] = static_cast<std::uint8_t>(s[1] + 4);
    const unsigned adder = order_fall_ != 0;
    s[1] = static_cast<std::uint8_t>((s[1] + adder) >> 1);
    std::uint32_t sum_freq = s[1];

    unsigned i = num_stats - 1;
    do {
      s += kStateSize;
      esc_freq -= s[1];
      s[1] = static_cast<std::uint8_t>((s[1] + adder) >> 1);
      sum_freq += s[1];
      if (s[1] > s[1 - static_cast<int>(kStateSize)]) {
        std::uint8_t* s1 = s;
        std::uint8_t tmp[kStateSize];
        CopyState(tmp, s1);
        do {
          CopyState(s1, s1 - kStateSize);
          s1 -= kStateSize;
        } while (s1 != stats && tmp[1] > s1[1 - static_cast<int>(kStateSize)]);
        CopyState(s1, tmp);
      }
    } while (--i != 0);

    if (s[1] == 0) {
      do {
        ++i;
        s -= kStateSize;
      } while (s[1] == 0);
      esc_freq += i;
      SetNumStats(c, num_stats - i);
      if (NumStats(c) == 1) {
        std::uint8_t tmp[kStateSize];
        CopyState(tmp, stats);
        do {
          tmp[1] = static_cast<std::uint8_t>(tmp[1] - (tmp[1] >> 1));
          esc_freq >>= 1;
        } while (esc_freq > 1);
        InsertNode(stats, U2I((num_stats + 1) >> 1));
        found_state_ = OneState(c);
        CopyState(found_state_, tmp);
        return;
      }
      const unsigned n0 = (num_stats + 1) >> 1;
      const unsigned n1 = (NumStats(c) + 1) >> 1;
      if (n0 != n1) SetStatsRef(c, Ref(ShrinkUnits(stats, n0, n1)));
    }
    SetSummFreq(c, sum_freq + esc_freq - (esc_freq >> 1));
    found_state_ = Ptr(StatsRef(c));
  }

  // After a symbol coded in the first context tried: go on in its successor while that is a
  // context at the longest order, else update the model.
  TVL_ALWAYS_INLINE void NextContext() {
    const std::uint32_t successor = Successor(found_state_);
    // The next symbol starts with this context: start reading it while the counts are updated.
    TVL_PREFETCH(base_ + successor);
    if (order_fall_ == 0 && successor > Ref(text_)) {
      min_context_ = max_context_ = ContextAt(successor);
    } else {
      UpdateModel();
    }
  }

  TVL_ALWAYS_INLINE void Update1() {
    std::uint8_t* s = found_state_;
    s[1] = static_cast<std::uint8_t>(s[1] + 4);
    SetSummFreq(min_context_, SummFreq(min_context_) + 4);
    if (s[1] > s[1 - static_cast<int>(kStateSize)]) {
      SwapStates(s, s - kStateSize);
      found_state_ = s -= kStateSize;
      if (s[1] > kMaxFreq) Rescale();
    }
    NextContext();
  }

  TVL_ALWAYS_INLINE void Update1First() {
    prev_success_ = 2u * found_state_[1] > SummFreq(min_context_);
    run_length_ += static_cast<std::int32_t>(prev_success_);
    SetSummFreq(min_context_, SummFreq(min_context_) + 4);
    found_state_[1] = static_cast<std::uint8_t>(found_state_[1] + 4);
    if (found_state_[1] > kMaxFreq) Rescale();
    NextContext();
  }

  TVL_ALWAYS_INLINE void UpdateBin() {
    found_state_[1] = static_cast<std::uint8_t>(found_state_[1] + (found_state_[1] < 128));
    prev_success_ = 1;
    ++run_length_;
    NextContext();
  }

  void Update2() {
    std::uint8_t* s = found_state_;
    s[1] = static_cast<std::uint8_t>(s[1] + 4);
    SetSummFreq(min_context_, SummFreq(min_context_) + 4);
    if (s[1] > kMaxFreq) Rescale();
    run_length_ = init_rl_;
    UpdateModel();
  }

  // The byte, or -1 for the end marker (an escape from the order-0 context), or -2 for a code
  // that no symbol owns.
  TVL_ALWAYS_INLINE int DecodeSymbol() {
    std::uint8_t* mc = min_context_;
    unsigned num_stats = NumStats(mc);
    if (num_stats != 1) {
      // An escape, and most model updates, go on in the suffix: start reading it now.
      TVL_PREFETCH(base_ + SuffixRef(mc));
      std::uint8_t* s = StatsOf(mc, num_stats);
      const unsigned summ = SummFreq(mc);
      const std::uint32_t count = GetThreshold(summ);
      std::uint32_t hi_cnt = s[1];
      if (count < hi_cnt) {
        Decode(0, hi_cnt);
        found_state_ = s;
        const std::uint8_t symbol = s[0];
        Update1First();
        return symbol;
      }
      prev_success_ = 0;
      unsigned i = num_stats - 1;
      do {
        s += kStateSize;
        hi_cnt += s[1];
        if (hi_cnt > count) {
          Decode(hi_cnt - s[1], s[1]);
          found_state_ = s;
          const std::uint8_t symbol = s[0];
          Update1();
          return symbol;
        }
      } while (--i != 0);
      if (count >= summ) return -2;
      hi_bits_flag_ = kTables.hb_to_flag[found_state_[0]];
      Decode(hi_cnt, summ - hi_cnt);
      std::memset(char_mask_, 0xFF, sizeof(char_mask_));
      char_mask_[s[0]] = 0;
      i = num_stats - 1;
      do {
        s -= kStateSize;
        char_mask_[s[0]] = 0;
      } while (--i != 0);
    } else {
      std::uint8_t* const one = OneState(mc);
      const unsigned freq = one[1];
      TVL_MODEL_CHECK(freq != 0 && freq <= 128, "impossible binary context");
      const std::uint8_t* suffix = ContextAt(SuffixRef(mc));
      const unsigned suffix_stats = NumStats(suffix);
      TVL_MODEL_CHECK(suffix_stats != 0 && suffix_stats <= 256, "impossible context");
      hi_bits_flag_ = kTables.hb_to_flag[found_state_[0]];
      std::uint16_t& prob =
          bin_summ_[freq - 1][prev_success_ + kTables.ns_to_bs_index[suffix_stats - 1] +
                              hi_bits_flag_ + 2 * kTables.hb_to_flag[one[0]] +
                              ((static_cast<std::uint32_t>(run_length_) >> 26) & 0x20)];
      const std::uint32_t p = prob;
      const std::uint32_t bound = (range_ >> 14) * p;
      if (code_ < bound) {
        range_ = bound;
        Normalize();
        prob = static_cast<std::uint16_t>(p + (1u << kIntervalBits) - ((p + 32) >> 7));
        found_state_ = one;
        const std::uint8_t symbol = one[0];
        UpdateBin();
        return symbol;
      }
      code_ -= bound;
      range_ -= bound;
      Normalize();
      prob = static_cast<std::uint16_t>(p - ((p + 32) >> 7));
      init_esc_ = kExpEscape[prob >> 10];
      std::memset(char_mask_, 0xFF, sizeof(char_mask_));
      char_mask_[one[0]] = 0;
      prev_success_ = 0;
    }
    return DecodeAfterEscape();
  }

  // The symbol from the shorter contexts, once the first one tried has escaped.
  TVL_NOINLINE int DecodeAfterEscape() {
    std::array<std::uint8_t*, 256> ps;
    unsigned steps = 0;
    for (;;) {
      const unsigned num_masked = NumStats(min_context_);
      unsigned num_stats;
      do {
        ++order_fall_;
        const std::uint32_t suffix = SuffixRef(min_context_);
        if (suffix == 0) return -1;
        if (++steps > kPpmdMaxOrder + 1) Corrupt("context chain too long");
        min_context_ = ContextAt(suffix);
        num_stats = NumStats(min_context_);
      } while (num_stats == num_masked);
      // A further escape, and the model update after this symbol, read the suffix.
      TVL_PREFETCH(base_ + SuffixRef(min_context_));
      TVL_MODEL_CHECK(num_stats > num_masked && num_stats <= 256, "impossible context");

      std::uint8_t* const mc = min_context_;
      std::uint8_t* s = StatsOf(mc, num_stats);
      const std::uint8_t* const end = s + num_stats * kStateSize;
      const unsigned num = num_stats - num_masked;
      // The symbols not masked, in order, and the sum of their frequencies. Every state is
      // written to the list, which only moves on past an unmasked one: no branch per symbol.
      std::uint32_t hi_cnt = 0;
      std::uint8_t** pp = ps.data();
      std::uint8_t** const pp_end = pp + num;
      do {
        TVL_MODEL_CHECK(s != end, "impossible context");
        const unsigned mask = char_mask_[s[0]];
        hi_cnt += s[1] & mask;
        *pp = s;
        pp += mask & 1;
        s += kStateSize;
      } while (pp != pp_end);

      See* see;
      std::uint32_t freq_sum;
      if (num_stats != 256) {
        const unsigned suffix_stats = NumStats(ContextAt(SuffixRef(mc)));
        see = &see_[kTables.ns_to_index[num - 1]][(num < suffix_stats - num_stats) +
                                                  2 * (SummFreq(mc) < 11 * num_stats) +
                                                  4 * (num_masked > num) + hi_bits_flag_];
        freq_sum = see->Mean();
      } else {
        see = &dummy_see_;
        freq_sum = 1;
      }
      freq_sum += hi_cnt;
      if (range_ < freq_sum) Corrupt("impossible frequencies");
      const std::uint32_t count = GetThreshold(freq_sum);

      if (count < hi_cnt) {
        std::uint8_t** pps = ps.data();
        std::uint32_t acc = 0;
        while ((acc += (*pps)[1]) <= count) ++pps;
        s = *pps;
        Decode(acc - s[1], s[1]);
        see->Update();
        found_state_ = s;
        const std::uint8_t symbol = s[0];
        Update2();
        return symbol;
      }
      if (count >= freq_sum) return -2;
      Decode(hi_cnt, freq_sum - hi_cnt);
      see->summ = static_cast<std::uint16_t>(see->summ + freq_sum);
      do {
        char_mask_[(*--pp)[0]] = 0;
      } while (pp != ps.data());
    }
  }

  // Input.
  std::unique_ptr<InStream> input_;
  std::vector<std::uint8_t> input_buffer_;
  const std::uint8_t* in_;
  const std::uint8_t* in_end_;   // end of the real packed bytes at hand
  const std::uint8_t* in_safe_;  // below this, a whole symbol is surely at hand
  bool eof_ = false;
  std::uint32_t range_ = 0;
  std::uint32_t code_ = 0;

  // Output.
  bool size_known_;
  std::uint64_t remaining_;
  bool started_ = false;
  bool finished_ = false;

  // Memory.
  unsigned max_order_;
  std::uint32_t size_;
  std::uint32_t align_offset_;
  struct FreePool {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, FreePool> pool_;
  std::uint8_t* base_ = nullptr;
  std::uint8_t* lo_unit_ = nullptr;
  std::uint8_t* hi_unit_ = nullptr;
  std::uint8_t* text_ = nullptr;
  std::uint8_t* units_start_ = nullptr;
  std::uint32_t glue_count_ = 0;
  std::uint32_t free_list_[kNumIndexes] = {};

  // Model state.
  std::uint8_t* min_context_ = nullptr;
  std::uint8_t* max_context_ = nullptr;
  std::uint8_t* found_state_ = nullptr;
  unsigned order_fall_ = 0;
  unsigned init_esc_ = 0;
  unsigned prev_success_ = 0;
  unsigned hi_bits_flag_ = 0;
  std::int32_t run_length_ = 0;
  std::int32_t init_rl_ = 0;
  std::uint8_t char_mask_[256];
  See dummy_see_;
  See see_[25][16];
  std::uint16_t bin_summ_[128][64];
};

}  // namespace

std::optional<std::uint32_t> PpmdMemorySize(std::span<const std::uint8_t> properties) {
  if (properties.size() != 5) return std::nullopt;
  const unsigned order = properties[0];
  std::uint32_t memory = 0;
  for (int i = 4; i >= 1; --i) memory = (memory << 8) | properties[static_cast<std::size_t>(i)];
  if (order < kPpmdMinOrder || order > kPpmdMaxOrder || memory < kPpmdMinMemory ||
      memory > 0xFFFFFFFFu - 12 * 3) {
    return std::nullopt;
  }
  return memory;
}

std::unique_ptr<InStream> MakePpmdDecoder(std::span<const std::uint8_t> properties,
                                          std::uint64_t unpack_size,
                                          std::unique_ptr<InStream> input) {
  const auto memory = PpmdMemorySize(properties);
  if (!memory) Corrupt("invalid properties (order 2..64, memory of at least 2 KiB)");
  if (*memory > kMaxDictionarySize) {
    Fail(ErrorCode::kUnsupported, "PPMd model of " + std::to_string(*memory >> 20) +
                                      " MiB is larger than the supported " +
                                      std::to_string(kMaxDictionarySize >> 20) + " MiB");
  }
  return std::make_unique<PpmdDecoder>(properties[0], *memory, unpack_size, std::move(input));
}

}  // namespace tvl
