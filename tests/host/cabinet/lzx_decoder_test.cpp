// LZX folders: the real cabinets with LZX folders, and cabinets written here by a small LZX
// writer (verbatim, aligned and uncompressed blocks, repeated offsets, E8 translation, every
// window size), each checked against what cabextract extracts; then damaged streams, which must
// fail cleanly.
#include "stub/cabinet/core/lzx_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/host/cabinet/cabinet_test_support.h"

namespace cab {
namespace {

using namespace test;

constexpr std::size_t kFrame = 32768;

unsigned FooterBits(unsigned slot) {
  return slot < 4 ? 0 : std::min((slot - 2) / 2, 17u);
}
std::uint32_t PositionBase(unsigned slot) {
  std::uint32_t base = 0;
  for (unsigned s = 0; s < slot; ++s) base += 1u << FooterBits(s);
  return base;
}
unsigned SlotCount(unsigned windowBits) {
  constexpr unsigned kSlots[7] = {30, 32, 34, 36, 38, 42, 50};
  return kSlots[windowBits - 15];
}

// Code lengths of at most `limit` bits for the frequencies (at least two symbols get a code).
std::vector<std::uint8_t> CodeLengths(std::vector<std::uint32_t> freq, unsigned limit) {
  std::size_t used = std::count_if(freq.begin(), freq.end(), [](auto f) { return f != 0; });
  for (std::size_t s = 0; used < 2; ++s) {
    if (freq[s] == 0) {
      freq[s] = 1;
      ++used;
    }
  }
  for (;;) {
    // Plain Huffman: merge the two lightest nodes until one is left.
    struct Node {
      std::uint64_t weight;
      int parent;
    };
    std::vector<Node> nodes;
    std::vector<int> leaf(freq.size(), -1), live;
    for (std::size_t s = 0; s < freq.size(); ++s) {
      if (freq[s] == 0) continue;
      leaf[s] = static_cast<int>(nodes.size());
      live.push_back(leaf[s]);
      nodes.push_back({freq[s], -1});
    }
    while (live.size() > 1) {
      std::sort(live.begin(), live.end(),
                [&](int a, int b) { return nodes[a].weight > nodes[b].weight; });
      const int a = live.back();
      live.pop_back();
      const int b = live.back();
      live.pop_back();
      nodes[a].parent = nodes[b].parent = static_cast<int>(nodes.size());
      live.push_back(static_cast<int>(nodes.size()));
      nodes.push_back({nodes[a].weight + nodes[b].weight, -1});
    }
    std::vector<std::uint8_t> lengths(freq.size(), 0);
    unsigned longest = 0;
    for (std::size_t s = 0; s < freq.size(); ++s) {
      unsigned depth = 0;
      for (int n = leaf[s]; n >= 0 && nodes[n].parent >= 0; n = nodes[n].parent) ++depth;
      lengths[s] = static_cast<std::uint8_t>(depth);
      longest = std::max(longest, depth);
    }
    if (longest <= limit) return lengths;
    for (auto& f : freq) f = f == 0 ? 0 : (f >> 1) | 1;
  }
}

// Canonical codes, most significant bit first.
std::vector<std::uint32_t> Codes(const std::vector<std::uint8_t>& lengths) {
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  std::uint32_t code = 0;
  for (unsigned len = 1; len <= 16; ++len, code <<= 1) {
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == len) codes[s] = code++;
    }
  }
  return codes;
}

struct Token {
  std::uint32_t literal;  // when length == 0
  std::uint32_t length = 0;
  std::uint32_t offset = 0;
};

struct Block {
  unsigned type;  // 1 verbatim, 2 aligned, 3 uncompressed
  std::vector<Token> tokens;
};

