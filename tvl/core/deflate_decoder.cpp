// Deflate and Deflate64 decoders: one implementation, the format given as parameters.
//
// Output is decoded into one buffer: the last 64 KiB of history followed by a 1 MiB work area.
// Matches are copied inside it without wrapping; once the caller has taken everything, the
// history slides back to the front. Packed bytes come through a 64 KiB buffer into a 64-bit bit
// buffer, topped up eight bytes at a time while the input buffer has that many left, byte by
// byte near its end. Past the real end of the input the bit buffer is padded with zero bytes
// that are counted, so that a stream cut short is reported once a padded bit is used.
//
// Huffman codes are decoded through tables indexed by the next bits of the input: a code no
// longer than the table's index width is found in one lookup; longer codes go through a
// second table, chosen by the first lookup, that holds the rest of their bits.
#include "tvl/core/deflate_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tvl/core/compiler_hints.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

constexpr std::size_t kHistory = 64 * 1024;  // the farthest a match reaches back (Deflate64)
constexpr std::size_t kWorkArea = 1024 * 1024;
// Match copies move whole 16-byte pieces and may write that far past the output limit.
constexpr std::size_t kCopySlack = 32;
constexpr std::size_t kInputSize = 64 * 1024;

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kLitLenSymbols = 288;
constexpr unsigned kDistanceSymbols = 32;
constexpr unsigned kCodeLengthSymbols = 19;

// A table entry: the number of bits the lookup uses up (bits 0-4), the number of extra bits
// that follow the code or, for a link, the index width of the second table (bits 5-9), flags,
// and a 16-bit value: the literal byte, the base of a length or distance, a code-length symbol,
// or where the second table starts.
constexpr std::uint32_t kLiteral = 1u << 10;
constexpr std::uint32_t kEndOfBlock = 1u << 11;
constexpr std::uint32_t kLink = 1u << 12;
constexpr std::uint32_t kInvalid = 1u << 13;

constexpr std::uint32_t Entry(std::uint32_t value, std::uint32_t extra_bits, std::uint32_t flags) {
  return value << 16 | extra_bits << 5 | flags;
}

constexpr unsigned kLitLenBits = 10;
constexpr unsigned kDistanceBits = 8;
constexpr unsigned kCodeLengthBits = 7;  // the longest code-length code: no second tables
// Every second table holds at least one code, so there are no more of them than codes longer
// than the first table's index width, and none is wider than the rest of a 15-bit code.
constexpr std::size_t TableSize(unsigned symbols, unsigned bits) {
  return (std::size_t{1} << bits) + symbols * (std::size_t{1} << (kMaxCodeLength - bits));
}
constexpr std::size_t kLitLenTableSize = TableSize(kLitLenSymbols, kLitLenBits);
constexpr std::size_t kDistanceTableSize = TableSize(kDistanceSymbols, kDistanceBits);

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 32> kDistanceBase = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<std::uint8_t, 32> kDistanceExtra = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                                         4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                                         10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block lists the lengths of the code-length code.
constexpr std::array<std::uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

[[noreturn]] void Corrupt(std::string_view what) {
  Fail(ErrorCode::kCorrupt, "Deflate data is corrupt: " + std::string(what));
}

std::uint64_t Load64(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
  }
}

// The bit reader's state, copied into locals by the decoding loops so that it stays in
// registers while output bytes are stored.
struct Bits {
  std::uint64_t buffer;  // the next `count` input bits, first bit lowest
  unsigned count;
  const std::uint8_t* in;
  const std::uint8_t* in_end;

