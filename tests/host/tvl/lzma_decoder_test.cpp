// LZMA and LZMA2 decoding against streams from python3's lzma module and the real 7z tool, read
// back through small and odd-sized pieces; and hand-made streams for the cases no encoder
// writes: impossible distances, misplaced end markers, chunk sequences that break the rules.
#include "tvl/core/lzma_decoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

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

struct Lzma1Options {
  std::uint32_t dict_size = 1u << 20;
  unsigned lc = 3, lp = 0, pb = 2;
  int preset = 1;
};

Bytes Lzma1Properties(const Lzma1Options& o) {
  Bytes props{static_cast<std::uint8_t>((o.pb * 5 + o.lp) * 9 + o.lc)};
  for (int i = 0; i < 4; ++i) props.push_back(static_cast<std::uint8_t>(o.dict_size >> (8 * i)));
  return props;
}

std::uint8_t Lzma2Property(std::uint32_t dict_size) {
  std::uint8_t p = 0;
  while (p < 40 && (std::uint64_t{2u | (p & 1u)} << (p / 2 + 11)) < dict_size) ++p;
  return p;
}

// Compresses with python3's lzma module as a raw stream (the LZMA1 encoder writes an end
// marker).
Bytes PythonCompress(const Bytes& data, bool lzma2, const Lzma1Options& o) {
  const fs::path dir = fs::temp_directory_path() / ("tvl_lzma_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / "in", out = dir / "out";
  testing::WriteFileBytes(
      in, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  const std::string filter =
      std::string("{'id': lzma.") + (lzma2 ? "FILTER_LZMA2" : "FILTER_LZMA1") +
      ", 'preset': " + std::to_string(o.preset) + ", 'dict_size': " + std::to_string(o.dict_size) +
      ", 'lc': " + std::to_string(o.lc) + ", 'lp': " + std::to_string(o.lp) +
      ", 'pb': " + std::to_string(o.pb) + "}";
  const std::string command =
      "python3 -c 'import lzma, sys; f = eval(sys.argv[3]); "
      "open(sys.argv[2], \"wb\").write(lzma.compress(open(sys.argv[1], \"rb\").read(), "
      "format=lzma.FORMAT_RAW, filters=[f]))' '" +
      in.string() + "' '" + out.string() + "' \"" + filter + "\"";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("python3 lzma failed");
  Bytes packed = testing::ReadFileBytes(out);
  fs::remove_all(dir);
  return packed;
}

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes Text(std::size_t n, unsigned seed) {
  static const char* const kWords[] = {
      "setup ",   "archive ", "the ", "folder ",  "dictionary ", "range ", "of ",   "and ",
      "stream\n", "Windows ", "a ",   "literal ", "match ",      "1999 ",  "2026 ", "(x) "};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const std::string_view w = kWords[rng() % std::size(kWords)];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

Bytes Repetitive(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = (i / 50000) % 2 ? 0 : static_cast<std::uint8_t>("abcabcabd"[i % 9]);
  }
  for (std::size_t i = 777; i < n; i += 12345) out[i] ^= 0x5A;
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes DecodeLzma(const Bytes& props, const Bytes& packed, std::uint64_t size, std::size_t piece,
                 std::size_t input_piece = SIZE_MAX, std::size_t cap = SIZE_MAX) {
  auto decoder = MakeLzmaDecoder(props, size, std::make_unique<PieceStream>(packed, input_piece));
  return ReadAll(*decoder, piece, cap);
}

Bytes DecodeLzma2(std::uint8_t prop, const Bytes& packed, std::size_t piece,
                  std::size_t input_piece = SIZE_MAX, std::size_t cap = SIZE_MAX) {
  const std::uint8_t props[] = {prop};
  auto decoder = MakeLzma2Decoder(props, std::make_unique<PieceStream>(packed, input_piece));
  return ReadAll(*decoder, piece, cap);
}

// Chunk types of an LZMA2 stream: 1/2 stored, 4..7 the LZMA reset levels (control >> 5).
std::vector<int> ChunkKinds(const Bytes& s) {
  std::vector<int> kinds;
  std::size_t p = 0;
  while (p < s.size() && s[p] != 0) {
    const std::uint8_t c = s[p];
    if (c < 0x80) {
      kinds.push_back(c);
      p += 3 + ((s[p + 1] << 8) | s[p + 2]) + 1;
    } else {
      kinds.push_back(c >> 5);
      p += (c >= 0xC0 ? 6 : 5) + ((s[p + 3] << 8) | s[p + 4]) + 1;
    }
  }
  return kinds;
}

// A range encoder for hand-made streams. Every bit is coded at probability one half, which is
// what the decoder assumes for a probability it has not used yet; the streams below never use
// one twice.
class RangeEncoder {
 public:
  RangeEncoder& Bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) Bit((value >> i) & 1);
    return *this;
  }
  RangeEncoder& ReverseBits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    return *this;
  }
  RangeEncoder& Direct(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      range_ >>= 1;
      if ((value >> i) & 1) low_ += range_;
      Normalize();
    }
    return *this;
  }
  // How often the range has been renormalized, that is, bytes the decoder reads after its start.
  std::size_t normalizations() const { return normalizations_; }
  Bytes Finish() {
    for (int i = 0; i < 5; ++i) ShiftLow();
    return out_;
  }

  // Symbols for streams of a few symbols that never meet the same probability twice (with
  // lc 3, lp 0, pb 2).
  RangeEncoder& Literal(std::uint8_t byte) { return Bit(0).Bits(byte, 8); }
  // A simple match of length 2 (len code 0) at distance `dist` + 1, dist < 4.
  RangeEncoder& ShortDistanceMatch(std::uint32_t dist) {
    return Bit(1).Bit(0).Bit(0).Bits(0, 3).Bits(dist, 6);
  }
  RangeEncoder& EndMarker() {
    return Bit(1).Bit(0).Bit(0).Bits(0, 3).Bits(63, 6).Direct(0x3FFFFFF, 26).ReverseBits(15, 4);
  }
  RangeEncoder& ShortRep() { return Bit(1).Bit(1).Bit(0).Bit(0); }

 private:
  RangeEncoder& Bit(std::uint32_t bit) {
    const std::uint32_t bound = (range_ >> 11) * 1024;
    if (bit == 0) {
      range_ = bound;
    } else {
      low_ += bound;
      range_ -= bound;
    }
    Normalize();
    return *this;
  }
  void Normalize() {
    if (range_ < (1u << 24)) {
      range_ <<= 8;
      ++normalizations_;
      ShiftLow();
    }
  }
  void ShiftLow() {
    if (low_ < 0xFF000000u || low_ >= (1ull << 32)) {
      const auto carry = static_cast<std::uint8_t>(low_ >> 32);
      if (have_cache_) out_.push_back(static_cast<std::uint8_t>(cache_ + carry));
      for (; pending_ff_ != 0; --pending_ff_)
        out_.push_back(static_cast<std::uint8_t>(0xFF + carry));
      cache_ = static_cast<std::uint8_t>(low_ >> 24);
      have_cache_ = true;
    } else {
      ++pending_ff_;
    }
    low_ = (low_ & 0x00FFFFFFu) << 8;
  }

  std::uint64_t low_ = 0;
  std::uint32_t range_ = 0xFFFFFFFFu;
  std::uint8_t cache_ = 0;
  bool have_cache_ = true;  // the leading zero byte
  std::size_t pending_ff_ = 0;
  std::size_t normalizations_ = 0;
  Bytes out_;
};

