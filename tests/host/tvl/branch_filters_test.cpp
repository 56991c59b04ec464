// The BCJ, BCJ2 and Delta filters: archives from the real 7z tool must come back byte for byte
// whatever the read sizes, and damaged streams must fail without harm.
#include "tvl/core/branch_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/crc32.h"
#include "tvl/core/sevenzip_archive.h"
#include "tvl/core/sevenzip_decoder.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
namespace fs = std::filesystem;

// Hands out a fixed buffer in reads of at most `step` bytes.
class ChunkedStream final : public InStream {
 public:
  explicit ChunkedStream(std::string data, std::size_t step = SIZE_MAX)
      : data_(std::move(data)), step_(step) {}
  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t n = std::min({out.size(), data_.size() - pos_, step_});
    std::memcpy(out.data(), data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::string data_;
  std::size_t pos_ = 0;
  std::size_t step_;
};

// Reads everything, cycling through awkward read sizes.
std::string Drain(InStream& stream) {
  static constexpr std::size_t kSizes[] = {1, 4, 5, 2, 9, 4096, 3, 65536, 6};
  std::string out;
  std::vector<std::byte> buffer(65536);
  for (std::size_t i = 0;; ++i) {
    const std::size_t want = kSizes[i % std::size(kSizes)];
    const std::size_t got = stream.Read(std::span(buffer).first(want));
    EXPECT_LE(got, want);
    if (got == 0) return out;
    out.append(reinterpret_cast<const char*>(buffer.data()), got);
  }
}

// x86 machine code: a 32-bit Windows DLL when the cross toolchain is installed, else whatever
// executable is at hand (the filters only look at bytes).
std::string MachineCode() {
  for (const char* path : {"/usr/i686-w64-mingw32/lib/libwinpthread-1.dll",
                           "/usr/i686-w64-mingw32/lib/zlib1.dll", "/bin/ls"}) {
    if (fs::exists(path)) {
      const Bytes data = testing::ReadFileBytes(path);
      return std::string(data.begin(), data.end());
    }
  }
  return testing::RandomData(100000, 5);
}

// Branch opcodes, conditional-jump prefixes and 00/FF bytes packed close together, so that
// runs of opcodes inside each other's address bytes (the hard cases) occur all the time.
std::string OpcodeSoup(std::size_t size, std::uint32_t seed) {
  static constexpr std::uint8_t kPick[] = {0xE8, 0xE9, 0x0F, 0x84, 0x00, 0xFF, 0x00, 0xFF, 0xE8};
  std::string out = testing::RandomData(size, seed);
  for (char& c : out) {
    const auto r = static_cast<std::uint8_t>(c);
    if (r < 200) c = static_cast<char>(kPick[r % std::size(kPick)]);
  }
  return out;
}

std::map<std::string, std::string> FilterTree() {
  std::string call_at_end = testing::RandomData(100, 7) + "\xE8\x10\x00\x00";
  call_at_end.push_back('\0');
  return {
      {"code.dll", MachineCode()},
      {"soup.bin", OpcodeSoup(3 * 65536 + 13, 11)},
      {"short.bin", "\xE8\x01"},         // too short to hold an address
      {"call_at_end.bin", call_at_end},  // a convertible call in the last 5 bytes
      {"jcc_at_end.bin", testing::RandomData(50, 8) + "\x0F\x85"},
      {"empty.bin", ""},
  };
}

void WriteTree(const fs::path& root, const std::map<std::string, std::string>& tree) {
  fs::create_directories(root);
  for (const auto& [name, content] : tree) testing::WriteFileBytes(root / name, content);
}

// Every folder's output, read through the chain in odd sizes, split into the files it holds and
// checked against their stored CRCs.
void ExpectFoldersDecode(const Bytes& image, std::size_t expected_coders) {
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  sevenzip::Archive archive;
  const Status status = sevenzip::ReadArchive(source, archive);
  ASSERT_TRUE(status.ok()) << status.message();
  ASSERT_FALSE(archive.folders.empty());
  std::size_t entry = 0;
  for (std::size_t f = 0; f < archive.folders.size(); ++f) {
    EXPECT_EQ(archive.folders[f].coders.size(), expected_coders);
    ASSERT_TRUE(sevenzip::CheckFolderSupported(archive.folders[f]).ok());
    const std::string data = Drain(*sevenzip::OpenFolder(source, archive, f));
    ASSERT_EQ(data.size(), archive.folders[f].UnpackSize());
    std::size_t at = 0;
    for (; entry < archive.entries.size() && at < data.size(); ++entry) {
      const auto& e = archive.entries[entry];
      if (!e.has_stream) continue;
      ASSERT_EQ(e.folder, f);
      const auto piece = std::as_bytes(std::span(data).subspan(at, e.size));
      EXPECT_EQ(Crc32::Of(piece), e.crc.value());
      at += e.size;
    }
    EXPECT_EQ(at, data.size());
  }
}

class BranchFiltersTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_;
  fs::path dir(const char* name) const { return scratch_.path() / name; }

