// Deflate and Deflate64 against archives written by the real 7z tool, read whole and as raw
// streams through odd-sized pieces; damaged copies of them; and hand-made streams for what no
// encoder writes: impossible distances, codes that do not add up, lengths that run over.
#include "tvl/core/deflate_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/status.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
using testing::ErrorOf;
using testing::PieceStream;
using testing::ReadAll;
namespace fs = std::filesystem;

using Factory = std::unique_ptr<InStream> (*)(std::uint64_t, std::unique_ptr<InStream>);

Bytes Decode(Factory make, const Bytes& packed, std::uint64_t size,
             std::size_t input_piece = SIZE_MAX, std::size_t output_piece = 1 << 16) {
  auto decoder = make(size, std::make_unique<PieceStream>(packed, input_piece));
  return ReadAll(*decoder, output_piece);
}

std::string Text(std::size_t n, unsigned seed) {
  static const char* const kWords[] = {"setup ", "archive ", "the ",   "folder ", "of ",
                                       "and ",   "stream\n", "match ", "1999 ",   "(x) "};
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < n) out += kWords[rng() % std::size(kWords)];
  out.resize(n);
  return out;
}

// Files that make the encoders use what the decoder must get right: long text, repeats 50 KB
// back (only Deflate64 reaches them), long runs (its longest lengths), random data (stored
// blocks), an empty file and small ones.
std::map<std::string, std::string> Files() {
  const std::string far = testing::RandomData(50000, 7);
  std::string runs = std::string(300000, 'x');
  for (int i = 0; i < 100000; ++i) runs += (i % 1000 == 999) ? "c" : "ab";
  return {{"text.txt", Text(1'000'000, 1)},
          {"far.bin", far + far + far},
          {"runs.bin", runs},
          {"random.bin", testing::RandomData(300000, 8)},
          {"empty", ""},
          {"one", "1"},
          {"small.txt", Text(999, 2)}};
}

// The packed stream of an archive with one folder and an unpacked header.
Bytes PackedStream(const Bytes& archive) {
  std::size_t header_at = 0;
  for (int i = 0; i < 8; ++i) header_at += std::size_t{archive[12 + i]} << (8 * i);
  return Bytes(archive.begin() + 32, archive.begin() + 32 + static_cast<std::ptrdiff_t>(header_at));
}

class DeflateDecoderTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_;
  fs::path dir(const std::string& name) const { return scratch_.path() / name; }
};

struct Method {
  const char* name;
  Factory make;
};
constexpr Method kMethods[] = {{"Deflate", MakeDeflateDecoder},
                               {"Deflate64", MakeDeflate64Decoder}};