const Bytes kDefaultProps = Lzma1Properties({});

TEST(LzmaDecoder, Lzma1MatchesAcrossPropertiesDictionariesAndPieceSizes) {
  const Bytes mixed =
      Concat({Text(300000, 1), RandomBytes(70000, 2), Repetitive(200000), Text(30000, 3)});
  struct Case {
    Lzma1Options options;
    Bytes data;
  };
  const Case cases[] = {
      {{}, mixed},
      {{.lc = 0, .lp = 2, .pb = 0}, mixed},
      {{.lc = 4, .lp = 0, .pb = 4, .preset = 6}, mixed},
      {{.dict_size = 4096, .lc = 1, .lp = 3, .pb = 1}, mixed},  // the ring wraps over and over
      {{.dict_size = 65536}, Repetitive(1 << 20)},
      {{}, Bytes{}},
      {{}, Bytes{'x'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("lc " + std::to_string(c.options.lc) + " lp " + std::to_string(c.options.lp) +
                 " pb " + std::to_string(c.options.pb) + " dict " +
                 std::to_string(c.options.dict_size) + " size " + std::to_string(c.data.size()));
    const Bytes packed = PythonCompress(c.data, false, c.options);
    const Bytes props = Lzma1Properties(c.options);
    // With an end marker and no size; then with the size, which also bounds the dictionary.
    EXPECT_EQ(DecodeLzma(props, packed, kUnknownUnpackSize, 4096), c.data);
    EXPECT_EQ(DecodeLzma(props, packed, c.data.size(), 7, 13), c.data);
    EXPECT_EQ(DecodeLzma(props, packed, kUnknownUnpackSize, 1 << 20, 1), c.data);
    // A size short of the data stops there.
    if (c.data.size() > 100) {
      EXPECT_EQ(DecodeLzma(props, packed, 100, 4096), Bytes(c.data.begin(), c.data.begin() + 100));
    }
  }
  // Byte by byte through a stream with many short and long matches.
  const Bytes small = Concat({Text(60000, 4), Repetitive(40000)});
  const Lzma1Options odd{.dict_size = 8192, .lc = 0, .lp = 2, .pb = 0};
  EXPECT_EQ(
      DecodeLzma(Lzma1Properties(odd), PythonCompress(small, false, odd), kUnknownUnpackSize, 1, 5),
      small);
}

TEST(LzmaDecoder, Lzma1WithoutEndMarkerAsWrittenBy7z) {
  const testing::ScratchDir scratch;
  const fs::path tree = scratch.path() / "tree";
  fs::create_directories(tree);
  // Zeros at the end: the last symbols are long matches that need hardly any input bytes.
  const Bytes data = Concat({Text(150000, 5), RandomBytes(5000, 6), Bytes(300000, 0)});
  testing::WriteFileBytes(
      tree / "f.bin", std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  const Bytes image = testing::Make7z(tree, scratch.path() / "a.7z", "-m0=lzma:d=64k -mhc=off");
  sevenzip::Archive archive;
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  ASSERT_TRUE(sevenzip::ReadArchive(source, archive).ok());
  ASSERT_EQ(archive.folders.size(), 1u);
  const auto& folder = archive.folders[0];
  ASSERT_EQ(folder.coders.size(), 1u);
  const Bytes props = folder.coders[0].properties;
  const auto& pack = archive.pack_streams[folder.first_pack_stream];
  const Bytes packed(image.begin() + static_cast<std::ptrdiff_t>(pack.offset),
                     image.begin() + static_cast<std::ptrdiff_t>(pack.offset + pack.size));

  // The stream simply stops: with the size known, and also without it, where the end of the
  // input after a whole symbol, with the range coder at rest, is the end.
  EXPECT_EQ(DecodeLzma(props, packed, data.size(), 4096), data);
  EXPECT_EQ(DecodeLzma(props, packed, kUnknownUnpackSize, 7, 3), data);

  // Without its last byte the stream is short, with or without the size.
  const Bytes cut(packed.begin(), packed.end() - 1);
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(props, cut, data.size(), 4096); }), ErrorCode::kCorrupt);
  const ErrorCode unknown = ErrorOf([&] {
    const Bytes got = DecodeLzma(props, cut, kUnknownUnpackSize, 4096);
    EXPECT_LT(got.size(), data.size());
  });
  EXPECT_TRUE(unknown == ErrorCode::kOk || unknown == ErrorCode::kCorrupt);
}