  void RoundTrip(const std::string& switches, std::size_t coders) {
    SCOPED_TRACE(switches);
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), switches);
    ExpectFoldersDecode(image, coders);
    fs::remove_all(dir("out"));
    MemoryByteSource source{std::span<const std::uint8_t>(image)};
    testing::DiskSink sink(dir("out"));
    const Status status = ExtractArchive(source, sink);
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_TRUE(testing::Snapshot(dir("out")) == FilterTree());
  }
};

TEST_F(BranchFiltersTest, StoredChainsComeBackExactly) {
  WriteTree(dir("src"), FilterTree());
  RoundTrip("-m0=BCJ -m1=Copy -mhc=off", 2);
  // One folder per file: every file starts the converter afresh at position 0.
  RoundTrip("-m0=BCJ -m1=Copy -mhc=off -ms=off", 2);
  RoundTrip("-m0=BCJ2 -m1=Copy -m2=Copy -m3=Copy -mb0s0:1 -mb0s1:2 -mb0s2:3 -mhc=off", 4);
  RoundTrip("-m0=BCJ2 -m1=Copy -m2=Copy -m3=Copy -mb0s0:1 -mb0s1:2 -mb0s2:3 -mhc=off -ms=off", 4);
  RoundTrip("-mf=Delta:4 -m0=Copy -mhc=off", 2);
  RoundTrip("-mf=Delta:1 -m0=Copy -mhc=off", 2);
  RoundTrip("-mf=Delta:256 -m0=Copy -mhc=off", 2);
  RoundTrip("-m0=BCJ -m1=Delta:3 -m2=Copy -mhc=off", 3);
}

TEST_F(BranchFiltersTest, CompressedChainsComeBackExactly) {
  WriteTree(dir("src"), FilterTree());
  RoundTrip("-mf=BCJ2 -m0=Copy", 4);  // the call and jump streams are LZMA, header too
  RoundTrip("-mf=BCJ2", 4);           // LZMA2 main stream
  RoundTrip("-m0=BCJ -m1=LZMA", 2);
  RoundTrip("-m0=BCJ -m1=LZMA2 -ms=off", 2);
  RoundTrip("-mf=Delta:2 -m0=LZMA", 2);
}