TEST_F(DeflateDecoderTest, ReadsWhatSevenZipWritesByteForByte) {
  const auto files = Files();
  for (const char* d : {"src", "far", "mix"}) fs::create_directories(dir(d));
  std::string mix;
  for (const auto& [name, content] : files) {
    testing::WriteFileBytes(dir("src") / name, content);
    mix += content;
  }
  testing::WriteFileBytes(dir("far") / "far.bin", files.at("far.bin"));
  testing::WriteFileBytes(dir("mix") / "mix.bin", mix);
  const Bytes expected(mix.begin(), mix.end());
  for (const Method& method : kMethods) {
    SCOPED_TRACE(method.name);
    for (const char* solid : {"-ms=on", "-ms=off"}) {
      const Bytes image = testing::Make7z(dir("src"), dir(std::string(method.name) + solid + ".7z"),
                                          std::string("-mhc=off -m0=") + method.name + " " + solid);
      MemoryByteSource source{std::span<const std::uint8_t>(image)};
      testing::MemorySink sink;
      const Status status = ExtractArchive(source, sink);
      ASSERT_TRUE(status.ok()) << solid << ": " << status.message();
      EXPECT_TRUE(sink.files == files) << solid;
    }
    // Deflate64 reaches the copies 50 KB back and codes the runs with its long lengths.
    const Bytes far = testing::Make7z(dir("far"), dir(std::string(method.name) + "far.7z"),
                                      std::string("-mhc=off -m0=") + method.name);
    EXPECT_EQ(far.size() < 60000, method.make == MakeDeflate64Decoder) << far.size();

    // One file's stream on its own, its input and output in odd pieces, which splits matches,
    // stored blocks and codes at every place; the size known or not.
    const Bytes image = testing::Make7z(dir("mix"), dir(std::string(method.name) + "mix.7z"),
                                        std::string("-mhc=off -m0=") + method.name);
    const Bytes packed = PackedStream(image);
    for (const auto& [input_piece, output_piece] :
         {std::pair<std::size_t, std::size_t>{1, 4093}, {7, 1}, {65535, 65537}}) {
      const Bytes start = Decode(method.make, packed, 200000, input_piece, output_piece);
      ASSERT_TRUE(
          std::equal(start.begin(), start.end(), expected.begin(), expected.begin() + 200000));
      if (input_piece == 7) continue;  // a byte at a time through it all is slow under ASan
      EXPECT_TRUE(Decode(method.make, packed, expected.size(), input_piece, output_piece) ==
                  expected);
      EXPECT_TRUE(Decode(method.make, packed, kUnknownUnpackSize, input_piece, output_piece) ==
                  expected);
    }
    // Asking for less stops there; asking for more is corrupt data; so is any cut.
    EXPECT_TRUE(Decode(method.make, packed, 12345) ==
                Bytes(expected.begin(), expected.begin() + 12345));
    EXPECT_EQ(ErrorOf([&] { Decode(method.make, packed, expected.size() + 1); }),
              ErrorCode::kCorrupt);
    for (std::size_t cut = 0; cut < packed.size(); cut += 1 + cut / 3) {
      const Bytes shorter(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_EQ(ErrorOf([&] { Decode(method.make, shorter, kUnknownUnpackSize); }),
                ErrorCode::kCorrupt)
          << cut;
    }
  }
}

TEST_F(DeflateDecoderTest, DamagedArchivesNeverLeaveWrongFiles) {
  const std::map<std::string, std::string> files = {
      {"a.txt", Text(5000, 3)}, {"b.bin", testing::RandomData(300, 4)}, {"c.txt", Text(3000, 5)}};
  fs::create_directories(dir("src"));
  for (const auto& [name, content] : files) testing::WriteFileBytes(dir("src") / name, content);
  for (const Method& method : kMethods) {
    const Bytes image = testing::Make7z(dir("src"), dir(std::string(method.name) + ".7z"),
                                        std::string("-mhc=off -ms=on -m0=") + method.name);
    const std::size_t packed_end = 32 + PackedStream(image).size();
    for (std::size_t i = 32; i < packed_end; ++i) {
      Bytes bad = image;
      bad[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
      MemoryByteSource source{std::span<const std::uint8_t>(bad)};
      testing::MemorySink sink;
      const Status status = ExtractArchive(source, sink);
      EXPECT_TRUE(status.code() == ErrorCode::kCorrupt || status.ok()) << status.message();
      for (const auto& [name, content] : sink.files) {
        EXPECT_TRUE(content == files.at(name)) << method.name << " byte " << i << " " << name;
      }
      EXPECT_EQ(sink.begun, static_cast<int>(sink.files.size()) + sink.discarded);
    }
  }
}

// Writes a stream bit by bit, first bit lowest, as Deflate packs it.
class BitWriter {
 public:
  BitWriter& Bits(std::uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1u);
    return *this;
  }
  // A Huffman code goes out with its first (highest) bit first.
  BitWriter& Code(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1u);
    return *this;
  }
  BitWriter& Align() {
    while (used_ != 0) Bit(0);
    return *this;
  }
  BitWriter& Byte(std::uint8_t b) { return Bits(b, 8); }
  Bytes Finish() {
    Align();
    return bytes_;
  }

 private:
  void Bit(std::uint32_t bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | bit << used_);
    used_ = (used_ + 1) % 8;
  }
  Bytes bytes_;
  unsigned used_ = 0;
};

