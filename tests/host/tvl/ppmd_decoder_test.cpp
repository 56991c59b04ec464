// PPMd decoding against archives the real 7z tool writes at test time: small model memories so
// that the model starts over many times (the allocator must run out exactly where the encoder's
// did), low and high orders, several files solid; then damaged and hand-made streams, and
// properties that must be refused before any model memory is allocated.
#include "tvl/core/ppmd_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tvl/core/lzma_decoder.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/sevenzip_decoder.h"
#include "tvl/core/status.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
using testing::ErrorOf;
using testing::PieceStream;
using testing::ReadAll;
namespace fs = std::filesystem;

// Decodes `packed` reading `out_piece` bytes per call; the input comes `in_piece` at a time.
Bytes Decode(const Bytes& props, const Bytes& packed, std::uint64_t unpack_size,
             std::size_t out_piece, std::size_t in_piece = SIZE_MAX) {
  auto decoder =
      MakePpmdDecoder(props, unpack_size, std::make_unique<PieceStream>(packed, in_piece));
  return ReadAll(*decoder, out_piece);
}

// Words from a small vocabulary (the model's favourite), then machine code (from this test
// program itself) and noise, which fill the model memory quickly.
std::string MixedData(std::size_t text_size, std::size_t binary_size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string w;
    const int len = 2 + static_cast<int>(rng() % 8);
    for (int k = 0; k < len; ++k) w.push_back(static_cast<char>('a' + rng() % 26));
    words.push_back(w);
  }
  std::string out;
  while (out.size() < text_size) out += words[rng() % words.size()] + (rng() % 12 ? " " : "\n");
  const Bytes self = testing::ReadFileBytes("/proc/self/exe");
  const std::size_t from = std::min(self.size(), std::size_t{200000});
  out.append(self.begin() + static_cast<std::ptrdiff_t>(from),
             self.begin() + static_cast<std::ptrdiff_t>(std::min(self.size(), from + binary_size)));
  out += testing::RandomData(20000, seed);
  out += out.substr(0, text_size / 4);  // old text again, long after the model forgot it
  return out;
}

struct Unpacked {
  Status status;
  testing::MemorySink sink;
};

void Extract(const Bytes& image, Unpacked& result) {
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  result.status = ExtractArchive(source, result.sink);
}