TEST(BranchFilters, StreamLevelEdgeCases) {
  // BCJ: a call with an absolute target 5 (the end of the 5-byte instruction at 0) becomes a
  // call with displacement 0; one more byte of position shifts it by one. Under five bytes
  // nothing converts.
  {
    const std::string in = std::string("\x90\xE8\x06\x00\x00\x00\xE8", 7) + std::string(2, '\0');
    const auto dec = MakeBcjDecoder(std::make_unique<ChunkedStream>(in, 1));
    EXPECT_EQ(Drain(*dec), std::string("\x90\xE8\x00\x00\x00\x00\xE8\x00\x00", 9));
    const auto tiny = MakeBcjDecoder(std::make_unique<ChunkedStream>("\xE8\x05\x00\x00"));
    EXPECT_EQ(Drain(*tiny), "\xE8\x05\x00\x00");
  }

  // Delta: the property byte is the distance minus one, and only one byte is allowed.
  {
    const std::uint8_t two[] = {1};
    const auto dec = MakeDeltaDecoder(two, std::make_unique<ChunkedStream>("\x01\x02\x01\x01", 3));
    EXPECT_EQ(Drain(*dec), "\x01\x02\x02\x03");
    const std::uint8_t far[] = {0xFF};  // 256 back: the first 256 bytes pass as they are
    std::string in(300, '\x01');
    const auto wide = MakeDeltaDecoder(far, std::make_unique<ChunkedStream>(in, 7));
    const std::string out = Drain(*wide);
    EXPECT_EQ(out.substr(0, 256), std::string(256, '\x01'));
    EXPECT_EQ(out.substr(256), std::string(44, '\x02'));
    for (const std::vector<std::uint8_t>& props :
         {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{1, 2}}) {
      try {
        MakeDeltaDecoder(props, std::make_unique<ChunkedStream>("x"));
        ADD_FAILURE() << "bad Delta properties accepted";
      } catch (const ArchiveError& e) {
        EXPECT_EQ(e.status().code(), ErrorCode::kCorrupt);
      }
    }
  }

  // BCJ2: a branch opcode that ends the stream needs no selector bit; one in the middle does,
  // and a missing selector or target stream is corruption, not an endless wait.
  const auto bcj2 = [](std::string main, std::string call, std::string jump, std::string selector) {
    std::vector<std::unique_ptr<InStream>> in;
    in.push_back(std::make_unique<ChunkedStream>(std::move(main), 3));
    in.push_back(std::make_unique<ChunkedStream>(std::move(call)));
    in.push_back(std::make_unique<ChunkedStream>(std::move(jump)));
    in.push_back(std::make_unique<ChunkedStream>(std::move(selector)));
    return MakeBcj2Decoder(std::move(in));
  };
  // (A folder never asks for more than its recorded size, so the bit after it is never needed.)
  for (const std::string main : {"ab\xE8", "ab\x0F\x85"}) {
    const auto dec = bcj2(main, "", "", "");
    std::string out(main.size(), '\0');
    for (std::size_t at = 0; at < out.size();) {
      const std::size_t got = dec->Read(std::as_writable_bytes(std::span(out)).subspan(at));
      ASSERT_NE(got, 0u);
      at += got;
    }
    EXPECT_EQ(out, main);
  }
  // All five selector bytes zero decode as "not converted" for every bit.
  EXPECT_EQ(Drain(*bcj2("\xE8xyz\xE9q", "", "", std::string(5, '\0'))), "\xE8xyz\xE9q");
  // All FF bytes decode as "converted": the call stream must then supply the target.
  for (const auto& [main, call, jump] :
       {std::tuple<std::string, std::string, std::string>{"\xE8z", "", ""},
        {"\xE8z", "\x01\x02\x03", ""},
        {"\xE9z", "\x01\x02\x03\x04", "\x01"}}) {
    const auto dec = bcj2(main, call, jump, std::string(5, '\xFF'));
    try {
      Drain(*dec);
      ADD_FAILURE() << "missing branch target not noticed";
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.status().code(), ErrorCode::kCorrupt);
    }
  }
  {
    // A converted call: target 0x00000010 stored big-endian, output relative to byte 5.
    const auto dec = bcj2("\xE8", std::string("\x00\x00\x00\x10", 4), "", std::string(5, '\xFF'));
    std::vector<std::byte> out(5);
    ASSERT_EQ(dec->Read(std::span(out).first(1)), 1u);  // the opcode; its bit waits
    ASSERT_EQ(dec->Read(std::span(out).subspan(1)), 4u);
    EXPECT_EQ(dec->Read(out), 0u);
    EXPECT_EQ(std::memcmp(out.data(), "\xE8\x0B\x00\x00\x00", 5), 0);
  }
  {
    const auto dec = bcj2("\xE8z", "", "", "\x00\x00");
    try {
      Drain(*dec);
      ADD_FAILURE() << "short selector stream not noticed";
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.status().code(), ErrorCode::kCorrupt);
    }
  }
}

TEST_F(BranchFiltersTest, DamagedFilteredArchivesFailCleanly) {
  const std::map<std::string, std::string> tree = {
      {"code.dll", MachineCode().substr(4096, 1500)},
      {"soup.bin", OpcodeSoup(700, 3)},
  };
  WriteTree(dir("src"), tree);
  for (const char* switches :
       {"-m0=BCJ -m1=Copy -mhc=off",
        "-m0=BCJ2 -m1=Copy -m2=Copy -m3=Copy -mb0s0:1 -mb0s1:2 -mb0s2:3 -mhc=off",
        "-mf=Delta:4 -m0=Copy -mhc=off", "-m0=BCJ -m1=Copy -mhc=on"}) {
    SCOPED_TRACE(switches);
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), switches);
    for (std::size_t length = 0; length < image.size(); length += 7) {
      testing::MemorySink sink;
      MemoryByteSource source{std::span<const std::uint8_t>(image.data(), length)};
      ASSERT_FALSE(ExtractArchive(source, sink).ok()) << length;
      ASSERT_FALSE(sink.touched()) << length;
    }
    for (std::size_t i = 0; i < image.size(); ++i) {
      Bytes bad = image;
      bad[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
      testing::MemorySink sink;
      MemoryByteSource source{std::span<const std::uint8_t>(bad)};
      const Status status = ExtractArchive(source, sink);
      // The range coder's last flushed bytes may never be needed; any file that is written
      // must be exactly right.
      for (const auto& [name, content] : sink.files) {
        ASSERT_TRUE(tree.count(name) && tree.at(name) == content) << "byte " << i << ": " << name;
      }
      if (status.ok()) {
        EXPECT_EQ(sink.files.size(), tree.size()) << i;
      }
    }
  }
}

}  // namespace
}  // namespace tvl