// Writes an LZX folder as the data blocks of a cabinet (one per 32 KB of output).
class Writer {
 public:
  Writer(unsigned windowBits, bool e8, std::int32_t e8Size)
      : slots_(SlotCount(windowBits)), mainLengths_(256 + 8 * slots_, 0), lengthLengths_(249, 0) {
    Bits(e8, 1);
    if (e8) {
      Bits(static_cast<std::uint32_t>(e8Size) >> 16, 16);
      Bits(static_cast<std::uint32_t>(e8Size) & 0xFFFF, 16);
    }
  }

  // Pretree runs of 19 also over symbols whose previous lengths differ (counted).
  bool looseRuns = false;
  unsigned looseRunsUsed = 0;

  void Add(const Block& block) {
    std::uint32_t size = 0;
    for (const Token& t : block.tokens) size += t.length ? t.length : 1;
    Bits(block.type, 3);
    Bits(size >> 8, 16);
    Bits(size & 0xFF, 8);
    if (block.type == 3) {
      Bits(0, 16 - used_ % 16);
      for (std::uint32_t r : repeat_) {
        for (int k = 0; k < 4; ++k) RawByte(static_cast<std::uint8_t>(r >> (8 * k)));
      }
      for (std::size_t i = 0; i < block.tokens.size(); ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(block.tokens[i].literal);
        RawByte(b);
        output_.push_back(b);
        if (i + 1 == block.tokens.size() && size % 2) RawByte(0);
        EndOfFrame(output_.size());
      }
      return;
    }
    // The symbols first, to count them.
    struct Symbol {
      unsigned main;
      int length = -1;
      std::uint32_t extra = 0;
      unsigned extraBits = 0;
      int aligned = -1;
      std::uint32_t size = 1;
    };
    std::vector<Symbol> symbols;
    std::vector<std::uint32_t> mainFreq(mainLengths_.size()), lengthFreq(249), alignedFreq(8, 1);
    for (const Token& t : block.tokens) {
      Symbol s;
      if (t.length == 0) {
        s.main = t.literal;
      } else {
        s.size = t.length;
        unsigned slot;
        if (t.offset == repeat_[0]) {
          slot = 0;
        } else if (t.offset == repeat_[1] || t.offset == repeat_[2]) {
          slot = t.offset == repeat_[1] ? 1 : 2;
          std::swap(repeat_[0], repeat_[slot]);
        } else {
          const std::uint32_t formatted = t.offset + 2;
          slot = 3;
          while (PositionBase(slot + 1) <= formatted) ++slot;
          s.extraBits = FooterBits(slot);
          s.extra = formatted - PositionBase(slot);
          if (block.type == 2 && s.extraBits >= 3) {
            s.aligned = static_cast<int>(s.extra & 7);
            s.extra >>= 3;
            s.extraBits -= 3;
            ++alignedFreq[static_cast<std::size_t>(s.aligned)];
          }
          repeat_[2] = repeat_[1];
          repeat_[1] = repeat_[0];
          repeat_[0] = t.offset;
        }
        const unsigned header = std::min(t.length - 2, 7u);
        s.main = 256 + slot * 8 + header;
        if (header == 7) {
          s.length = static_cast<int>(t.length - 9);
          ++lengthFreq[static_cast<std::size_t>(s.length)];
        }
        for (std::uint32_t k = 0; k < t.length; ++k) {
          // (Offsets before the start, for the malformed cases, copy zeros.)
          const std::uint8_t b =
              t.offset <= output_.size() ? output_[output_.size() - t.offset] : 0;
          output_.push_back(b);
        }
      }
      if (t.length == 0) output_.push_back(static_cast<std::uint8_t>(t.literal));
      ++mainFreq[s.main];
      symbols.push_back(s);
    }
    std::vector<std::uint8_t> alignedLengths;
    if (block.type == 2) {
      alignedLengths = CodeLengths(alignedFreq, 7);
      for (std::uint8_t len : alignedLengths) Bits(len, 3);
    }
    const auto mainLengths = CodeLengths(mainFreq, 16);
    const auto lengthLengths = CodeLengths(lengthFreq, 16);
    Lengths(mainLengths_, mainLengths, 0, 256);
    Lengths(mainLengths_, mainLengths, 256, mainLengths.size());
    Lengths(lengthLengths_, lengthLengths, 0, 249);
    const auto mainCodes = Codes(mainLengths), lengthCodes = Codes(lengthLengths);
    const auto alignedCodes = Codes(alignedLengths);
    std::size_t produced = output_.size() - size;
    for (const Symbol& s : symbols) {
      Bits(mainCodes[s.main], mainLengths[s.main]);
      if (s.length >= 0) {
        const auto l = static_cast<std::size_t>(s.length);
        Bits(lengthCodes[l], lengthLengths[l]);
      }
      Bits(s.extra, s.extraBits);
      if (s.aligned >= 0) {
        const auto a = static_cast<std::size_t>(s.aligned);
        Bits(alignedCodes[a], alignedLengths[a]);
      }
      produced += s.size;
      EndOfFrame(produced);
    }
  }