TEST(LzmaDecoder, HandMadeStreamsEndAndFailWhereTheyShould) {
  // Two literals and no end marker.
  const Bytes ab = RangeEncoder().Literal('A').Literal('B').Finish();
  EXPECT_EQ(DecodeLzma(kDefaultProps, ab, kUnknownUnpackSize, 4096), (Bytes{'A', 'B'}));
  EXPECT_EQ(DecodeLzma(kDefaultProps, ab, 2, 1), (Bytes{'A', 'B'}));
  // Asking for more than is there.
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, ab, 3, 4096); }), ErrorCode::kCorrupt);

  // The last symbols of a stream may need no further input byte: the decoder has read all of
  // it while a symbol remains. Find such a stream: a literal, then a repeat of it whose bits
  // all fit in the range left after the last byte.
  bool found = false;
  for (int c = 0; c < 256 && !found; ++c) {
    RangeEncoder e;
    e.Literal(static_cast<std::uint8_t>(c));
    const std::size_t before = e.normalizations();
    e.ShortRep();
    if (e.normalizations() != before) continue;
    found = true;
    const Bytes packed = e.Finish();
    const Bytes expected(2, static_cast<std::uint8_t>(c));
    EXPECT_EQ(DecodeLzma(kDefaultProps, packed, kUnknownUnpackSize, 4096), expected);
    EXPECT_EQ(DecodeLzma(kDefaultProps, packed, 2, 1), expected);
  }
  EXPECT_TRUE(found);

  // A literal and a match at distance 1 (length 2), read in pieces that split the match.
  const Bytes zzz = RangeEncoder().Literal('z').ShortDistanceMatch(0).Finish();
  EXPECT_EQ(DecodeLzma(kDefaultProps, zzz, kUnknownUnpackSize, 2), (Bytes{'z', 'z', 'z'}));

  // A literal and the end marker, which a known size need not reach but must not undercut.
  const Bytes marked = RangeEncoder().Literal('z').EndMarker().Finish();
  EXPECT_EQ(DecodeLzma(kDefaultProps, marked, kUnknownUnpackSize, 4096), Bytes{'z'});
  EXPECT_EQ(DecodeLzma(kDefaultProps, marked, 1, 1), Bytes{'z'});
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, marked, 2, 4096); }), ErrorCode::kCorrupt);

  // Distances reaching before the first byte: a repeat at the very start, a match at distance 2
  // after one byte.
  const Bytes rep_first = RangeEncoder().ShortRep().Finish();
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, rep_first, kUnknownUnpackSize, 16); }),
            ErrorCode::kCorrupt);
  const Bytes too_far = RangeEncoder().Literal('q').ShortDistanceMatch(1).Finish();
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, too_far, kUnknownUnpackSize, 16); }),
            ErrorCode::kCorrupt);

  // The range coder's first byte must be 0, and its first code cannot be all ones.
  Bytes bad_start = ab;
  bad_start[0] = 1;
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, bad_start, kUnknownUnpackSize, 16); }),
            ErrorCode::kCorrupt);
  const Bytes all_ones = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_EQ(ErrorOf([&] { DecodeLzma(kDefaultProps, all_ones, kUnknownUnpackSize, 16); }),
            ErrorCode::kCorrupt);
  // Fewer than the 5 start bytes; none at all with a size of 0 is fine (nothing is read).
  EXPECT_EQ(ErrorOf([&] {
              DecodeLzma(kDefaultProps, Bytes{0, 0, 0}, 10, 16);
            }),
            ErrorCode::kCorrupt);
  EXPECT_EQ(DecodeLzma(kDefaultProps, Bytes{}, 0, 16), Bytes{});
}

