// A file past 4 GiB: every size, offset and progress count is 64-bit. The packed data is
// generated on demand, so the test needs no disk space.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/crc32.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
using testing::HeaderWriter;

constexpr std::uint64_t kBigSize = (4ull << 30) + 4097;

// Start header, then kBigSize bytes of a repeating pattern, then the header.
class BigSource final : public ByteSource {
 public:
  BigSource() {
    HeaderWriter h;
    h.Byte(0x01).Byte(0x04);  // header, main streams
    h.Byte(0x06).Number(0).Number(1).Byte(0x09).Number(kBigSize).Byte(0x00);  // one pack stream
    h.Byte(0x07).Byte(0x0B).Number(1).Byte(0);                                // one folder
    h.Number(1).Byte(0x01).Byte(0x00);                                        // Copy
    h.Byte(0x0C).Number(kBigSize).Byte(0x00);                                 // its output size
    h.Byte(0x08).Byte(0x00);                                                  // one substream
    h.Byte(0x00);
    h.Byte(0x05).Number(1).Byte(0x11);  // files: a name
    HeaderWriter name;
    name.Byte(0).Name(u"big.bin");
    h.Number(name.bytes().size()).Raw(name.bytes()).Byte(0x00).Byte(0x00);
    header_ = h.bytes();
    HeaderWriter start;
    start.Raw({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4}).UInt32(0);
    start.UInt64(kBigSize).UInt64(header_.size()).UInt32(Crc32::Of(std::span(header_)));
    start_ = start.bytes();
    const std::uint32_t crc = Crc32::Of(std::span<const std::uint8_t>(start_).subspan(12, 20));
    for (int i = 0; i < 4; ++i) start_[8 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }

  std::uint64_t Size() const override { return 32 + kBigSize + header_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    if (offset > Size() || out.size() > Size() - offset) return false;
    for (std::size_t i = 0; i < out.size();) {
      const std::uint64_t at = offset + i;
      if (at < 32) {
        out[i++] = static_cast<std::byte>(start_[at]);
      } else if (at >= 32 + kBigSize) {
        out[i++] = static_cast<std::byte>(header_[at - 32 - kBigSize]);
      } else {
        // Up to the end of the data or of the pattern's block, whichever comes first.
        const std::uint64_t block_left = 0x10000 - ((at - 32) & 0xFFFF);
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({out.size() - i, 32 + kBigSize - at, block_left}));
        std::memset(out.data() + i, Pattern(at - 32), n);
        i += n;
      }
    }
    return true;
  }
  // One byte value per 64 KiB block, so the copy's order shows.
  static int Pattern(std::uint64_t position) { return static_cast<int>((position >> 16) & 0xFF); }

 private:
  Bytes start_;
  Bytes header_;
};

class CountingWriter final : public FileWriter {
 public:
  explicit CountingWriter(std::uint64_t& written, bool& in_order)
      : written_(written), in_order_(in_order) {}
  bool Write(std::span<const std::byte> data) override {
    if (!data.empty() && static_cast<int>(data.front()) != BigSource::Pattern(written_)) {
      in_order_ = false;
    }
    written_ += data.size();
    return true;
  }
  bool Commit() override { return true; }

 private:
  std::uint64_t& written_;
  bool& in_order_;
};

class CountingSink final : public ExtractSink {
 public:
  bool PrepareRoot() override { return true; }
  bool CreateFolder(std::string_view) override { return true; }
  std::unique_ptr<FileWriter> BeginFile(std::string_view path) override {
    name = std::string(path);
    return std::make_unique<CountingWriter>(written, in_order);
  }
  std::string name;
  std::uint64_t written = 0;
  bool in_order = true;
};

TEST(LargeFile, SizesAndProgressPastFourGiB) {
  BigSource source;
  CountingSink sink;
  std::uint64_t last_done = 0, total = 0;
  bool growing = true;
  const Status status =
      ExtractArchive(source, sink, [&](std::string_view, std::uint64_t done, std::uint64_t all) {
        growing = growing && done >= last_done;
        last_done = done;
        total = all;
        return true;
      });
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(sink.name, "big.bin");
  EXPECT_EQ(sink.written, kBigSize);
  EXPECT_TRUE(sink.in_order);
  EXPECT_EQ(total, kBigSize);
  EXPECT_EQ(last_done, kBigSize);
  EXPECT_TRUE(growing);
}

}  // namespace
}  // namespace tvl