  // The data blocks, the last one cut where the output ends.
  std::vector<TestBlock> Finish() {
    if (output_.size() > frames_.size() * kFrame) {
      Flush(static_cast<std::uint16_t>(output_.size() - frames_.size() * kFrame));
    }
    return frames_;
  }
  const Bytes& output() const { return output_; }

 private:
  void Bits(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      if (used_ % 16 == 0) word_ = 0;
      word_ |= ((value >> i) & 1u) << (15 - used_ % 16);
      if (++used_ % 16 == 0) {
        bytes_.push_back(static_cast<std::uint8_t>(word_));
        bytes_.push_back(static_cast<std::uint8_t>(word_ >> 8));
      }
    }
  }
  void RawByte(std::uint8_t b) { bytes_.push_back(b); }
  void EndOfFrame(std::size_t position) {
    if (position >= frameEnd_) Flush(static_cast<std::uint16_t>(kFrame));
  }
  void Flush(std::uint16_t size) {
    if (used_ % 16) Bits(0, 16 - used_ % 16);
    used_ = 0;
    frames_.push_back({bytes_, size});
    bytes_.clear();
    frameEnd_ += kFrame;
  }
  // One part of a tree's lengths through a pretree.
  void Lengths(std::vector<std::uint8_t>& previous, const std::vector<std::uint8_t>& lengths,
               std::size_t from, std::size_t to) {
    struct Code {
      unsigned symbol, extra = 0, extraBits = 0, value = 99;
    };
    std::vector<Code> codes;
    auto delta = [&](std::size_t i, unsigned len) { return (previous[i] + 17 - len) % 17; };
    for (std::size_t i = from; i < to;) {
      std::size_t run = 1;
      while (i + run < to && lengths[i + run] == lengths[i]) ++run;
      if (lengths[i] == 0 && run >= 20) {
        run = std::min<std::size_t>(run, 51);
        codes.push_back({18, static_cast<unsigned>(run - 20), 5});
      } else if (lengths[i] == 0 && run >= 4) {
        run = std::min<std::size_t>(run, 19);
        codes.push_back({17, static_cast<unsigned>(run - 4), 4});
      } else if (const bool same =
                     std::all_of(previous.begin() + static_cast<std::ptrdiff_t>(i),
                                 previous.begin() +
                                     static_cast<std::ptrdiff_t>(i + std::min<std::size_t>(run, 5)),
                                 [&](std::uint8_t p) { return p == previous[i]; });
                 run >= 4 && (same || looseRuns)) {
        looseRunsUsed += !same;
        run = std::min<std::size_t>(run, 5);
        codes.push_back({19, static_cast<unsigned>(run - 4), 1, delta(i, lengths[i])});
      } else {
        run = 1;
        codes.push_back({delta(i, lengths[i])});
      }
      std::fill_n(previous.begin() + static_cast<std::ptrdiff_t>(i), run, lengths[i]);
      i += run;
    }
    std::vector<std::uint32_t> freq(20);
    for (const Code& c : codes) {
      ++freq[c.symbol];
      if (c.value != 99) ++freq[c.value];
    }
    const auto pre = CodeLengths(freq, 15);
    const auto preCodes = Codes(pre);
    for (std::uint8_t len : pre) Bits(len, 4);
    for (const Code& c : codes) {
      Bits(preCodes[c.symbol], pre[c.symbol]);
      Bits(c.extra, c.extraBits);
      if (c.value != 99) Bits(preCodes[c.value], pre[c.value]);
    }
  }

  unsigned slots_;
  std::vector<std::uint8_t> mainLengths_, lengthLengths_;
  std::uint32_t repeat_[3] = {1, 1, 1};
  Bytes output_, bytes_;
  std::uint32_t word_ = 0;
  unsigned used_ = 0;
  std::size_t frameEnd_ = kFrame;
  std::vector<TestBlock> frames_;
};