TEST(LzmaDecoder, RefusesBadPropertiesAndHugeDictionaries) {
  const Bytes packed = RangeEncoder().Literal('A').Finish();
  const auto error = [&](const Bytes& props) {
    return ErrorOf([&] { DecodeLzma(props, packed, kUnknownUnpackSize, 16); });
  };
  EXPECT_EQ(error({225, 0, 0, 1, 0}), ErrorCode::kCorrupt);  // lc/lp/pb byte out of range
  EXPECT_EQ(error({93, 0, 0, 1}), ErrorCode::kCorrupt);      // 4 bytes
  EXPECT_EQ(error({}), ErrorCode::kCorrupt);
  EXPECT_EQ(error({93, 0, 0, 0, 0x40}), ErrorCode::kUnsupported);  // 1 GiB
  EXPECT_EQ(error({93, 1, 0, 0, 0x10}), ErrorCode::kUnsupported);  // 256 MiB + 1
  EXPECT_EQ(error({93, 0xFF, 0xFF, 0xFF, 0xFF}), ErrorCode::kUnsupported);
  // A tiny declared dictionary is raised to 4 KiB.
  EXPECT_EQ(error({93, 0, 0, 0, 0}), ErrorCode::kOk);

  const auto error2 = [&](std::uint8_t prop) {
    return ErrorOf([&] { DecodeLzma2(prop, Bytes{0x00}, 16); });
  };
  EXPECT_EQ(error2(40), ErrorCode::kUnsupported);  // 4 GiB - 1
  EXPECT_EQ(error2(35), ErrorCode::kUnsupported);  // 768 MiB
  EXPECT_EQ(error2(33), ErrorCode::kUnsupported);  // 384 MiB
  EXPECT_EQ(error2(41), ErrorCode::kCorrupt);
  EXPECT_EQ(error2(0xFF), ErrorCode::kCorrupt);
  EXPECT_EQ(error2(0), ErrorCode::kOk);  // 4 KiB, and an empty stream
  EXPECT_EQ(ErrorOf([&] { MakeLzma2Decoder(Bytes{}, std::make_unique<PieceStream>(Bytes{0})); }),
            ErrorCode::kCorrupt);
}