// Canonical codes for the given lengths.
std::vector<std::uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths) {
  std::vector<std::uint32_t> codes(lengths.size());
  std::uint32_t code = 0;
  for (unsigned length = 1; length <= 15; ++length) {
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == length) codes[s] = code++;
    }
    code <<= 1;
  }
  return codes;
}

// Fixed-code symbols.
void FixedLitLen(BitWriter& w, unsigned symbol) {
  if (symbol < 144)
    w.Code(0x30 + symbol, 8);
  else if (symbol < 256)
    w.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280)
    w.Code(symbol - 256, 7);
  else
    w.Code(0xC0 + symbol - 280, 8);
}

// A dynamic block header whose code-length code gives 0..15 five bits each and 16, 17, 18 two,
// three and three; `lengths` are code-length symbols, with the extra bits of repeats as
// {symbol, extra}.
struct LengthItem {
  unsigned symbol;
  unsigned extra = 0;
};
void DynamicHeader(BitWriter& w, unsigned hlit, unsigned hdist,
                   const std::vector<LengthItem>& items, std::vector<unsigned> cl_lengths = {}) {
  if (cl_lengths.empty()) {
    cl_lengths.assign(19, 5);
    cl_lengths[16] = 2;
    cl_lengths[17] = cl_lengths[18] = 3;
  }
  const auto cl_codes = CanonicalCodes(cl_lengths);
  static constexpr unsigned kOrder[] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
  w.Bits(hlit - 257, 5).Bits(hdist - 1, 5).Bits(19 - 4, 4);
  for (const unsigned s : kOrder) w.Bits(cl_lengths[s], 3);
  for (const auto& item : items) {
    w.Code(cl_codes[item.symbol], cl_lengths[item.symbol]);
    if (item.symbol == 16) w.Bits(item.extra, 2);
    if (item.symbol == 17) w.Bits(item.extra, 3);
    if (item.symbol == 18) w.Bits(item.extra, 7);
  }
}

// Lengths written one by one (no repeats).
std::vector<LengthItem> Plain(const std::vector<unsigned>& lengths) {
  std::vector<LengthItem> items;
  for (const unsigned l : lengths) items.push_back({l});
  return items;
}

// Literal/length lengths with 'a' 1 bit and 256, 257 two bits (or as given), and the distance
// lengths given.
Bytes DynamicBlock(std::vector<unsigned> litlen, const std::vector<unsigned>& distance,
                   bool with_match) {
  litlen.resize(258);
  BitWriter w;
  w.Bits(1, 1).Bits(2, 2);
  std::vector<unsigned> all = litlen;
  all.insert(all.end(), distance.begin(), distance.end());
  DynamicHeader(w, 258, static_cast<unsigned>(distance.size()), Plain(all));
  const auto lit_codes = CanonicalCodes(litlen);
  w.Code(lit_codes['a'], litlen['a']);
  if (with_match) {
    w.Code(lit_codes[257], litlen[257]);  // length 3
    const auto dist_codes = CanonicalCodes(distance);
    w.Code(dist_codes[0], distance[0]);  // distance 1
  }
  w.Code(lit_codes[256], litlen[256]);
  return w.Finish();
}

std::vector<unsigned> LitLen(unsigned a, unsigned end, unsigned len3) {
  std::vector<unsigned> l(258, 0);
  l['a'] = a;
  l[256] = end;
  l[257] = len3;
  return l;
}

