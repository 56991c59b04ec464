// BZip2 decoding: archives written by the real 7z tool, extracted whole and through the decoder
// directly (several streams in a row, odd read sizes); every damaged or cut form of a small
// stream; and hand-made blocks for what no encoder writes.
#include "tvl/core/bzip2_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/lzma_decoder.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/status.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
using testing::ErrorOf;
using testing::PieceStream;
using testing::ReadAll;
namespace fs = std::filesystem;

std::string AsString(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

// Decodes `stream` reading `piece` bytes per call, as far as it goes.
Bytes Decode(const Bytes& stream, std::uint64_t unpack_size, std::size_t piece = 65536) {
  const auto decoder = MakeBzip2Decoder(unpack_size, std::make_unique<PieceStream>(stream));
  return ReadAll(*decoder, piece);
}

std::string Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"setup ", "archive ", "the ",   "folder ",  "block ",
                                       "sort ",  "of ",      "and ",   "stream\n", "Windows ",
                                       "a ",     "run ",     "table ", "1999 ",    "2026 "};
  std::string out;
  std::uint32_t x = seed * 2654435761u + 7;
  while (out.size() < size) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out += kWords[x % std::size(kWords)];
  }
  out.resize(size);
  return out;
}

// Runs of every length from 1 to 700 of changing bytes between pieces of text, then long
// stretches of one byte: the run-length stages on both sides of the sort, over several blocks.
std::string Runs() {
  std::string out;
  for (int length = 1; length <= 700; ++length) {
    out += Text(500, static_cast<std::uint32_t>(length));
    out.append(static_cast<std::size_t>(length), static_cast<char>(length * 7));
  }
  out.append(1'500'000, '\0');
  for (int length : {3, 4, 5, 258, 259, 260, 263, 1000}) {
    out.append(static_cast<std::size_t>(length), 'r');
    out += 's';
  }
  out.append(900'003, 'z');
  return out;
}

class Bzip2Test : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_;
  fs::path dir(const char* name) const { return scratch_.path() / name; }

  // The bzip2 stream of a one-file archive written with `switches`, and the file's size.
  std::pair<Bytes, std::uint64_t> StreamOf(const std::string& content, const char* switches) {
    fs::remove_all(dir("one"));
    fs::remove(dir("one.7z"));
    fs::create_directories(dir("one"));
    testing::WriteFileBytes(dir("one") / "f", content);
    const Bytes image = testing::Make7z(dir("one"), dir("one.7z"), switches);
    MemoryByteSource source{std::span<const std::uint8_t>(image)};
    sevenzip::Archive archive;
    const Status status = sevenzip::ReadArchive(source, archive);
    EXPECT_TRUE(status.ok()) << status.message();
    const auto& packed = archive.pack_streams.at(0);
    const auto at = image.begin() + static_cast<std::ptrdiff_t>(packed.offset);
    return {Bytes(at, at + static_cast<std::ptrdiff_t>(packed.size)), content.size()};
  }
};