TEST(LzmaDecoder, Lzma2ChunksStoredAndCompressedAcrossResets) {
  // Random data makes stored chunks; more than 2 MiB of text makes several LZMA chunks.
  const Bytes data = Concat(
      {RandomBytes(300000, 7), Text(2500000, 8), RandomBytes(100000, 9), Repetitive(400000)});
  const Lzma1Options options[] = {{.dict_size = 1u << 20},
                                  {.dict_size = 65536, .lc = 0, .lp = 2, .pb = 0}};
  for (const auto& o : options) {
    SCOPED_TRACE("dict " + std::to_string(o.dict_size));
    const Bytes packed = PythonCompress(data, true, o);
    const std::vector<int> kinds = ChunkKinds(packed);
    EXPECT_NE(std::count(kinds.begin(), kinds.end(), 1), 0);  // stored, dictionary reset
    EXPECT_NE(std::count(kinds.begin(), kinds.end(), 2), 0);  // stored
    EXPECT_GT(std::count_if(kinds.begin(), kinds.end(), [](int k) { return k >= 4; }), 2);
    const std::uint8_t prop = Lzma2Property(o.dict_size);
    EXPECT_EQ(DecodeLzma2(prop, packed, 4096), data);
    EXPECT_EQ(DecodeLzma2(prop, packed, 1 << 20, 777), data);
    EXPECT_EQ(DecodeLzma2(prop, packed, 7), data);
  }
  // With the output size known, a 64 MiB dictionary shrinks to the data.
  {
    const Bytes packed = PythonCompress(data, true, {.dict_size = 64u << 20});
    const std::uint8_t prop[] = {Lzma2Property(64u << 20)};
    auto decoder = MakeLzma2Decoder(prop, data.size(), std::make_unique<PieceStream>(packed));
    EXPECT_EQ(ReadAll(*decoder, 65536), data);
  }
  const Bytes small = Concat({Text(50000, 10), RandomBytes(3000, 11), Repetitive(30000)});
  const Bytes packed = PythonCompress(small, true, {.dict_size = 4096});
  EXPECT_EQ(DecodeLzma2(0, packed, 1, 1), small);
}

TEST(LzmaDecoder, Lzma2ChunkRulesAreEnforced) {
  const auto decode = [](const Bytes& s) { return DecodeLzma2(16, s, 4096); };
  const auto error = [&](const Bytes& s) { return ErrorOf([&] { decode(s); }); };
  // Stored chunks, with and without dictionary reset.
  EXPECT_EQ(decode({0x01, 0x00, 0x02, 'a', 'b', 'c', 0x02, 0x00, 0x00, 'd', 0x00}),
            (Bytes{'a', 'b', 'c', 'd'}));
  EXPECT_EQ(decode({0x00}), Bytes{});
  EXPECT_EQ(error({0x02, 0x00, 0x00, 'd', 0x00}), ErrorCode::kCorrupt);  // no reset first
  EXPECT_EQ(error({0x03, 0x00, 0x00, 'd', 0x00}), ErrorCode::kCorrupt);  // no such chunk
  EXPECT_EQ(error({0x01, 0x00, 0x00, 'd'}), ErrorCode::kCorrupt);        // no end byte
  EXPECT_EQ(error({0x01, 0x00, 0x05, 'd'}), ErrorCode::kCorrupt);        // short stored data
  EXPECT_EQ(error({}), ErrorCode::kCorrupt);

  // A real LZMA chunk: E0, unpacked-1 (2 bytes), packed-1 (2 bytes), properties, data.
  const Bytes text = Text(20000, 12);
  const Bytes packed = PythonCompress(text, true, {});
  ASSERT_EQ(packed[0], 0xE0);
  ASSERT_EQ(ChunkKinds(packed).size(), 1u);
  EXPECT_EQ(decode(packed), text);
  Bytes no_reset = packed;
  no_reset[0] = 0xC0;  // properties and state, but not the dictionary
  EXPECT_EQ(error(no_reset), ErrorCode::kCorrupt);
  // Four stored bytes first keep the positions (pb 2) and the literal context (lc 3) of the
  // LZMA chunk as the encoder saw them.
  const Bytes stored_first = Concat({{0x01, 0x00, 0x03, 1, 2, 3, 4}, packed});
  Bytes no_props = stored_first;
  no_props[7] = 0xA0;  // after a stored dictionary reset the properties must come again
  EXPECT_EQ(error(no_props), ErrorCode::kCorrupt);
  Bytes with_props = stored_first;
  with_props[7] = 0xC0;
  EXPECT_EQ(decode(with_props), Concat({{1, 2, 3, 4}, text}));
  Bytes bad_lclp = packed;
  bad_lclp[5] = (2 * 5 + 2) * 9 + 3;  // lc 3 + lp 2 is above 4
  EXPECT_EQ(error(bad_lclp), ErrorCode::kCorrupt);
  // Sizes that do not match the chunk's data.
  for (const int field : {2, 4}) {
    for (const int delta : {-1, 1}) {
      Bytes bad = packed;
      bad[static_cast<std::size_t>(field)] =
          static_cast<std::uint8_t>(bad[static_cast<std::size_t>(field)] + delta);
      SCOPED_TRACE("field " + std::to_string(field) + " delta " + std::to_string(delta));
      EXPECT_EQ(error(bad), ErrorCode::kCorrupt);
    }
  }
}