  TVL_ALWAYS_INLINE std::uint32_t Peek(unsigned n) const {
    return static_cast<std::uint32_t>(buffer & ((std::uint64_t{1} << n) - 1));
  }
  TVL_ALWAYS_INLINE void Drop(unsigned n) {
    buffer >>= n;
    count -= n;
  }
  TVL_ALWAYS_INLINE std::uint32_t Take(unsigned n) {
    const std::uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
};

// Which incomplete codes a table may be built for: the format lets a distance code consist of
// a single 1-bit code (or of none at all, for a block of literals only).
enum class Incomplete { kRefused, kSingleCodeAllowed };

// Builds the decoding table of the canonical code given by `lengths` (0 for an unused symbol);
// `symbols` gives each symbol's entry without its bit count. Bit patterns that no code starts
// with decode to kInvalid.
void BuildTable(std::span<const std::uint8_t> lengths, const std::uint32_t* symbols, unsigned bits,
                std::span<std::uint32_t> table, Incomplete incomplete, const char* what) {
  std::array<unsigned, kMaxCodeLength + 1> count{};
  for (const std::uint8_t length : lengths) ++count[length];
  count[0] = 0;
  // How much of the code space is left after each length: negative is more codes than fit.
  std::int32_t left = 1;
  unsigned codes = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    left = 2 * left - static_cast<std::int32_t>(count[length]);
    if (left < 0) Corrupt(std::string(what) + " has more codes than fit");
    codes += count[length];
  }
  if (left > 0) {
    const bool allowed = incomplete == Incomplete::kSingleCodeAllowed &&
                         (codes == 0 || (codes == 1 && count[1] == 1));
    if (!allowed) Corrupt(std::string(what) + " leaves codes unused");
  }

  // Symbols sorted by code length, then by symbol: the order the canonical codes count up in.
  std::array<unsigned, kMaxCodeLength + 2> offset{};
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    offset[length + 1] = offset[length] + count[length];
  }
  std::array<std::uint16_t, kLitLenSymbols> sorted{};
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }

  const std::size_t first_size = std::size_t{1} << bits;
  std::fill(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(first_size), kInvalid);
  std::array<unsigned, kMaxCodeLength + 1> unplaced = count;
  std::size_t next_free = first_size;
  std::uint32_t link_prefix = ~0u;
  std::size_t link_start = 0;
  std::uint32_t code = 0;
  unsigned previous_length = 0;
  for (unsigned i = 0; i < codes; ++i) {
    const unsigned symbol = sorted[i];
    const unsigned length = lengths[symbol];
    code <<= length - previous_length;
    previous_length = length;
    // The input holds a code's first bit lowest: the table is indexed by the reversed code.
    std::uint32_t reversed = 0;
    for (unsigned b = 0; b < length; ++b) reversed |= ((code >> b) & 1u) << (length - 1 - b);
    ++code;
    --unplaced[length];

    if (length <= bits) {
      for (std::size_t at = reversed; at < first_size; at += std::size_t{1} << length) {
        table[at] = symbols[symbol] | length;
      }
      continue;
    }
    const std::uint32_t prefix = reversed & static_cast<std::uint32_t>(first_size - 1);
    if (prefix != link_prefix) {
      // A new second table: as wide as the codes sharing this prefix need. They follow this
      // one in canonical order and, the code being complete, fill the table exactly.
      unsigned width = length - bits;
      std::int32_t room = std::int32_t{1} << width;
      room -= 1;  // this code
      while (width + bits < kMaxCodeLength) {
        room -= static_cast<std::int32_t>(unplaced[width + bits]);
        if (room <= 0) break;
        ++width;
        room <<= 1;
      }
      if (next_free + (std::size_t{1} << width) > table.size()) {
        Fail(ErrorCode::kInternal, "Deflate table overflow");
      }
      link_prefix = prefix;
      link_start = next_free;
      table[prefix] = Entry(static_cast<std::uint32_t>(link_start), width, kLink) | bits;
      std::fill_n(table.begin() + static_cast<std::ptrdiff_t>(link_start), std::size_t{1} << width,
                  kInvalid);
      next_free += std::size_t{1} << width;
    }
    const unsigned width = (table[prefix] >> 5) & 31u;
    for (std::size_t at = reversed >> bits; at < (std::size_t{1} << width);
         at += std::size_t{1} << (length - bits)) {
      table[link_start + at] = symbols[symbol] | (length - bits);
    }
  }
}