// Greedy matches (hash of three bytes) of `data` as blocks of at most `blockSize` bytes, of the
// given types in turn. Matches end within their block and their frame.
std::vector<Block> Tokens(const Bytes& data, std::uint32_t window, std::size_t blockSize,
                          const std::vector<unsigned>& types) {
  std::vector<Block> blocks;
  std::vector<std::int64_t> last(1 << 16, -1);
  std::size_t blockEnd = 0;
  for (std::size_t i = 0; i < data.size();) {
    if (i == blockEnd) {
      blocks.push_back({types[blocks.size() % types.size()], {}});
      blockEnd = std::min(data.size(), i + blockSize);
    }
    Block& block = blocks.back();
    std::uint32_t best = 0, offset = 0;
    if (block.type != 3 && i + 3 <= data.size()) {
      const unsigned h = (data[i] << 8 | data[i + 1]) ^ data[i + 2] * 40503u;
      const std::int64_t at = last[h & 0xFFFF];
      last[h & 0xFFFF] = static_cast<std::int64_t>(i);
      if (at >= 0 && i - static_cast<std::size_t>(at) < window - 3) {
        std::uint32_t n = 0;
        const std::size_t stop = std::min(blockEnd, (i / kFrame + 1) * kFrame);
        while (n < 257 && i + n < stop && data[static_cast<std::size_t>(at) + n] == data[i + n]) {
          ++n;
        }
        if (n >= 3) best = n, offset = static_cast<std::uint32_t>(i - static_cast<std::size_t>(at));
      }
    }
    if (best) {
      block.tokens.push_back({0, best, offset});
      i += best;
    } else {
      block.tokens.push_back({data[i]});
      ++i;
    }
  }
  return blocks;
}

// A cabinet of one LZX folder with one file, what cabextract extracts from it and what the
// decoder makes of it.
struct Result {
  Bytes cabinet, reference, decoded;
  Error error = Error::kNone;
};

Result Check(unsigned windowBits, const std::vector<TestBlock>& frames, std::size_t size) {
  Result r;
  r.cabinet = MakeCabinet(static_cast<std::uint16_t>(3 | windowBits << 8), frames,
                          {{"f.bin", static_cast<std::uint32_t>(size), 0, 0}});
  TempDir dir;
  WriteBytes(dir.path() / "t.cab", r.cabinet);
  auto files = Cabextract(dir.path() / "t.cab");
  if (files.count("f.bin")) r.reference = files["f.bin"];
  LoadedSet set({r.cabinet});
  CollectingSink sink;
  r.error = ExtractSet(set.members, sink);
  r.decoded = sink.files[{0, 0}].data;
  return r;
}

Bytes Sample(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t kind = (i / 3000) % 3;
    data[i] = static_cast<std::uint8_t>(kind == 0   ? random() % 4 + 'a'
                                        : kind == 1 ? random()
                                                    : "the quick brown fox "[i % 20]);
  }
  // Some far repeats.
  for (std::size_t i = 50000; i + 5000 < size; i += 70000) {
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(i - 45000), 5000,
                data.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return data;
}

