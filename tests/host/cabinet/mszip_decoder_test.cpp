// MSZIP blocks made by hand, bit by bit: stored, fixed and dynamic deflate blocks, history carried
// from block to block, and each kind of malformed stream the decoder must turn down.
#include "stub/cabinet/core/mszip_decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace cab {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr unsigned kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr unsigned kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// Writes a deflate stream behind "CK".
class Stream {
 public:
  Stream() : bytes_{'C', 'K'} {}

  void Bits(std::uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<std::uint8_t>(((value >> i) & 1u) << used_);
      used_ = (used_ + 1) & 7;
    }
  }
  // A prefix code, most significant bit first.
  void Code(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bits((code >> i) & 1u, 1);
  }
  void Align() { used_ = 0; }
  void Byte(std::uint8_t b) {
    Align();
    bytes_.push_back(b);
  }
  void Stored(const Bytes& data, bool last) {
    Bits(last, 1);
    Bits(0, 2);
    Align();
    Bits(static_cast<std::uint32_t>(data.size()), 16);
    Bits(static_cast<std::uint32_t>(~data.size()) & 0xFFFF, 16);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  void FixedHeader(bool last) {
    Bits(last, 1);
    Bits(1, 2);
  }
  void FixedSymbol(unsigned s) {
    if (s < 144) {
      Code(0x30 + s, 8);
    } else if (s < 256) {
      Code(0x190 + s - 144, 9);
    } else if (s < 280) {
      Code(s - 256, 7);
    } else {
      Code(0xC0 + s - 280, 8);
    }
  }
  void FixedLiterals(const std::string& text) {
    for (char c : text) FixedSymbol(static_cast<std::uint8_t>(c));
  }
  void FixedMatch(unsigned length, unsigned distance) {
    unsigned li = 28;
    while (kLengthBase[li] > length) --li;
    FixedSymbol(257 + li);
    Bits(length - kLengthBase[li], kLengthExtra[li]);
    unsigned di = 29;
    while (kDistBase[di] > distance) --di;
    Code(di, 5);
    Bits(distance - kDistBase[di], di < 4 ? 0 : di / 2 - 1);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  unsigned used_ = 0;
};

// Canonical codes for a set of lengths, as deflate assigns them.
std::vector<std::uint32_t> Canonical(const std::vector<std::uint8_t>& lengths) {
  unsigned count[16] = {};
  for (auto l : lengths) ++count[l];
  count[0] = 0;
  std::uint32_t next[16] = {};
  for (unsigned len = 1, code = 0; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<std::uint32_t> codes(lengths.size());
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// A dynamic block header that sends every length as a plain 4-bit code-length symbol; returns
// the literal and distance codes to write the data with.
struct DynamicCodes {
  std::vector<std::uint32_t> literal, distance;
  std::vector<std::uint8_t> literalLengths, distanceLengths;
  void Literal(Stream& s, unsigned symbol) const {
    s.Code(literal[symbol], literalLengths[symbol]);
  }
  void Distance(Stream& s, unsigned symbol) const {
    s.Code(distance[symbol], distanceLengths[symbol]);
  }
};

DynamicCodes DynamicHeader(Stream& s, const std::vector<std::uint8_t>& lit,
                           const std::vector<std::uint8_t>& dist, bool last = true) {
  s.Bits(last, 1);
  s.Bits(2, 2);
  s.Bits(static_cast<std::uint32_t>(lit.size() - 257), 5);
  s.Bits(static_cast<std::uint32_t>(dist.size() - 1), 5);
  s.Bits(19 - 4, 4);
  // Order 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15: 0..15 get 4 bits.
  for (int i = 0; i < 19; ++i) s.Bits(i < 3 ? 0 : 4, 3);
  for (auto l : lit) s.Code(l, 4);  // symbol k has the code k
  for (auto l : dist) s.Code(l, 4);
  return {Canonical(lit), Canonical(dist), lit, dist};
}

struct Decoder {
  std::unique_ptr<MszipDecoder> mszip = std::make_unique<MszipDecoder>();
  Error Decode(const Bytes& in, std::size_t size, Bytes* out = nullptr) {
    std::span<const std::uint8_t> view;
    const Error e = mszip->DecodeBlock(in, size, view);
    if (e == Error::kNone && out) out->assign(view.begin(), view.end());
    return e;
  }
};

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

TEST(Mszip, DecodesStoredFixedAndDynamicBlocks) {
  Stream s;
  s.Stored(Text("stored "), false);
  s.FixedHeader(false);
  s.FixedLiterals("abc");
  s.FixedMatch(6, 3);
  s.FixedSymbol(256);
  const DynamicCodes codes = DynamicHeader(s,
                                           [] {
                                             std::vector<std::uint8_t> lit(258, 0);
                                             lit['a'] = lit['b'] = lit[256] = lit[257] = 2;
                                             return lit;
                                           }(),
                                           {1});
  codes.Literal(s, 'a');
  codes.Literal(s, 'b');
  codes.Literal(s, 257);  // length 3
  codes.Distance(s, 0);   // distance 1
  codes.Literal(s, 256);
  Decoder d;
  Bytes out;
  ASSERT_EQ(d.Decode(s.bytes(), 21, &out), Error::kNone);
  EXPECT_EQ(out, Text("stored abcabcabcabbbb"));
}

TEST(Mszip, DecodesRunLengthsInTheDynamicHeader) {
  Stream s;
  s.Bits(1, 1);
  s.Bits(2, 2);
  s.Bits(1, 5);   // 258 literal/length codes
  s.Bits(0, 5);   // 1 distance code
  s.Bits(14, 4);  // 18 code length code lengths
  // 16:0 17:0 18:2 0:2 8 7 9 6 10 5 11 4 12 3 13:0 2:2 14:0 1:2 -> codes 0:00 1:01 2:10 18:11
  const unsigned order[18] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
  for (unsigned l : order) s.Bits(l, 3);
  s.Code(3, 2);  // 18: 97 zeros
  s.Bits(97 - 11, 7);
  s.Code(2, 2);  // 'a': 2
  s.Code(2, 2);  // 'b': 2
  s.Code(3, 2);  // 18: 138 zeros
  s.Bits(127, 7);
  s.Code(3, 2);  // 18: 19 zeros
  s.Bits(8, 7);
  s.Code(2, 2);  // 256: 2
  s.Code(2, 2);  // 257: 2
  s.Code(1, 2);  // distance 0: 1
  s.Code(0, 2);  // 'a'
  s.Code(1, 2);  // 'b'
  s.Code(3, 2);  // length 3
  s.Code(0, 1);  // distance 1
  s.Code(2, 2);  // end of block
  Decoder d;
  Bytes out;
  ASSERT_EQ(d.Decode(s.bytes(), 5, &out), Error::kNone);
  EXPECT_EQ(out, Text("abbbb"));
}

TEST(Mszip, CarriesTheHistoryIntoTheNextBlock) {
  std::mt19937 random(7);
  Bytes first(32768);
  for (auto& b : first) b = static_cast<std::uint8_t>(random());
  Stream one;
  one.Stored(first, true);
  Stream two;
  two.FixedHeader(true);
  two.FixedMatch(258, 32768);  // reaches the very first byte of the history
  two.FixedMatch(10, 1000);
  two.FixedSymbol(256);
  Decoder d;
  Bytes out;
  ASSERT_EQ(d.Decode(one.bytes(), first.size(), &out), Error::kNone);
  EXPECT_EQ(out, first);
  ASSERT_EQ(d.Decode(two.bytes(), 268, &out), Error::kNone);
  Bytes expected(first.begin(), first.begin() + 258);
  expected.insert(expected.end(), first.end() - 742, first.end() - 732);
  EXPECT_EQ(out, expected);
  // Without the history the same block reaches too far back.
  d.mszip->Reset();
  EXPECT_EQ(d.Decode(two.bytes(), 268), Error::kDecompressFailure);
  // One byte of history is not enough for distance 2.
  Stream small;
  small.Stored(Text("x"), true);
  Stream reach;
  reach.FixedHeader(true);
  reach.FixedMatch(3, 2);
  reach.FixedSymbol(256);
  ASSERT_EQ(d.Decode(small.bytes(), 1), Error::kNone);
  EXPECT_EQ(d.Decode(reach.bytes(), 3), Error::kDecompressFailure);
}

TEST(Mszip, RejectsMalformedStreams) {
  Decoder d;
  auto fixed = [](auto body) {
    Stream s;
    s.FixedHeader(true);
    body(s);
    return s.bytes();
  };
  // No "CK", and a reserved block type.
  EXPECT_EQ(d.Decode(Text("XK\x03\x00"), 0), Error::kDecompressFailure);
  EXPECT_EQ(d.Decode(Text("C"), 0), Error::kDecompressFailure);
  Stream reserved;
  reserved.Bits(7, 3);
  EXPECT_EQ(d.Decode(reserved.bytes(), 0), Error::kDecompressFailure);
  // Stored length and its complement disagree; stored data longer than the block.
  Bytes stored = [] {
    Stream s;
    s.Stored(Text("abcd"), true);
    return s.bytes();
  }();
  EXPECT_EQ(d.Decode(stored, 4), Error::kNone);
  EXPECT_EQ(d.Decode(stored, 3), Error::kDecompressFailure);
  EXPECT_EQ(d.Decode(stored, 5), Error::kDecompressFailure);
  stored[5] ^= 1;
  EXPECT_EQ(d.Decode(stored, 4), Error::kDecompressFailure);
  // Literals past the block's size, a match past it, a block that ends short.
  const Bytes text = fixed([](Stream& s) {
    s.FixedLiterals("hello");
    s.FixedMatch(5, 5);
    s.FixedSymbol(256);
  });
  EXPECT_EQ(d.Decode(text, 10), Error::kNone);
  for (std::size_t size : {0, 4, 5, 9, 11}) {
    EXPECT_EQ(d.Decode(text, size), Error::kDecompressFailure) << size;
  }
  // Every cut of a good stream fails cleanly.
  for (std::size_t n = 0; n < text.size(); ++n) {
    const Bytes cut(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(d.Decode(cut, 10), Error::kDecompressFailure) << n;
  }
  // Length symbols 286 and 287, distance symbols 30 and 31.
  for (unsigned symbol : {286u, 287u}) {
    EXPECT_EQ(d.Decode(fixed([&](Stream& s) {
                         s.FixedLiterals("abc");
                         s.FixedSymbol(symbol);
                         s.Code(0, 5);
                         s.FixedSymbol(256);
                       }),
                       6),
              Error::kDecompressFailure);
  }
  for (unsigned distance : {30u, 31u}) {
    EXPECT_EQ(d.Decode(fixed([&](Stream& s) {
                         s.FixedLiterals("abc");
                         s.FixedSymbol(257);
                         s.Code(distance, 5);
                         s.FixedSymbol(256);
                       }),
                       6),
              Error::kDecompressFailure);
  }
  // A block without its end symbol (input runs out).
  EXPECT_EQ(d.Decode(fixed([](Stream& s) { s.FixedLiterals("abc"); }), 3),
            Error::kDecompressFailure);
  // Data behind the final block's end is ignored.
  Bytes trailing = text;
  trailing.push_back(0x55);
  EXPECT_EQ(d.Decode(trailing, 10), Error::kNone);
}

TEST(Mszip, RejectsBadCodeSetsInDynamicHeaders) {
  Decoder d;
  std::vector<std::uint8_t> lit(257, 0);
  lit['a'] = 1;
  lit[256] = 1;
  auto block = [](const std::vector<std::uint8_t>& l, const std::vector<std::uint8_t>& dist) {
    Stream s;
    const DynamicCodes c = DynamicHeader(s, l, dist);
    c.Literal(s, 'a');
    c.Literal(s, 256);
    return s.bytes();
  };
  EXPECT_EQ(d.Decode(block(lit, {0}), 1), Error::kNone);  // no distances at all
  EXPECT_EQ(d.Decode(block(lit, {1}), 1), Error::kNone);  // a single distance code
  EXPECT_EQ(d.Decode(block(lit, {1, 1, 1}), 1), Error::kDecompressFailure);  // over-subscribed
  EXPECT_EQ(d.Decode(block(lit, {2, 2, 2}), 1), Error::kDecompressFailure);  // incomplete
  auto over = lit;
  over['b'] = 1;
  EXPECT_EQ(d.Decode(block(over, {0}), 1), Error::kDecompressFailure);
  auto incomplete = lit;
  incomplete[256] = 2;
  EXPECT_EQ(d.Decode(block(incomplete, {0}), 1), Error::kDecompressFailure);
  auto noEnd = lit;
  noEnd[256] = 0;
  noEnd['b'] = 1;
  EXPECT_EQ(d.Decode(block(noEnd, {0}), 1), Error::kDecompressFailure);
  // 287 literal/length codes, 31 distance codes.
  auto many = lit;
  many.resize(287, 0);
  EXPECT_EQ(d.Decode(block(many, {0}), 1), Error::kDecompressFailure);
  EXPECT_EQ(d.Decode(block(lit, std::vector<std::uint8_t>(31, 0)), 1), Error::kDecompressFailure);
  // A distance used while the block has none.
  Stream noDistance;
  const DynamicCodes c = DynamicHeader(noDistance,
                                       [] {
                                         std::vector<std::uint8_t> l(258, 0);
                                         l['a'] = 2;
                                         l[256] = 2;
                                         l[257] = 1;
                                         return l;
                                       }(),
                                       {0});
  c.Literal(noDistance, 'a');
  c.Literal(noDistance, 257);
  noDistance.Code(0, 5);
  EXPECT_EQ(d.Decode(noDistance.bytes(), 4), Error::kDecompressFailure);
}

TEST(Mszip, RejectsBadRunsInTheLengthHeader) {
  Decoder d;
  auto header = [](unsigned firstSymbol, unsigned extra, unsigned extraBits) {
    Stream s;
    s.Bits(1, 1);
    s.Bits(2, 2);
    s.Bits(0, 5);
    s.Bits(0, 5);
    s.Bits(15, 4);
    // Code length code: 16, 17, 18 and 0..15 all of 5 bits would be over-subscribed; use
    // 16:2 17:2 18:2 0:2 and the rest unused -> codes 0:00 16:01 17:10 18:11.
    const unsigned lens[19] = {2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (unsigned l : lens) s.Bits(l, 3);
    const unsigned codeOf[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
    for (int twice = 0; twice < 2; ++twice) {
      s.Code(codeOf[firstSymbol], 2);
      s.Bits(extra, extraBits);
    }
    return s.bytes();
  };
  // Repeating the previous length with no previous length.
  EXPECT_EQ(d.Decode(header(16, 0, 2), 0), Error::kDecompressFailure);
  // 138 zeros, twice, run past 257 + 1 lengths.
  Bytes overrun = header(18, 127, 7);
  EXPECT_EQ(d.Decode(overrun, 0), Error::kDecompressFailure);
  // An over-subscribed and an incomplete code length code.
  Stream over;
  over.Bits(1, 1);
  over.Bits(2, 2);
  over.Bits(0, 10);
  over.Bits(0, 4);
  for (int i = 0; i < 4; ++i) over.Bits(1, 3);
  EXPECT_EQ(d.Decode(over.bytes(), 0), Error::kDecompressFailure);
  Stream incomplete;
  incomplete.Bits(1, 1);
  incomplete.Bits(2, 2);
  incomplete.Bits(0, 10);
  incomplete.Bits(0, 4);
  for (int i = 0; i < 4; ++i) incomplete.Bits(i == 3 ? 1 : 0, 3);
  EXPECT_EQ(d.Decode(incomplete.bytes(), 0), Error::kDecompressFailure);
}

TEST(PrefixCodes, BuildCompleteSetsAndTurnDownTheRest) {
  PrefixCode code;
  const std::uint8_t complete[] = {2, 1, 3, 3};
  EXPECT_TRUE(code.Build(complete, false));
  EXPECT_EQ(code.count[1], 1);
  EXPECT_EQ(code.symbols[0], 1);  // the shortest code first
  const std::uint8_t over[] = {1, 1, 1};
  EXPECT_FALSE(code.Build(over, true));
  const std::uint8_t single[] = {0, 1};
  EXPECT_TRUE(code.Build(single, true));
  EXPECT_FALSE(code.Build(single, false));
  const std::uint8_t none[] = {0, 0};
  EXPECT_TRUE(code.Build(none, true));
  EXPECT_FALSE(code.Build(none, false));
  const std::uint8_t gap[] = {2, 2, 2};
  EXPECT_FALSE(code.Build(gap, true));
  // 15-bit codes (beyond the fast table).
  std::vector<std::uint8_t> deep(16);
  for (unsigned i = 0; i < 15; ++i) deep[i] = static_cast<std::uint8_t>(i + 1);
  deep[15] = 15;
  EXPECT_TRUE(code.Build(deep, false));
}

}  // namespace
}  // namespace cab