class DeflateDecoder final : public InStream {
 public:
  DeflateDecoder(bool deflate64, std::uint64_t unpack_size, std::unique_ptr<InStream> input)
      : deflate64_(deflate64),
        size_known_(unpack_size != kUnknownUnpackSize),
        remaining_(unpack_size),
        capacity_(
            static_cast<std::size_t>(std::min<std::uint64_t>(kHistory + kWorkArea, unpack_size))),
        window_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity_ + kCopySlack)),
        source_(std::move(input)),
        input_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputSize)) {
    for (unsigned s = 0; s < 256; ++s) litlen_symbols_[s] = Entry(s, 0, kLiteral);
    litlen_symbols_[256] = kEndOfBlock;
    for (unsigned s = 257; s < 286; ++s) {
      litlen_symbols_[s] = Entry(kLengthBase[s - 257], kLengthExtra[s - 257], 0);
    }
    // Deflate64 gives the last length code 16 extra bits over a base of 3 instead of the
    // fixed length 258.
    if (deflate64_) litlen_symbols_[285] = Entry(3, 16, 0);
    litlen_symbols_[286] = litlen_symbols_[287] = kInvalid;
    for (unsigned s = 0; s < kDistanceSymbols; ++s) {
      distance_symbols_[s] = Entry(kDistanceBase[s], kDistanceExtra[s], 0);
    }
    // Distances past 32 KiB exist only in Deflate64.
    if (!deflate64_) distance_symbols_[30] = distance_symbols_[31] = kInvalid;
    for (unsigned s = 0; s < kCodeLengthSymbols; ++s) code_length_symbols_[s] = Entry(s, 0, 0);
  }

  std::size_t Read(std::span<std::byte> out) override {
    if (out.empty()) return 0;
    if (read_pos_ == out_pos_) {
      // An error leaves the decoder in the middle of a symbol: it stays failed.
      if (failed_) Corrupt("read on after an error");
      failed_ = true;
      const bool more = Decode();
      failed_ = false;
      if (!more) return 0;
    }
    const std::size_t n = std::min(out.size(), out_pos_ - read_pos_);
    std::memcpy(out.data(), window_.get() + read_pos_, n);
    read_pos_ += n;
    return n;
  }

 private:
  enum class State { kBlockStart, kStored, kCodes, kEnd };

  // Decodes more output after everything decoded before has been handed out; false at the end.
  bool Decode() {
    if (state_ == State::kEnd) return false;
    if (remaining_ == 0) {
      state_ = State::kEnd;
      return false;
    }
    if (out_pos_ == capacity_) {
      std::memmove(window_.get(), window_.get() + out_pos_ - kHistory, kHistory);
      out_pos_ = read_pos_ = kHistory;
    }
    const std::size_t room =
        static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - out_pos_, remaining_));
    std::uint8_t* out = window_.get() + out_pos_;
    std::uint8_t* const end = out + room;
    while (out < end && state_ != State::kEnd) {
      if (pending_length_ != 0) {
        const std::size_t n = std::min<std::size_t>(pending_length_, end - out);
        out = CopyMatch(out, pending_distance_, n);
        pending_length_ -= static_cast<std::uint32_t>(n);
        continue;
      }
      switch (state_) {
        case State::kBlockStart:
          StartBlock();
          break;
        case State::kStored:
          out = CopyStored(out, end);
          break;
        case State::kCodes:
          out = DecodeCodes(out, end);
          break;
        case State::kEnd:
          break;
      }
    }
    CheckNotPastEnd();
    const std::size_t produced = static_cast<std::size_t>(out - (window_.get() + out_pos_));
    out_pos_ += produced;
    if (size_known_) remaining_ -= produced;
    return produced != 0;
  }

  // A padded bit that has been used means the input ended inside the stream.
  void CheckNotPastEnd() const {
    if (padding_ > bits_.count) Corrupt("the data ends early");
  }

  TVL_ALWAYS_INLINE void Refill(Bits& b) {
    if (b.in_end - b.in >= 8) {
      // Loads the next eight bytes and keeps as many whole bytes as fit; the bits loaded above
      // those are the next input bytes and are loaded again in the same place next time.
      b.buffer |= Load64(b.in) << b.count;
      b.in += (63 - b.count) >> 3;
      b.count |= 56;
    } else {
      RefillSlowly(b);
    }
  }

  // Byte by byte near the end of the input buffer; zero bytes once the input has ended. Stops
  // at 56 bits or more but below 64, which the fast refill needs: it shifts by the count.
  void RefillSlowly(Bits& b) {
    while (b.count < 56) {
      if (b.in == b.in_end) {
        if (!eof_) {
          const std::size_t got = source_->Read(
              std::as_writable_bytes(std::span<std::uint8_t>(input_.get(), kInputSize)));
          if (got > kInputSize) Fail(ErrorCode::kInternal, "input stream returned more than asked");
          b.in = input_.get();
          b.in_end = b.in + got;
          eof_ = got == 0;
          continue;
        }
        if (padding_ > b.count) Corrupt("the data ends early");
        b.buffer &= (std::uint64_t{1} << b.count) - 1;
        padding_ += 8;
        b.count += 8;
        continue;
      }
      b.buffer |= std::uint64_t{*b.in++} << b.count;
      b.count += 8;
    }
  }

  std::uint32_t ReadBits(unsigned n) {
    if (bits_.count < n) Refill(bits_);
    return bits_.Take(n);
  }

  // Decodes one symbol with a table whose codes fit its first lookup.
  std::uint32_t DecodeShort(const std::uint32_t* table, unsigned bits) {
    if (bits_.count < bits) Refill(bits_);
    const std::uint32_t e = table[bits_.Peek(bits)];
    if (e & kInvalid) Corrupt("invalid code-length code");
    bits_.Drop(e & 31u);
    return e >> 16;
  }

  void StartBlock() {
    if (final_block_) {
      // Called only while output is still expected, so with a known size the data ends early.
      if (size_known_) Corrupt("the last block ends before the data does");
      state_ = State::kEnd;
      return;
    }
    final_block_ = ReadBits(1) != 0;
    switch (ReadBits(2)) {
      case 0: {
        // Stored: the length and its complement start at the next byte boundary. Whole bytes
        // are loaded into the bit buffer, so its count modulo 8 is the rest of this byte.
        bits_.Drop(bits_.count % 8);
        const std::uint32_t length = ReadBits(16);
        const std::uint32_t check = ReadBits(16);
        CheckNotPastEnd();  // zeros read past the end fail the check: report them as what they are
        if ((check ^ 0xFFFFu) != length) Corrupt("stored block length check fails");
        stored_remaining_ = length;
        state_ = State::kStored;
        break;
      }
      case 1:
        if (!fixed_tables_) BuildFixedTables();
        state_ = State::kCodes;
        break;
      case 2:
        ReadDynamicTables();
        state_ = State::kCodes;
        break;
      default:
        Corrupt("reserved block type");
    }
    CheckNotPastEnd();
  }

  void BuildFixedTables() {
    std::array<std::uint8_t, kLitLenSymbols + kDistanceSymbols> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, std::uint8_t{8});
    std::fill(lengths.begin() + 144, lengths.begin() + 256, std::uint8_t{9});
    std::fill(lengths.begin() + 256, lengths.begin() + 280, std::uint8_t{7});
    std::fill(lengths.begin() + 280, lengths.begin() + 288, std::uint8_t{8});
    std::fill(lengths.begin() + 288, lengths.end(), std::uint8_t{5});
    BuildCodeTables(lengths, kLitLenSymbols, kDistanceSymbols);
    fixed_tables_ = true;
  }

  void ReadDynamicTables() {
    const unsigned litlen_count = ReadBits(5) + 257;
    const unsigned distance_count = ReadBits(5) + 1;
    const unsigned code_length_count = ReadBits(4) + 4;
    std::array<std::uint8_t, kCodeLengthSymbols> code_length_lengths{};
    for (unsigned i = 0; i < code_length_count; ++i) {
      code_length_lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(ReadBits(3));
    }
    CheckNotPastEnd();
    std::array<std::uint32_t, 1u << kCodeLengthBits> code_length_table;
    BuildTable(code_length_lengths, code_length_symbols_.data(), kCodeLengthBits, code_length_table,
               Incomplete::kRefused, "the code-length code");

    // The literal/length and distance code lengths form one sequence: a repeat may run on from
    // one into the other, but not past the end.
    std::array<std::uint8_t, kLitLenSymbols + kDistanceSymbols> lengths{};
    const unsigned total = litlen_count + distance_count;
    unsigned i = 0;
    while (i < total) {
      CheckNotPastEnd();
      const std::uint32_t symbol = DecodeShort(code_length_table.data(), kCodeLengthBits);
      if (symbol < 16) {
        lengths[i++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      std::uint8_t value = 0;
      unsigned repeat = 0;
      if (symbol == 16) {
        if (i == 0) Corrupt("code length repeat without a previous length");
        value = lengths[i - 1];
        repeat = 3 + ReadBits(2);
      } else if (symbol == 17) {
        repeat = 3 + ReadBits(3);
      } else {
        repeat = 11 + ReadBits(7);
      }
      if (repeat > total - i) Corrupt("code length repeat runs past the end");
      std::fill_n(lengths.begin() + i, repeat, value);
      i += repeat;
    }
    CheckNotPastEnd();
    if (lengths[256] == 0) Corrupt("the block has no end-of-block code");
    // The distance lengths move up to their place after all 288 literal/length symbols.
    std::array<std::uint8_t, kLitLenSymbols + kDistanceSymbols> placed{};
    std::copy_n(lengths.begin(), litlen_count, placed.begin());
    std::copy_n(lengths.begin() + litlen_count, distance_count, placed.begin() + kLitLenSymbols);
    BuildCodeTables(placed, kLitLenSymbols, kDistanceSymbols);
    fixed_tables_ = false;
  }

  void BuildCodeTables(std::span<const std::uint8_t> lengths, unsigned litlen_count,
                       unsigned distance_count) {
    BuildTable(lengths.first(litlen_count), litlen_symbols_.data(), kLitLenBits, litlen_table_,
               Incomplete::kRefused, "the literal/length code");
    BuildTable(lengths.subspan(kLitLenSymbols, distance_count), distance_symbols_.data(),
               kDistanceBits, distance_table_, Incomplete::kSingleCodeAllowed, "the distance code");
  }

  std::uint8_t* CopyStored(std::uint8_t* out, std::uint8_t* const end) {
    while (stored_remaining_ != 0 && out < end) {
      if (bits_.count >= 8) {
        // Bytes already in the bit buffer (a whole number of them after the alignment).
        *out++ = static_cast<std::uint8_t>(bits_.Take(8));
        --stored_remaining_;
        continue;
      }
      // The bit buffer is empty: later bits must not mix with stale ones once bytes are taken
      // from the input directly.
      bits_.buffer = 0;
      if (bits_.in == bits_.in_end) {
        if (eof_) Corrupt("the data ends early");
        RefillSlowly(bits_);
        continue;
      }
      const std::size_t n = std::min({static_cast<std::size_t>(stored_remaining_),
                                      static_cast<std::size_t>(end - out),
                                      static_cast<std::size_t>(bits_.in_end - bits_.in)});
      std::memcpy(out, bits_.in, n);
      out += n;
      bits_.in += n;
      stored_remaining_ -= static_cast<std::uint32_t>(n);
    }
    CheckNotPastEnd();
    if (stored_remaining_ == 0) state_ = State::kBlockStart;
    return out;
  }

  // Copies a match of `length` bytes from `distance` back; the distance has been checked
  // against what is in the window. May write up to kCopySlack bytes past the match.
  static TVL_ALWAYS_INLINE std::uint8_t* CopyMatch(std::uint8_t* out, std::size_t distance,
                                                   std::size_t length) {
    const std::uint8_t* src = out - distance;
    std::uint8_t* const stop = out + length;
    if (distance >= 16) {
      do {
        std::memcpy(out, src, 16);
        out += 16;
        src += 16;
      } while (out < stop);
    } else if (distance >= 8) {
      do {
        std::memcpy(out, src, 8);
        out += 8;
        src += 8;
      } while (out < stop);
    } else if (distance == 1) {
      std::memset(out, *src, length);
    } else {
      while (out < stop) *out++ = *src++;
    }
    return stop;
  }

  // Decodes literal/length and distance codes until the block ends or `end` is reached.
  std::uint8_t* DecodeCodes(std::uint8_t* out, std::uint8_t* const end) {
    Bits b = bits_;
    const std::uint32_t* const litlen = litlen_table_.data();
    const std::uint32_t* const distances = distance_table_.data();
    const std::uint8_t* const window = window_.get();
    while (out < end) {
      // A refill leaves at least 56 bits: several literals decode from one.
      if (b.count < kMaxCodeLength) Refill(b);
      std::uint32_t e = litlen[b.Peek(kLitLenBits)];
      if (e & kLink) {
        b.Drop(kLitLenBits);
        e = litlen[(e >> 16) + b.Peek((e >> 5) & 31u)];
      }
      b.Drop(e & 31u);
      if (e & kLiteral) {
        *out++ = static_cast<std::uint8_t>(e >> 16);
        continue;
      }
      if (e & (kEndOfBlock | kInvalid)) {
        bits_ = b;
        if (e & kInvalid) {
          CheckNotPastEnd();
          Corrupt("invalid literal/length code");
        }
        state_ = State::kBlockStart;
        return out;
      }
      // The extra bits of the length (16 at most), the distance code and its extra bits.
      if (b.count < 16 + kMaxCodeLength + 14) Refill(b);
      const std::uint32_t length = (e >> 16) + b.Take((e >> 5) & 31u);
      std::uint32_t d = distances[b.Peek(kDistanceBits)];
      if (d & kLink) {
        b.Drop(kDistanceBits);
        d = distances[(d >> 16) + b.Peek((d >> 5) & 31u)];
      }
      b.Drop(d & 31u);
      if (d & kInvalid) {
        bits_ = b;
        CheckNotPastEnd();
        Corrupt("invalid distance code");
      }
      const std::uint32_t distance = (d >> 16) + b.Take((d >> 5) & 31u);
      if (distance > static_cast<std::size_t>(out - window)) {
        bits_ = b;
        CheckNotPastEnd();
        Corrupt("a match reaches back before the start of the data");
      }
      std::size_t n = length;
      if (n > static_cast<std::size_t>(end - out)) {
        // The rest of the match is copied on the next call, after the caller has taken this.
        n = static_cast<std::size_t>(end - out);
        pending_length_ = length - static_cast<std::uint32_t>(n);
        pending_distance_ = distance;
      }
      out = CopyMatch(out, distance, n);
    }
    bits_ = b;
    return out;
  }

  const bool deflate64_;
  const bool size_known_;
  std::uint64_t remaining_;  // output still to come when the size is known
  const std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> window_;
  std::size_t out_pos_ = 0;   // end of decoded output in window_
  std::size_t read_pos_ = 0;  // next byte to hand out
  State state_ = State::kBlockStart;
  bool failed_ = false;
  bool final_block_ = false;
  bool fixed_tables_ = false;
  std::uint32_t stored_remaining_ = 0;
  std::uint32_t pending_length_ = 0;
  std::uint32_t pending_distance_ = 0;

  std::unique_ptr<InStream> source_;
  std::unique_ptr<std::uint8_t[]> input_;
  Bits bits_{0, 0, nullptr, nullptr};
  bool eof_ = false;
  unsigned padding_ = 0;  // zero bits added to the bit buffer after the input ended

  std::array<std::uint32_t, kLitLenSymbols> litlen_symbols_{};
  std::array<std::uint32_t, kDistanceSymbols> distance_symbols_{};
  std::array<std::uint32_t, kCodeLengthSymbols> code_length_symbols_{};
  std::array<std::uint32_t, kLitLenTableSize> litlen_table_;
  std::array<std::uint32_t, kDistanceTableSize> distance_table_;
};

}  // namespace

std::unique_ptr<InStream> MakeDeflateDecoder(std::uint64_t unpack_size,
                                             std::unique_ptr<InStream> input) {
  return std::make_unique<DeflateDecoder>(false, unpack_size, std::move(input));
}

std::unique_ptr<InStream> MakeDeflate64Decoder(std::uint64_t unpack_size,
                                               std::unique_ptr<InStream> input) {
  return std::make_unique<DeflateDecoder>(true, unpack_size, std::move(input));
}

}  // namespace tvl