// Equal bytes, or where they first differ.
testing::AssertionResult Same(const Bytes& a, const Bytes& b) {
  const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (x == a.end() && y == b.end()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size()
                                     << ", first difference at " << (x - a.begin());
}

TEST(Lzx, MatchesCabextractOnTheRealCabinets) {
  for (const char* name : {"mszip_lzx_qtm.cab", "normal_2files_2folders.cab"}) {
    SCOPED_TRACE(name);
    LoadedSet set({ReadBytes(DataDir() / name)});
    ASSERT_EQ(set.readResult, Error::kNone);
    const auto reference = Cabextract(DataDir() / name);
    CollectingSink sink;
    std::map<std::string, Bytes> files;
    (void)set.Extract(files, sink);
    const Cabinet& cabinet = set.cabinets[0];
    unsigned lzx = 0;
    for (std::size_t i = 0; i < cabinet.files.size(); ++i) {
      const File& file = cabinet.files[i];
      if (cabinet.folders[cabinet.FolderOf(file)].method() != Method::kLzx) continue;
      ++lzx;
      EXPECT_EQ((sink.files[{0, i}].result), Error::kNone) << file.name;
      EXPECT_EQ(files.at(file.name), reference.at(file.name)) << file.name;
    }
    EXPECT_GT(lzx, 0u);
  }
}

TEST(Lzx, MatchesCabextractOnEveryWindowAndBlockKind) {
  const Bytes data = Sample(120'000, 7);
  for (unsigned bits = 15; bits <= 21; ++bits) {
    for (const auto& types : std::vector<std::vector<unsigned>>{{1}, {2}, {3, 1, 2}}) {
      SCOPED_TRACE(testing::Message() << "window " << bits << " first type " << types[0]);
      // Blocks of odd sizes, so blocks and frames end apart (and uncompressed ones are padded).
      const auto blocks = Tokens(data, 1u << bits, 45'001, types);
      Writer writer(bits, false, 0);
      for (const Block& b : blocks) writer.Add(b);
      ASSERT_EQ(writer.output(), data);
      const Result r = Check(bits, writer.Finish(), data.size());
      EXPECT_TRUE(Same(r.reference, data));
      EXPECT_EQ(r.error, Error::kNone);
      EXPECT_TRUE(Same(r.decoded, data));
    }
  }
}

TEST(Lzx, FollowsRepeatedOffsetsToTheEndOfAFrame) {
  // Hand-picked tokens: all three repeated offsets (with their swaps), the longest match, a
  // match that ends right at the end of a frame, and an uncompressed block that hands over its
  // repeated offsets. A match that runs over the end of a frame is turned down (as cabextract
  // does).
  std::vector<Token> tokens;
  for (char c : std::string("abcdefghijklmnop")) tokens.push_back({static_cast<std::uint8_t>(c)});
  tokens.push_back({0, 5, 16});   // new offset 16
  tokens.push_back({0, 3, 7});    // new offset 7: R = 7, 16, 1
  tokens.push_back({0, 4, 16});   // R1
  tokens.push_back({0, 9, 1});    // R2
  tokens.push_back({0, 257, 7});  // R2 again, longest
  tokens.push_back({0, 20, 1});   // R1
  std::size_t size = 16 + 5 + 3 + 4 + 9 + 257 + 20;
  while (kFrame - size > 400) {
    tokens.push_back({0, 257, 1});
    size += 257;
  }
  const auto half = static_cast<std::uint32_t>(kFrame - size) / 2;
  const auto rest = static_cast<std::uint32_t>(kFrame - size) - half;
  {
    Writer over(16, false, 0);
    auto overTokens = tokens;
    overTokens.push_back({0, half, 3});
    overTokens.push_back({0, rest + 1, 3});  // one byte over the frame's end
    overTokens.push_back({'z'});
    over.Add({1, overTokens});
    const Result r = Check(16, over.Finish(), kFrame + 1);
    EXPECT_LT(r.reference.size(), kFrame + 1);
    EXPECT_EQ(r.error, Error::kDecompressFailure);
  }
  tokens.push_back({0, half, 3});
  tokens.push_back({0, rest, 3});  // up to the frame's end
  size = kFrame;
  Writer writer(16, false, 0);
  writer.Add({2, tokens});
  std::vector<Token> raw;
  for (int i = 0; i < 777; ++i) raw.push_back({static_cast<std::uint32_t>(i * 7 % 251)});
  writer.Add({3, raw});
  writer.Add({1, {{0, 30, 3}, {'x'}, {0, 40, 1}}});
  size += 777 + 30 + 1 + 40;
  const Bytes expected = writer.output();
  ASSERT_EQ(expected.size(), size);
  const Result r = Check(16, writer.Finish(), size);
  EXPECT_TRUE(Same(r.reference, expected));
  EXPECT_EQ(r.error, Error::kNone);
  EXPECT_TRUE(Same(r.decoded, expected));
}

TEST(Lzx, ReadsLengthRunsOverDifferingPreviousLengths) {
  // Runs of 19 whose symbols had different lengths before: the new length comes from the first.
  const Bytes data = Sample(70'000, 3);
  Writer writer(17, false, 0);
  writer.looseRuns = true;
  for (const Block& b : Tokens(data, 1u << 17, 9'000, {1, 2})) writer.Add(b);
  EXPECT_GT(writer.looseRunsUsed, 10u);
  const Result r = Check(17, writer.Finish(), data.size());
  EXPECT_TRUE(Same(r.reference, data));
  EXPECT_TRUE(Same(r.decoded, data));
}

TEST(Lzx, UndoesE8TranslationLikeCabextract) {
  // Calls everywhere, at the ends of frames too, with targets in and out of range.
  std::mt19937 random(5);
  Bytes data(3 * kFrame + 1234);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(random() % 5 == 0 ? 0xE8 : random() % 3 ? 0 : random());
  }
  for (std::size_t f = kFrame; f < data.size(); f += kFrame) {
    std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(f - 14), 14, 0xE8);
  }
  for (std::int32_t size : {0, 1000, 100'000, 12'000'000}) {
    SCOPED_TRACE(size);
    Writer writer(15, true, size);
    for (const Block& b : Tokens(data, 1u << 15, 20'000, {1, 3, 2})) writer.Add(b);
    const Result r = Check(15, writer.Finish(), data.size());
    ASSERT_EQ(r.reference.size(), data.size());
    EXPECT_EQ(r.error, Error::kNone);
    EXPECT_TRUE(Same(r.decoded, r.reference));
    if (size > 0) {
      EXPECT_NE(r.decoded, data);
    }
  }
}

// Bits written out as LZX words: most significant bit first, each word little-endian.
Bytes FromBits(const std::string& bits) {
  Bytes out;
  for (std::size_t i = 0; i < bits.size(); i += 16) {
    unsigned word = 0;
    for (std::size_t k = 0; k < 16; ++k) {
      word = word << 1 | (i + k < bits.size() && bits[i + k] == '1');
    }
    out.push_back(static_cast<std::uint8_t>(word));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
  }
  return out;
}

// Decodes the frames straight into the decoder, block by block.
Error DecodeFrames(unsigned windowBits, const std::vector<TestBlock>& frames) {
  LzxDecoder decoder;
  if (Error e = decoder.Reset(windowBits); e != Error::kNone) return e;
  for (const TestBlock& f : frames) {
    std::span<const std::uint8_t> out;
    if (Error e = decoder.DecodeBlock(f.data, f.uncompressed, out); e != Error::kNone) return e;
    if (out.size() != f.uncompressed) return Error::kCorruptCabinet;
  }
  return Error::kNone;
}

TEST(Lzx, TurnsDownMalformedStreams) {
  LzxDecoder decoder;
  std::span<const std::uint8_t> out;
  const Bytes some(100, 0);
  EXPECT_EQ(decoder.DecodeBlock(some, 10, out), Error::kDecompressFailure);  // no Reset
  EXPECT_EQ(decoder.Reset(14), Error::kBadCompressionType);
  EXPECT_EQ(decoder.Reset(22), Error::kBadCompressionType);
  ASSERT_EQ(decoder.Reset(15), Error::kNone);
  EXPECT_EQ(decoder.DecodeBlock(some, 0, out), Error::kDecompressFailure);
  EXPECT_EQ(decoder.DecodeBlock(some, kFrame + 1, out), Error::kDecompressFailure);

  auto frames = [](const std::vector<Block>& blocks) {
    Writer writer(15, false, 0);
    for (const Block& b : blocks) writer.Add(b);
    return writer.Finish();
  };
  const auto good = frames({{1, {{'a'}, {'b'}, {0, 6, 2}}}});
  ASSERT_EQ(DecodeFrames(15, good), Error::kNone);
  // Offsets before the start of the folder, directly or through a repeated offset.
  EXPECT_EQ(DecodeFrames(15, frames({{1, {{'a'}, {0, 6, 2}}}})), Error::kDecompressFailure);
  EXPECT_EQ(DecodeFrames(15, frames({{1, {{0, 3, 1}}}})), Error::kDecompressFailure);
  // Block types 0 and 4..7, an empty block.
  for (unsigned type : {0u, 4u, 5u, 6u, 7u}) {
    Bytes bad = good[0].data;
    bad[1] = static_cast<std::uint8_t>((bad[1] & 0x8F) | type << 4);
    EXPECT_EQ(DecodeFrames(15, {{bad, good[0].uncompressed}}), Error::kDecompressFailure);
  }
  EXPECT_EQ(DecodeFrames(15, {{FromBits("0001" + std::string(24, '0')), 8}}),
            Error::kDecompressFailure);
  // A block shorter than its frame, with nothing behind it.
  EXPECT_EQ(DecodeFrames(15, {{good[0].data, 9}}), Error::kDecompressFailure);
  // An uncompressed block whose bytes are missing.
  const auto raw = frames({{3, {{'a'}, {'b'}, {'c'}}}});
  ASSERT_EQ(DecodeFrames(15, raw), Error::kNone);
  for (std::size_t cut = 0; cut < raw[0].data.size() - 1; ++cut) {
    const Bytes part(raw[0].data.begin(), raw[0].data.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(DecodeFrames(15, {{part, 3}}), Error::kDecompressFailure) << cut;
  }
  // Over-subscribed trees: a pretree of twenty 1-bit codes, an aligned tree of eight.
  std::string oneBit;
  for (int i = 0; i < 20; ++i) oneBit += "0001";
  EXPECT_EQ(DecodeFrames(15, {{FromBits("0001000000000000000000001000" + oneBit), 8}}),
            Error::kDecompressFailure);
  std::string aligned;
  for (int i = 0; i < 8; ++i) aligned += "001";
  EXPECT_EQ(DecodeFrames(15, {{FromBits("0010000000000000000000001000" + aligned), 8}}),
            Error::kDecompressFailure);
}

TEST(Lzx, SurvivesCutsAndFlippedBits) {
  const Bytes data = Sample(80'000, 11);
  for (unsigned type : {1u, 2u, 3u}) {
    Writer writer(16, true, 50'000);
    for (const Block& b : Tokens(data, 1u << 16, 30'000, {type, 1})) writer.Add(b);
    const auto good = writer.Finish();
    ASSERT_EQ(DecodeFrames(16, good), Error::kNone);
    std::mt19937 random(type);
    for (int round = 0; round < 300; ++round) {
      auto bad = good;
      Bytes& frame = bad[random() % bad.size()].data;
      if (round % 3 == 0) {
        frame.resize(random() % frame.size());
      } else {
        for (int k = 0; k < 3; ++k) {
          frame[random() % frame.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        }
      }
      const Error e = DecodeFrames(16, bad);
      EXPECT_TRUE(e == Error::kNone || e == Error::kDecompressFailure);
    }
  }
}

}  // namespace
}  // namespace cab