TEST(DeflateHandMadeTest, DecodesTheFormatsCornersAndRefusesWhatBreaksThem) {
  const Bytes kLong(40000, 'q');
  // A stored block of 40000 bytes, not final.
  const auto stored_40000 = [&](BitWriter& w) {
    w.Bits(0, 1).Bits(0, 2).Align().Bits(40000, 16).Bits(40000 ^ 0xFFFF, 16);
    for (const std::uint8_t b : kLong) w.Byte(b);
  };
  struct Case {
    const char* what;
    Bytes stream;
    std::uint64_t size;              // kUnknownUnpackSize: up to the end of the last block
    std::string deflate, deflate64;  // the output, or "!" for corrupt data
  };
  const auto fixed = [](std::initializer_list<std::pair<unsigned, int>> symbols) {
    // pairs of {symbol, extra bits value}; symbol >= 1000 is a 5-bit distance code (minus 1000)
    // whose extra value follows in the second, with the widths of the matching table.
    BitWriter w;
    w.Bits(1, 1).Bits(1, 2);
    for (const auto& [symbol, extra] : symbols) {
      if (symbol >= 1000) {
        w.Code(symbol - 1000, 5);
        static constexpr unsigned kExtra[] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                              4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                              10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
        w.Bits(static_cast<std::uint32_t>(extra), kExtra[symbol - 1000]);
      } else {
        FixedLitLen(w, symbol);
        if (extra >= 0) w.Bits(static_cast<std::uint32_t>(extra), symbol == 285 ? 16 : 0);
      }
    }
    FixedLitLen(w, 256);
    return w.Finish();
  };
  const std::string q40000(40000, 'q');
  std::vector<Case> cases = {
      {"a run from one literal", fixed({{'a', -1}, {257, -1}, {1000, 0}}), kUnknownUnpackSize,
       "aaaa", "aaaa"},
      {"a distance before the start", fixed({{'a', -1}, {257, -1}, {1001, 0}}), kUnknownUnpackSize,
       "!", "!"},
      {"literal/length symbol 286", fixed({{'a', -1}, {286, -1}}), kUnknownUnpackSize, "!", "!"},
      {"literal/length symbol 287", fixed({{287, -1}}), kUnknownUnpackSize, "!", "!"},
      // Code 285 is the length 258 in Deflate, 3 plus 16 extra bits in Deflate64, which are not
      // there.
      {"length code 285", fixed({{'a', -1}, {285, -1}, {1000, 0}}), kUnknownUnpackSize,
       std::string(259, 'a'), "!"},
      {"reserved block type", BitWriter().Bits(1, 1).Bits(3, 2).Finish(), kUnknownUnpackSize, "!",
       "!"},
      {"stored length check",
       BitWriter()
           .Bits(1, 1)
           .Bits(0, 2)
           .Align()
           .Bits(3, 16)
           .Bits(3, 16)
           .Byte('x')
           .Byte('y')
           .Byte('z')
           .Finish(),
       kUnknownUnpackSize, "!", "!"},
      {"stored block",
       BitWriter()
           .Bits(1, 1)
           .Bits(0, 2)
           .Align()
           .Bits(3, 16)
           .Bits(0xFFFC, 16)
           .Byte('x')
           .Byte('y')
           .Byte('z')
           .Finish(),
       kUnknownUnpackSize, "xyz", "xyz"},
      {"last block ends before the size", fixed({{'a', -1}}), 2, "!", "!"},
      {"the size ends inside a match", fixed({{'a', -1}, {257, -1}, {1000, 0}}), 2, "aa", "aa"},
      {"no input", Bytes{}, 1, "!", "!"},
      {"over-subscribed literal/length code", DynamicBlock(LitLen(1, 1, 1), {1}, false),
       kUnknownUnpackSize, "!", "!"},
      {"incomplete literal/length code", DynamicBlock(LitLen(1, 2, 0), {1}, false),
       kUnknownUnpackSize, "!", "!"},
      {"one distance code of one bit", DynamicBlock(LitLen(1, 2, 2), {1}, true), kUnknownUnpackSize,
       "aaaa", "aaaa"},
      {"no distance code and no match", DynamicBlock(LitLen(1, 2, 2), {0}, false),
       kUnknownUnpackSize, "a", "a"},
      {"incomplete distance code of two codes", DynamicBlock(LitLen(1, 2, 2), {1, 2}, true),
       kUnknownUnpackSize, "!", "!"},
      {"over-subscribed distance code", DynamicBlock(LitLen(1, 2, 2), {1, 1, 1}, true),
       kUnknownUnpackSize, "!", "!"},
  };
  // 40000 bytes, then a match 32769 back (distance code 30): Deflate64 only.
  {
    BitWriter w;
    stored_40000(w);
    w.Bits(1, 1).Bits(1, 2);
    FixedLitLen(w, 257);
    w.Code(30, 5).Bits(0, 14);
    FixedLitLen(w, 256);
    cases.push_back({"distance code 30", w.Finish(), kUnknownUnpackSize, "!", q40000 + "qqq"});
  }
  // Code 285 with 16 extra bits of 65535: 65538 bytes from 1 back, more than the window holds.
  {
    BitWriter w;
    w.Bits(1, 1).Bits(1, 2);
    FixedLitLen(w, 'a');
    FixedLitLen(w, 285);
    w.Bits(65535, 16).Code(0, 5);
    FixedLitLen(w, 256);
    cases.push_back({"the longest Deflate64 length", w.Finish(), kUnknownUnpackSize, "!",
                     std::string(65539, 'a')});
  }
  // Code-length sequences.
  const auto header_only = [](const std::vector<LengthItem>& items, std::vector<unsigned> cl = {}) {
    BitWriter w;
    w.Bits(1, 1).Bits(2, 2);
    DynamicHeader(w, 257, 1, items, std::move(cl));
    return w;
  };
  {
    // 'a' and 256 one bit each, one distance code: 97 zeros, 1, 158 zeros, 1, then the
    // distance length 1; with the block's data 'a' then end of block.
    std::vector<LengthItem> items = {{18, 97 - 11}, {1}, {18, 138 - 11}, {18, 20 - 11}, {1}, {1}};
    BitWriter w = header_only(items);
    w.Code(0, 1).Code(1, 1);
    cases.push_back({"zero repeats", w.Finish(), kUnknownUnpackSize, "a", "a"});
    items.back() = {18, 0};  // 11 zeros where one length is left
    cases.push_back(
        {"a repeat past the end", header_only(items).Finish(), kUnknownUnpackSize, "!", "!"});
    cases.push_back({"a copy of no previous length", header_only({{16, 0}}).Finish(),
                     kUnknownUnpackSize, "!", "!"});
    std::vector<unsigned> over(19, 0);
    over[0] = over[1] = over[18] = 1;
    cases.push_back({"over-subscribed code-length code", header_only({{0}}, over).Finish(),
                     kUnknownUnpackSize, "!", "!"});
  }

  for (const Case& c : cases) {
    for (const Method& method : kMethods) {
      const std::string& expected = method.make == MakeDeflate64Decoder ? c.deflate64 : c.deflate;
      SCOPED_TRACE(std::string(c.what) + ", " + method.name);
      if (expected == "!") {
        auto decoder = method.make(c.size, std::make_unique<PieceStream>(c.stream, SIZE_MAX));
        std::vector<std::byte> buffer(1 << 16);
        const auto drain = [&] {
          while (decoder->Read(buffer) != 0) {
          }
        };
        EXPECT_EQ(ErrorOf(drain), ErrorCode::kCorrupt);
        EXPECT_EQ(ErrorOf(drain), ErrorCode::kCorrupt);  // and stays so, rather than ending
        continue;
      }
      for (const std::size_t piece : {std::size_t{1}, SIZE_MAX}) {
        Bytes got;
        const ErrorCode error =
            ErrorOf([&] { got = Decode(method.make, c.stream, c.size, piece); });
        ASSERT_EQ(error, ErrorCode::kOk);
        EXPECT_TRUE(std::string(got.begin(), got.end()) == expected) << got.size();
      }
    }
  }
}

}  // namespace
}  // namespace tvl