TEST_F(Bzip2Test, ArchivesOfTheSevenZipToolExtractExactly) {
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;
    const char* switches;
  };
  const Case cases[] = {
      {"text in many blocks of the smallest size",
       {{"t.txt", Text(1'600'000, 1)}},
       "-m0=BZip2:d=100k"},
      {"runs", {{"runs.bin", Runs()}}, "-m0=BZip2:d=100k"},
      {"random data (long codes, all 256 bytes)",
       {{"r.bin", testing::RandomData(1'200'000, 2)}},
       "-m0=BZip2:d=300k"},
      {"several files in one folder, an empty one and one of one byte",
       {{"a.txt", Text(300'000, 3)},
        {"b.bin", testing::RandomData(70'000, 4)},
        {"empty", ""},
        {"one", "x"},
        {"z.txt", Text(2'000, 5)}},
       "-m0=BZip2:d=200k -ms=on"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir("src"));
    fs::remove(dir("t.7z"));
    fs::create_directories(dir("src"));
    for (const auto& [name, content] : c.files) testing::WriteFileBytes(dir("src") / name, content);
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), c.switches);
    MemoryByteSource source{std::span<const std::uint8_t>(image)};
    testing::MemorySink sink;
    const Status status = ExtractArchive(source, sink);
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(sink.files.size(), c.files.size());
    for (const auto& [name, content] : c.files) {
      EXPECT_TRUE(sink.files.at(name) == content) << name;
    }
  }
}

TEST_F(Bzip2Test, StreamsInARowDecodeAsOneInAnyReadSize) {
  const std::string first = Text(250'000, 6);
  const std::string second = Runs().substr(0, 1'300'000);
  const auto [a, a_size] = StreamOf(first, "-m0=BZip2:d=100k");
  const auto [b, b_size] = StreamOf(second, "-m0=BZip2");
  Bytes both = a;
  both.insert(both.end(), b.begin(), b.end());
  for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{65536}, std::size_t{777}}) {
    SCOPED_TRACE(piece);
    EXPECT_TRUE(AsString(Decode(both, a_size + b_size, piece)) == first + second);
    EXPECT_TRUE(AsString(Decode(both, kUnknownUnpackSize, piece)) == first + second);
  }
  EXPECT_TRUE(AsString(Decode(a, a_size, 3)) == first);
  // What follows the last stream must be another stream.
  Bytes trailing = a;
  trailing.push_back('B');
  EXPECT_EQ(ErrorOf([&] { Decode(trailing, kUnknownUnpackSize); }), ErrorCode::kCorrupt);
  // A stream that holds more than the folder says is damaged.
  EXPECT_EQ(ErrorOf([&] { Decode(both, a_size + 10); }), ErrorCode::kCorrupt);
  EXPECT_EQ(ErrorOf([&] { Decode(a, a_size - 1); }), ErrorCode::kCorrupt);
}

// Every flipped bit and every cut of a small stream either fails cleanly or still gives the
// very same data (a few bits no check covers); never wrong data.
TEST_F(Bzip2Test, DamagedOrCutStreamsNeverGiveWrongData) {
  const std::string data = Text(1'000, 7) + std::string(300, 'q') + Text(1'000, 8);
  const auto [stream, size] = StreamOf(data, "-m0=BZip2:d=100k");
  std::size_t detected = 0;
  for (std::size_t bit = 0; bit < 8 * stream.size(); ++bit) {
    Bytes bad = stream;
    bad[bit / 8] ^= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    Bytes out;
    const ErrorCode code = ErrorOf([&] { out = Decode(bad, size); });
    if (code == ErrorCode::kOk && out.size() == size) {
      ASSERT_TRUE(AsString(out) == data) << "bit " << bit;
    } else {
      ++detected;
    }
  }
  EXPECT_GT(detected, 8 * stream.size() * 9 / 10);
  // The stream's end marker and CRC: every bit counts.
  for (std::size_t bit = 8 * (stream.size() - 10); bit < 8 * stream.size() - 8; ++bit) {
    Bytes bad = stream;
    bad[bit / 8] ^= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    EXPECT_EQ(ErrorOf([&] { Decode(bad, size); }), ErrorCode::kCorrupt) << bit;
  }
  for (std::size_t length = 0; length < stream.size(); ++length) {
    const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
    Bytes out;
    EXPECT_EQ(ErrorOf([&] { out = Decode(cut, kUnknownUnpackSize); }), ErrorCode::kCorrupt);
    const ErrorCode code = ErrorOf([&] { out = Decode(cut, size); });
    EXPECT_TRUE(code == ErrorCode::kCorrupt || (code == ErrorCode::kOk && out.size() < size))
        << length;
  }
}

// The same on a stream of many blocks, where the blocks are decoded in a second thread: its
// errors come out of Read, and a decoder dropped at any point ends that thread.
TEST_F(Bzip2Test, ErrorsAndEarlyEndsInTheSecondThread) {
  const std::string data = Text(3'000'000, 9);
  const auto [stream, size] = StreamOf(data, "-m0=BZip2:d=100k");
  ASSERT_TRUE(AsString(Decode(stream, size)) == data);

  Bytes flipped = stream;
  flipped[flipped.size() / 2] ^= 0x10;
  EXPECT_EQ(ErrorOf([&] { Decode(flipped, size); }), ErrorCode::kCorrupt);
  const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
  EXPECT_EQ(ErrorOf([&] { Decode(cut, size); }), ErrorCode::kCorrupt);
  Bytes out;
  EXPECT_EQ(ErrorOf([&] { out = Decode(cut, kUnknownUnpackSize); }), ErrorCode::kCorrupt);
  EXPECT_LT(out.size(), size);

  for (const std::size_t stop : {std::size_t{0}, std::size_t{1}, std::size_t{100}, size / 3}) {
    const auto decoder = MakeBzip2Decoder(size, std::make_unique<PieceStream>(stream));
    std::vector<std::byte> buffer(4096);
    for (std::size_t read = 0; read < stop;) read += decoder->Read(buffer);
  }
  {
    const auto decoder = MakeBzip2Decoder(size, std::make_unique<PieceStream>(flipped));
    std::vector<std::byte> buffer(4096);
    EXPECT_THROW(
        for (;;) {
          if (decoder->Read(buffer) == 0) break;
        },
        ArchiveError);
    EXPECT_THROW(decoder->Read(buffer), ArchiveError);  // and again, until it is dropped
  }
}

TEST_F(Bzip2Test, DamageInASolidArchiveLeavesNoFileUnderItsFinalName) {
  const std::map<std::string, std::string> tree = {{"a.txt", Text(20'000, 10)},
                                                   {"b.txt", Text(1'500'000, 11)}};
  fs::create_directories(dir("src"));
  for (const auto& [name, content] : tree) testing::WriteFileBytes(dir("src") / name, content);
  Bytes image = testing::Make7z(dir("src"), dir("t.7z"), "-m0=BZip2:d=100k -ms=on -mhc=off");
  image[32 + (image.size() - 32) * 3 / 4] ^= 0x04;  // inside the packed stream, far into b.txt
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  testing::DiskSink sink(dir("out"));
  const Status status = ExtractArchive(source, sink);
  EXPECT_EQ(status.code(), ErrorCode::kCorrupt) << status.message();
  const auto found = testing::Snapshot(dir("out"));
  EXPECT_EQ(found.size(), 1u);
  EXPECT_TRUE(found.at("a.txt") == tree.at("a.txt"));
}

// ---------------------------------------------------------------------------------------------
// Hand-made streams: a small encoder with fixed 9-bit codes whose every field can be set wrong.

class BitWriter {
 public:
  void Put(std::uint64_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      acc_ = static_cast<std::uint8_t>(acc_ << 1 | ((value >> i) & 1));
      if (++used_ == 8) {
        bytes_.push_back(acc_);
        acc_ = 0;
        used_ = 0;
      }
    }
  }
  Bytes Finish() {
    if (used_ != 0) Put(0, 8 - used_);
    return bytes_;
  }

 private:
  Bytes bytes_;
  std::uint8_t acc_ = 0;
  unsigned used_ = 0;
};

// The bzip2 CRC worked out bit by bit, apart from the decoder's tables.
std::uint32_t BlockCrc(std::string_view data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : data) {
    crc ^= std::uint32_t{static_cast<std::uint8_t>(c)} << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return ~crc;
}

struct Knobs {
  char level = '1';
  bool randomised = false;
  std::optional<std::uint32_t> origin;
  std::optional<std::uint32_t> block_crc;
  unsigned groups = 2;
  std::optional<unsigned> selectors;
  unsigned first_selector = 0;  // its move-to-front position, in unary
  unsigned start_length = 9;
  bool all_lengths_one = false;     // 3+ codes of length 1: no prefix code
  std::uint32_t leading_run = 0;    // copies of the first byte before the block's own symbols
  std::uint32_t leading_swaps = 0;  // pairs of bytes before the block's own symbols
  bool code_outside_table = false;
  bool no_end_of_stream = false;
  std::uint64_t block_magic = 0x314159265359;
};

// One block holding `data` (no runs of 4 equal bytes, so the first run-length stage is nothing).
Bytes HandMadeStream(std::string_view data, const Knobs& k = {}) {
  const std::size_t n = data.size();
  std::vector<std::size_t> rotations(n);
  for (std::size_t i = 0; i < n; ++i) rotations[i] = i;
  std::sort(rotations.begin(), rotations.end(), [&](std::size_t a, std::size_t b) {
    for (std::size_t i = 0; i < n; ++i) {
      const char x = data[(a + i) % n], y = data[(b + i) % n];
      if (x != y) return static_cast<std::uint8_t>(x) < static_cast<std::uint8_t>(y);
    }
    return false;
  });
  std::string last(n, '\0');
  std::uint32_t origin = 0;
  for (std::size_t r = 0; r < n; ++r) {
    last[r] = data[(rotations[r] + n - 1) % n];
    if (rotations[r] == 0) origin = static_cast<std::uint32_t>(r);
  }
  std::vector<std::uint8_t> used;
  for (int b = 0; b < 256; ++b) {
    if (data.find(static_cast<char>(b)) != std::string_view::npos) used.push_back(std::uint8_t(b));
  }
  const unsigned end_of_block = static_cast<unsigned>(used.size()) + 1;

  std::vector<unsigned> symbols;
  const auto put_run = [&](std::uint32_t run) {
    for (; run > 0; run = (run - 1) / 2) {
      symbols.push_back((run & 1) ? 0 : 1);
      if (!(run & 1)) --run;
    }
  };
  put_run(k.leading_run);
  for (std::uint32_t i = 0; i < k.leading_swaps; ++i) symbols.push_back(2);
  std::vector<std::uint8_t> mtf = used;
  if (k.leading_swaps % 2 == 1) std::swap(mtf[0], mtf[1]);
  std::uint32_t zeros = 0;
  for (const char c : last) {
    const auto at = static_cast<unsigned>(
        std::find(mtf.begin(), mtf.end(), static_cast<std::uint8_t>(c)) - mtf.begin());
    if (at == 0) {
      ++zeros;
      continue;
    }
    put_run(zeros);
    zeros = 0;
    symbols.push_back(at + 1);
    mtf.erase(mtf.begin() + at);
    mtf.insert(mtf.begin(), static_cast<std::uint8_t>(c));
  }
  put_run(zeros);
  if (k.code_outside_table) symbols.push_back(511);
  symbols.push_back(end_of_block);

  BitWriter w;
  for (const char c : std::string("BZh")) w.Put(static_cast<std::uint8_t>(c), 8);
  w.Put(static_cast<std::uint8_t>(k.level), 8);
  const std::uint32_t crc = k.block_crc.value_or(BlockCrc(data));
  w.Put(k.block_magic, 48);
  w.Put(crc, 32);
  w.Put(k.randomised ? 1 : 0, 1);
  w.Put(k.origin.value_or(origin), 24);
  std::uint32_t ranges = 0;
  for (const auto b : used) ranges |= 0x8000u >> (b / 16);
  w.Put(ranges, 16);
  for (unsigned r = 0; r < 16; ++r) {
    if (!(ranges & (0x8000u >> r))) continue;
    std::uint32_t bits = 0;
    for (const auto b : used) {
      if (b / 16 == r) bits |= 0x8000u >> (b % 16);
    }
    w.Put(bits, 16);
  }
  const auto selectors = static_cast<unsigned>(
      k.selectors.value_or(static_cast<unsigned>((symbols.size() + 49) / 50)));
  w.Put(k.groups, 3);
  w.Put(selectors, 15);
  for (unsigned i = 0; i < selectors; ++i) {
    for (unsigned j = 0; j < (i == 0 ? k.first_selector : 0); ++j) w.Put(1, 1);
    w.Put(0, 1);
  }
  for (unsigned g = 0; g < k.groups; ++g) {
    w.Put(k.all_lengths_one ? 1 : k.start_length, 5);
    for (unsigned s = 0; s < end_of_block + 1; ++s) w.Put(0, 1);
  }
  for (const unsigned s : symbols) w.Put(s, 9);
  if (!k.no_end_of_stream) {
    w.Put(0x177245385090, 48);
    w.Put(crc, 32);
  }
  return w.Finish();
}

TEST(Bzip2HandMadeTest, BlocksOutsideTheRulesAreRefused) {
  const std::string data =
      "a banana bandana, and a bad band on the strand; on the strand a band that is bad, and "
      "a bandana on a banana: all in one block with no four equal bytes in a row (ok?).";
  ASSERT_EQ(AsString(Decode(HandMadeStream(data), data.size())), data);
  const auto size = static_cast<std::uint32_t>(data.size());

  struct Case {
    const char* what;
    std::function<void(Knobs&)> set;
    ErrorCode expected = ErrorCode::kCorrupt;
  };
  const Case cases[] = {
      {"level 0", [&](Knobs& k) { k.level = '0'; }},
      {"not a block", [&](Knobs& k) { k.block_magic = 0x314159265358; }},
      {"origin pointer at the end of the block", [&](Knobs& k) { k.origin = size; }},
      {"origin pointer far out", [&](Knobs& k) { k.origin = 0xFFFFFF; }},
      {"more bytes than level 1 holds, as a run", [&](Knobs& k) { k.leading_run = 100'000; }},
      {"more bytes than level 1 holds, one by one", [&](Knobs& k) { k.leading_swaps = 100'000; }},
      {"one table", [&](Knobs& k) { k.groups = 1; }},
      {"seven tables", [&](Knobs& k) { k.groups = 7; }},
      {"no selectors", [&](Knobs& k) { k.selectors = 0; }},
      {"too few selectors", [&](Knobs& k) { k.selectors = 1; }},
      {"a selector past the last table", [&](Knobs& k) { k.first_selector = 2; }},
      {"code length 0", [&](Knobs& k) { k.start_length = 0; }},
      {"code length 21", [&](Knobs& k) { k.start_length = 21; }},
      {"not a prefix code", [&](Knobs& k) { k.all_lengths_one = true; }},
      {"a code no symbol has", [&](Knobs& k) { k.code_outside_table = true; }},
      {"wrong block CRC", [&](Knobs& k) { k.block_crc = 1234; }},
      {"no end of stream", [&](Knobs& k) { k.no_end_of_stream = true; }},
      {"randomised block", [&](Knobs& k) { k.randomised = true; }, ErrorCode::kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Knobs knobs;
    c.set(knobs);
    const Bytes stream = HandMadeStream(data, knobs);
    EXPECT_EQ(ErrorOf([&] { Decode(stream, data.size()); }), c.expected);
    EXPECT_EQ(ErrorOf([&] { Decode(stream, kUnknownUnpackSize); }), c.expected);
  }
}

}  // namespace
}  // namespace tvl