TEST(LzmaDecoder, TruncatedAndDamagedStreamsFailCleanly) {
  const Bytes data = Concat({Text(40000, 13), RandomBytes(2000, 14), Repetitive(30000)});
  const Lzma1Options o{.dict_size = 16384};
  const Bytes packed1 = PythonCompress(data, false, o);
  const Bytes packed2 = PythonCompress(data, true, o);
  const Bytes props1 = Lzma1Properties(o);
  const std::uint8_t prop2 = Lzma2Property(o.dict_size);

  std::mt19937 rng(15);
  for (int round = 0; round < 60; ++round) {
    const std::size_t cut1 = rng() % packed1.size();
    const std::size_t cut2 = rng() % packed2.size();
    SCOPED_TRACE("cut " + std::to_string(cut1) + " / " + std::to_string(cut2));
    // LZMA without a size may end cleanly at a cut, but then with a true prefix of the data.
    const ErrorCode e1 = ErrorOf([&] {
      const Bytes got = DecodeLzma(
          props1, Bytes(packed1.begin(), packed1.begin() + static_cast<std::ptrdiff_t>(cut1)),
          kUnknownUnpackSize, 4096);
      EXPECT_LE(got.size(), data.size());
      EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    });
    EXPECT_TRUE(e1 == ErrorCode::kOk || e1 == ErrorCode::kCorrupt);
    EXPECT_EQ(ErrorOf([&] {
                DecodeLzma(
                    props1,
                    Bytes(packed1.begin(), packed1.begin() + static_cast<std::ptrdiff_t>(cut1)),
                    data.size(), 4096);
              }),
              ErrorCode::kCorrupt);
    EXPECT_EQ(ErrorOf([&] {
                DecodeLzma2(
                    prop2,
                    Bytes(packed2.begin(), packed2.begin() + static_cast<std::ptrdiff_t>(cut2)),
                    4096);
              }),
              ErrorCode::kCorrupt);
  }

  // Flipped bytes: an error or some output, bounded, never a crash or a hang.
  const std::size_t cap = 4 * data.size();
  for (int round = 0; round < 150; ++round) {
    Bytes bad1 = packed1, bad2 = packed2;
    bad1[rng() % bad1.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    bad2[rng() % bad2.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    for (const ErrorCode e :
         {ErrorOf([&] { DecodeLzma(props1, bad1, kUnknownUnpackSize, 4096, SIZE_MAX, cap); }),
          ErrorOf([&] { DecodeLzma(props1, bad1, data.size(), 4096); }),
          ErrorOf([&] { DecodeLzma2(prop2, bad2, 4096, SIZE_MAX, cap); })}) {
      EXPECT_TRUE(e == ErrorCode::kOk || e == ErrorCode::kCorrupt) << static_cast<int>(e);
    }
  }
}

}  // namespace
}  // namespace tvl