TEST(PpmdDecoder, ArchivesFrom7zMatchAcrossOrdersMemoriesAndSolidFolders) {
  struct Case {
    const char* switches;
    std::vector<std::pair<std::string, std::string>> files;
  };
  const std::string big = MixedData(700000, 300000, 1);
  const std::vector<Case> cases = {
      // 64 KiB, the smallest the tool writes: the model starts over every few kilobytes, and
      // free blocks are merged many times in between.
      {"-m0=PPMd:o=2:mem=64k", {{"big.bin", big}}},
      {"-m0=PPMd:o=32:mem=64k", {{"big.bin", big}}},
      {"-m0=PPMd:o=32:mem=1m", {{"big.bin", big}}},
      {"-m0=PPMd:o=6", {{"big.bin", big}}},  // the default model, 16 MiB
      // Several files in one solid folder, an empty and a one-byte file among them.
      {"-m0=PPMd:o=16:mem=256k -ms=on",
       {{"a.txt", big.substr(0, 90000)},
        {"b.bin", big.substr(750000, 70000)},
        {"c.txt", "x"},
        {"d.txt", ""},
        {"e.txt", big.substr(3000, 5000)}}},
      // One folder per file.
      {"-m0=PPMd:o=3:mem=64k -ms=off", {{"one.txt", "q"}, {"two.txt", big.substr(0, 40000)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.switches);
    const testing::ScratchDir scratch;
    const fs::path tree = scratch.path() / "tree";
    fs::create_directories(tree);
    for (const auto& [name, data] : c.files) testing::WriteFileBytes(tree / name, data);
    const Bytes image = testing::Make7z(tree, scratch.path() / "a.7z", c.switches);

    Unpacked got;
    Extract(image, got);
    ASSERT_TRUE(got.status.ok()) << got.status.message();
    ASSERT_EQ(got.sink.files.size(), c.files.size());
    for (const auto& [name, data] : c.files) {
      ASSERT_TRUE(got.sink.files.count(name)) << name;
      EXPECT_TRUE(got.sink.files.at(name) == data) << name << " differs";
    }
  }
}

// The packed stream and properties of a one-file PPMd archive.
struct Stream {
  Bytes props;
  Bytes packed;
  std::uint64_t size = 0;
};

Stream PackWith7z(const std::string& data, const char* switches) {
  const testing::ScratchDir scratch;
  const fs::path tree = scratch.path() / "tree";
  fs::create_directories(tree);
  testing::WriteFileBytes(tree / "f.bin", data);
  const Bytes image = testing::Make7z(tree, scratch.path() / "a.7z", switches);
  sevenzip::Archive archive;
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  EXPECT_TRUE(sevenzip::ReadArchive(source, archive).ok());
  const auto& folder = archive.folders.at(0);
  const auto& pack = archive.pack_streams.at(folder.first_pack_stream);
  return {folder.coders.at(0).properties,
          Bytes(image.begin() + static_cast<std::ptrdiff_t>(pack.offset),
                image.begin() + static_cast<std::ptrdiff_t>(pack.offset + pack.size)),
          folder.UnpackSize()};
}

TEST(PpmdDecoder, PiecesTruncationAndDamageGiveTheDataOrACleanError) {
  const std::string text = MixedData(60000, 20000, 2);
  const Bytes data(text.begin(), text.end());
  const Stream s = PackWith7z(text, "-m0=PPMd:o=8:mem=64k -mhc=off");
  ASSERT_EQ(s.size, data.size());

  // Odd read sizes on both sides; the whole stream is consumed, no byte more.
  EXPECT_EQ(Decode(s.props, s.packed, s.size, 1, 7), data);
  EXPECT_EQ(Decode(s.props, s.packed, s.size, 4093, 1), data);

  // Cut anywhere, even by one byte, the stream is reported short.
  for (const std::size_t keep :
       {std::size_t{0}, std::size_t{3}, std::size_t{5}, s.packed.size() / 2, s.packed.size() - 1}) {
    SCOPED_TRACE(keep);
    const Bytes cut(s.packed.begin(), s.packed.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_EQ(ErrorOf([&] { Decode(s.props, cut, s.size, 65536); }), ErrorCode::kCorrupt);
  }

  // A changed byte gives other output or an error (a change in the last bytes of a range coder
  // stream may not reach the output at all); through an archive, always an error, and the file
  // is not committed.
  for (const std::size_t at :
       {std::size_t{0}, std::size_t{1}, std::size_t{9}, s.packed.size() / 3, s.packed.size() - 2}) {
    SCOPED_TRACE(at);
    Bytes damaged = s.packed;
    damaged[at] ^= 0x5A;
    const ErrorCode code = ErrorOf([&] {
      const Bytes out = Decode(s.props, damaged, s.size, 999);
      if (at + 2 < s.packed.size()) {
        EXPECT_NE(out, data);
      }
    });
    EXPECT_TRUE(code == ErrorCode::kOk || code == ErrorCode::kCorrupt);
  }
  const testing::ScratchDir scratch;
  const fs::path tree = scratch.path() / "tree";
  fs::create_directories(tree);
  testing::WriteFileBytes(tree / "f.bin", text);
  Bytes image = testing::Make7z(tree, scratch.path() / "a.7z", "-m0=PPMd:o=8:mem=64k -mhc=off");
  image[32 + s.packed.size() / 2] ^= 0x01;
  Unpacked got;
  Extract(image, got);
  EXPECT_EQ(got.status.code(), ErrorCode::kCorrupt) << got.status.message();
  EXPECT_TRUE(got.sink.files.empty());
}

TEST(PpmdDecoder, EndMarkerEndsOnlyAStreamOfUnknownSize) {
  // At the start the order-0 context holds all 256 symbols, each with frequency 1, out of a
  // total of 257: a code in the last 257th of the range is the escape from it, the end marker.
  const Bytes props = {6, 0, 0, 0x10, 0};  // order 6, 1 MiB
  // Then the bytes the range decoder reads after it (the encoder's flush).
  const Bytes marker = {0, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0};
  EXPECT_TRUE(Decode(props, marker, kUnknownUnpackSize, 16).empty());
  EXPECT_EQ(ErrorOf([&] { Decode(props, marker, 1, 16); }), ErrorCode::kCorrupt);
  // A first byte other than 0, and a code that no range holds, are refused at the start.
  EXPECT_EQ(ErrorOf([&] { Decode(props, {1, 0, 0, 0, 0}, 1, 16); }), ErrorCode::kCorrupt);
  EXPECT_EQ(ErrorOf([&] {
              Decode(props, {0, 0xFF, 0xFF, 0xFF, 0xFF}, 1, 16);
            }),
            ErrorCode::kCorrupt);
  // Nothing to decode needs no input at all.
  EXPECT_TRUE(Decode(props, {}, 0, 16).empty());
}

TEST(PpmdDecoder, PropertiesOutOfRangeAreRefusedBeforeAllocation) {
  const auto error = [](const Bytes& props) {
    return ErrorOf([&] { Decode(props, Bytes(16, 0), 1, 16); });
  };
  EXPECT_EQ(error({1, 0, 0, 0x10, 0}), ErrorCode::kCorrupt);     // order 1
  EXPECT_EQ(error({65, 0, 0, 0x10, 0}), ErrorCode::kCorrupt);    // order 65
  EXPECT_EQ(error({6, 0xFF, 0x07, 0, 0}), ErrorCode::kCorrupt);  // 2 KiB - 1
  EXPECT_EQ(error({6, 0, 0, 0x10}), ErrorCode::kCorrupt);        // 4 bytes
  EXPECT_EQ(error({6, 0xFF, 0xFF, 0xFF, 0xFF}), ErrorCode::kCorrupt);
  // Valid, but more than a 32-bit process should hold: refused, not attempted (the sanitizer's
  // allocator would abort the test on a 4 GiB request).
  EXPECT_EQ(error({6, 1, 0, 0, 0x10}), ErrorCode::kUnsupported);  // 256 MiB + 1
  EXPECT_EQ(error({64, 0, 0, 0xFF, 0xFF}), ErrorCode::kUnsupported);
  EXPECT_EQ(error({2, 0, 0x08, 0, 0}), ErrorCode::kOk);   // 2 KiB, the smallest
  EXPECT_EQ(error({64, 0, 0x08, 0, 0}), ErrorCode::kOk);  // order 64

  // Before extraction, the folder check counts the model memory in full, with the other
  // coders' dictionaries.
  const auto folder = [](std::vector<sevenzip::Coder> coders) {
    sevenzip::Folder f;
    f.coders = std::move(coders);
    f.unpack_sizes.assign(f.coders.size(), 1u << 30);
    return f;
  };
  const sevenzip::Coder ppmd192{{0x03, 0x04, 0x01}, 1, {6, 0, 0, 0, 0x0C}};
  const sevenzip::Coder ppmd300{{0x03, 0x04, 0x01}, 1, {6, 0, 0, 0xC0, 0x12}};
  const sevenzip::Coder lzma100{{0x03, 0x01, 0x01}, 1, {93, 0, 0, 0x40, 0x06}};
  EXPECT_TRUE(sevenzip::CheckFolderSupported(folder({ppmd192})).ok());
  EXPECT_EQ(sevenzip::CheckFolderSupported(folder({ppmd300})).code(), ErrorCode::kUnsupported);
  EXPECT_EQ(sevenzip::CheckFolderSupported(folder({ppmd192, lzma100})).code(),
            ErrorCode::kUnsupported);
}

}  // namespace
}  // namespace tvl
