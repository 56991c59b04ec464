// The 7z directory reader on hand-made images: layouts the real tool does not write for Copy
// (solid folders, coder chains) and hostile fields that must fail without harm.
#include "tvl/core/sevenzip_archive.h"

#include <gtest/gtest.h>

#include "tvl/core/archive_extractor.h"
#include "tvl/core/crc32.h"
#include "tvl/core/sevenzip_decoder.h"
#include "tvl_test_support.h"

namespace tvl::sevenzip {
namespace {

using testing::BuildArchive;
using testing::BuildOptions;
using testing::Bytes;
using testing::HeaderWriter;
using testing::SealArchive;
using testing::TestEntry;

Status Read(const Bytes& image, Archive& archive) {
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  return ReadArchive(source, archive);
}

std::uint32_t CrcOf(const std::string& s) {
  return Crc32::Of(std::as_bytes(std::span(s)));
}

std::string ReadAll(InStream& stream, std::size_t chunk) {
  std::string out;
  std::vector<std::byte> buffer(chunk);
  while (const std::size_t got = stream.Read(buffer)) {
    out.append(reinterpret_cast<const char*>(buffer.data()), got);
  }
  return out;
}

const std::vector<TestEntry> kEntries = {
    {u"dir", TestEntry::kDir, ""},
    {u"dir/one.txt", TestEntry::kFile, "first file"},
    {u"dir/empty", TestEntry::kEmptyFile, ""},
    {u"two.bin", TestEntry::kFile, testing::RandomData(70000, 2)},
    {u"three", TestEntry::kFile, "3"},
};

TEST(SevenZipArchive, MapsFilesOntoFoldersAndSubstreams) {
  for (const bool solid : {false, true}) {
    SCOPED_TRACE(solid ? "solid" : "one folder per file");
    const Bytes image = BuildArchive(kEntries, {.solid = solid});
    Archive archive;
    const Status status = Read(image, archive);
    ASSERT_TRUE(status.ok()) << status.message();

    ASSERT_EQ(archive.entries.size(), kEntries.size());
    std::size_t stream = 0;
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
      const Entry& e = archive.entries[i];
      EXPECT_EQ(e.name, kEntries[i].name);
      EXPECT_EQ(e.is_dir, kEntries[i].kind == TestEntry::kDir);
      EXPECT_EQ(e.has_stream, kEntries[i].kind == TestEntry::kFile);
      EXPECT_EQ(e.mtime, 0x01D0000000000000ull + i);
      if (!e.has_stream) continue;
      EXPECT_EQ(e.size, kEntries[i].data.size());
      EXPECT_EQ(e.crc, CrcOf(kEntries[i].data));
      EXPECT_EQ(e.folder, solid ? 0 : stream);
      ++stream;
    }
    ASSERT_EQ(archive.folders.size(), solid ? 1u : 3u);
    EXPECT_EQ(archive.folders[0].num_substreams, solid ? 3u : 1u);

    // The folder's output is the files back to back, whatever the read size.
    std::string expected;
    for (const auto* name : {u"dir/one.txt", u"two.bin", u"three"}) {
      for (const auto& e : kEntries) {
        if (e.name == name) expected += e.data;
      }
    }
    std::string got;
    for (std::size_t f = 0; f < archive.folders.size(); ++f) {
      MemoryByteSource source{std::span<const std::uint8_t>(image)};
      got += ReadAll(*OpenFolder(source, archive, f), 4093);
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(SevenZipArchive, ChainsCodersAlongBindPairs) {
  const Bytes image = BuildArchive(kEntries, {.solid = true, .chain = {{0x00}, {0x00}, {0x00}}});
  Archive archive;
  ASSERT_TRUE(Read(image, archive).ok());
  const Folder& folder = archive.folders[0];
  ASSERT_EQ(folder.coders.size(), 3u);
  EXPECT_EQ(folder.main_coder, 0u);
  EXPECT_EQ(folder.packed_streams, std::vector<std::uint32_t>{2});
  EXPECT_TRUE(CheckFolderSupported(folder).ok());
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  EXPECT_EQ(ReadAll(*OpenFolder(source, archive, 0), 1000).size(), 70011u);

  // A size in the chain that promises more than the packed data holds is caught while reading.
  archive.folders[0].unpack_sizes[1] += 1;
  archive.folders[0].unpack_sizes[0] += 1;
  try {
    ReadAll(*OpenFolder(source, archive, 0), 1000);
    ADD_FAILURE() << "short data not noticed";
  } catch (const ArchiveError& e) {
    EXPECT_EQ(e.status().code(), ErrorCode::kCorrupt);
  }

  // One unknown coder anywhere in the chain refuses the folder, before and while decoding;
  // an AES coder says why.
  const struct {
    Bytes method;
    const char* message;
  } refused[] = {{{0x7F, 0x01, 0x01}, "method 7F0101"}, {{0x06, 0xF1, 0x07, 0x01}, "encrypted"}};
  for (const auto& r : refused) {
    for (const auto& chain : {std::vector<Bytes>{r.method}, std::vector<Bytes>{{0x00}, r.method},
                              std::vector<Bytes>{r.method, {0x00}}}) {
      Archive other;
      ASSERT_TRUE(Read(BuildArchive(kEntries, {.chain = chain}), other).ok());
      const Status status = CheckFolderSupported(other.folders[0]);
      EXPECT_EQ(status.code(), ErrorCode::kUnsupported);
      EXPECT_NE(status.message().find(r.message), std::string::npos) << status.message();
      try {
        OpenFolder(source, other, 0);
        ADD_FAILURE() << "unknown coder built";
      } catch (const ArchiveError& e) {
        EXPECT_EQ(e.status().code(), ErrorCode::kUnsupported);
        EXPECT_NE(e.status().message().find(r.message), std::string::npos);
      }
    }
  }
}

std::uint64_t Load64(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
  return v;
}

struct PackOptions {
  bool with_crc = true;
  std::uint32_t crc_xor = 0;
  std::uint64_t size_delta = 0;  // added to the folder's unpack size
  Bytes method = {0x00};         // the one coder of the header's folder
  bool delta_chain = false;      // Delta (distance 1) over Copy instead
  bool two_folders = false;
};

// Takes an image laid out as packed data then header, moves the header into the packed data and
// puts an encoded header after it that unpacks it again; applying it to its own result packs
// the header several times over.
Bytes PackHeader(const Bytes& image, const PackOptions& o = {}) {
  const auto offset = static_cast<std::size_t>(Load64(image, 12));
  const auto size = static_cast<std::size_t>(Load64(image, 20));
  Bytes packed(image.begin() + 32, image.begin() + 32 + static_cast<std::ptrdiff_t>(offset));
  const Bytes header(image.begin() + static_cast<std::ptrdiff_t>(32 + offset),
                     image.begin() + static_cast<std::ptrdiff_t>(32 + offset + size));
  const std::uint64_t pack_pos = packed.size();
  Bytes stored = header;
  if (o.delta_chain) {
    for (std::size_t i = stored.size(); i-- > 1;)
      stored[i] = std::uint8_t(stored[i] - stored[i - 1]);
  }
  packed.insert(packed.end(), stored.begin(), stored.end());

  const std::size_t folders = o.two_folders ? 2 : 1;
  HeaderWriter h;
  h.Byte(0x17).Byte(0x06).Number(pack_pos).Number(folders).Byte(0x09);
  for (std::size_t f = 0; f < folders; ++f) h.Number(f == 0 ? stored.size() : 0);
  h.Byte(0x00);
  h.Byte(0x07).Byte(0x0B).Number(folders).Byte(0);
  for (std::size_t f = 0; f < folders; ++f) {
    if (o.delta_chain) {
      h.Number(2).Byte(0x21).Byte(0x03).Number(1).Byte(0x00).Byte(0x01).Byte(0x00);
      h.Number(0).Number(1);
    } else {
      h.Number(1).Byte(static_cast<std::uint8_t>(o.method.size())).Raw(o.method);
    }
  }
  h.Byte(0x0C);
  for (std::size_t f = 0; f < folders; ++f) {
    const std::uint64_t n = f == 0 ? header.size() + o.size_delta : 0;
    h.Number(n);
    if (o.delta_chain) h.Number(n);
  }
  if (o.with_crc) {
    h.Byte(0x0A).Byte(1);
    for (std::size_t f = 0; f < folders; ++f) {
      h.UInt32(f == 0 ? Crc32::Of(header) ^ o.crc_xor : Crc32::Of(Bytes{}));
    }
  }
  h.Byte(0x00).Byte(0x00);
  return SealArchive(packed, h.bytes());
}

TEST(SevenZipArchive, UnpacksPackedHeaders) {
  const Bytes plain = BuildArchive(kEntries, {.solid = true});
  Archive expected;
  ASSERT_TRUE(Read(plain, expected).ok());
  const auto same_as_plain = [&](const Bytes& image) {
    Archive archive;
    const Status status = Read(image, archive);
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(archive.entries.size(), expected.entries.size());
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      EXPECT_EQ(archive.entries[i].name, expected.entries[i].name);
      EXPECT_EQ(archive.entries[i].crc, expected.entries[i].crc);
    }
    // The files' data is still found where the inner header says.
    MemoryByteSource source{std::span<const std::uint8_t>(image)};
    EXPECT_EQ(ReadAll(*OpenFolder(source, archive, 0), 777).size(), 70011u);
  };

  same_as_plain(PackHeader(plain));
  same_as_plain(PackHeader(plain, {.with_crc = false}));
  same_as_plain(PackHeader(plain, {.delta_chain = true}));
  Bytes nested = plain;
  for (int i = 0; i < 4; ++i) nested = PackHeader(nested, {.delta_chain = i % 2 == 1});
  same_as_plain(nested);

  // Every bit of a packed-header archive is covered by some checksum (but the minor version).
  const Bytes once = PackHeader(BuildArchive({{u"d", TestEntry::kDir, ""},
                                              {u"d/f", TestEntry::kFile, "some data"},
                                              {u"g", TestEntry::kFile, "more"}},
                                             {.solid = true}));
  for (std::size_t i = 0; i < once.size(); ++i) {
    Bytes bad = once;
    bad[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
    MemoryByteSource source{std::span<const std::uint8_t>(bad)};
    testing::MemorySink sink;
    const Status status = ExtractArchive(source, sink);
    EXPECT_EQ(status.ok(), i == 7) << i << ": " << status.message();
  }

  // A header that unpacks to itself is an endless nesting, not an endless loop.
  const auto self_packed = [] {
    Bytes packed = {'a', 'b', 'c'};
    for (std::uint64_t size = 16;;) {
      HeaderWriter h;
      h.Byte(0x17).Byte(0x06).Number(packed.size()).Number(1).Byte(0x09).Number(size).Byte(0);
      h.Byte(0x07).Byte(0x0B).Number(1).Byte(0).Number(1).Byte(0x01).Byte(0x00);
      h.Byte(0x0C).Number(size).Byte(0x00).Byte(0x00);
      if (h.bytes().size() == size) return SealArchive(packed, h.bytes());
      size = h.bytes().size();
    }
  };
  const struct {
    const char* what;
    Bytes image;
    ErrorCode code;
  } cases[] = {
      {"packed five times", PackHeader(nested), ErrorCode::kCorrupt},
      {"packs itself", self_packed(), ErrorCode::kCorrupt},
      {"wrong CRC", PackHeader(plain, {.crc_xor = 1}), ErrorCode::kCorrupt},
      {"longer than its data", PackHeader(plain, {.size_delta = 1}), ErrorCode::kCorrupt},
      {"huge", PackHeader(plain, {.size_delta = kMaxHeaderSize}), ErrorCode::kUnsupported},
      {"two folders", PackHeader(plain, {.two_folders = true}), ErrorCode::kCorrupt},
      {"unknown coder", PackHeader(plain, {.method = {0x7F, 0x01, 0x01}}), ErrorCode::kUnsupported},
      {"encrypted", PackHeader(plain, {.method = {0x06, 0xF1, 0x07, 0x01}}),
       ErrorCode::kUnsupported},
  };
  for (const auto& c : cases) {
    Archive archive;
    const Status status = Read(c.image, archive);
    EXPECT_EQ(status.code(), c.code) << c.what << ": " << status.message();
    EXPECT_TRUE(archive.entries.empty() && archive.folders.empty()) << c.what;
  }
  Archive archive;
  EXPECT_NE(Read(cases[7].image, archive).message().find("encrypted"), std::string::npos);
}

TEST(SevenZipArchive, RejectsBrokenSignatureHeaders) {
  const Bytes good = BuildArchive(kEntries);
  Archive archive;
  EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 31), archive).code(), ErrorCode::kNotArchive);

  Bytes bad = good;
  bad[2] ^= 1;
  EXPECT_EQ(Read(bad, archive).code(), ErrorCode::kNotArchive);
  bad = good;
  bad[6] = 1;
  EXPECT_EQ(Read(bad, archive).code(), ErrorCode::kUnsupported);
  bad = good;
  bad[8] ^= 0x80;
  EXPECT_EQ(Read(bad, archive).code(), ErrorCode::kCorrupt);
  // A header said to lie beyond the end, with both CRCs right.
  bad = good;
  bad[13] = 0x7F;
  testing::Reseal(bad);
  EXPECT_EQ(Read(bad, archive).code(), ErrorCode::kCorrupt);
  bad = good;
  for (int i = 20; i < 28; ++i) bad[i] = 0xFF;
  testing::Reseal(bad);
  EXPECT_EQ(Read(bad, archive).code(), ErrorCode::kCorrupt);

  // Nothing in it at all is a valid, empty archive.
  const Bytes empty = SealArchive({}, {});
  ASSERT_TRUE(Read(empty, archive).ok());
  EXPECT_TRUE(archive.entries.empty());
}

// One folder holding "abc" with a Copy coder, then `tail` for the rest of the header.
Bytes OneFolderThen(const Bytes& tail) {
  HeaderWriter h;
  h.Byte(0x01).Byte(0x04);
  h.Byte(0x06).Number(0).Number(1).Byte(0x09).Number(3).Byte(0x00);
  h.Byte(0x07).Byte(0x0B).Number(1).Byte(0).Number(1).Byte(0x01).Byte(0x00);
  h.Byte(0x0C).Number(3).Byte(0x00);
  h.Raw(tail);
  return SealArchive({'a', 'b', 'c'}, h.bytes());
}

HeaderWriter W() {
  return HeaderWriter();
}

TEST(SevenZipArchive, HostileFieldsFailCleanly) {
  const std::uint64_t kHuge = std::uint64_t{1} << 60;
  const Bytes one_name = W().Byte(0).Name(u"x").bytes();
  const struct {
    const char* what;
    Bytes image;
    ErrorCode code;
  } cases[] = {
      {"encoded header cut short", SealArchive({}, W().Byte(0x17).Byte(0x06).bytes()),
       ErrorCode::kCorrupt},
      {"unknown top id", SealArchive({}, W().Byte(0x42).bytes()), ErrorCode::kCorrupt},
      {"header cut short", SealArchive({}, W().Byte(0x01).Byte(0x04).Byte(0x06).bytes()),
       ErrorCode::kCorrupt},
      {"number cut short", SealArchive({}, W().Byte(0x01).Byte(0x05).Byte(0xFF).Byte(1).bytes()),
       ErrorCode::kCorrupt},
      {"huge file count",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x05)
                           .Number(kHuge)
                           .Byte(0x11)
                           .Number(one_name.size())
                           .Raw(one_name)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"more names than files",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x05)
                           .Number(0)
                           .Byte(0x11)
                           .Number(one_name.size())
                           .Raw(one_name)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"name without terminator",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x05)
                           .Number(1)
                           .Byte(0x11)
                           .Number(3)
                           .Byte(0)
                           .Byte('x')
                           .Byte(0)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"files without names",
       SealArchive({}, W().Byte(0x01).Byte(0x05).Number(2).Byte(0).Byte(0).bytes()),
       ErrorCode::kUnsupported},
      {"names elsewhere",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x05)
                           .Number(1)
                           .Byte(0x11)
                           .Number(2)
                           .Byte(1)
                           .Byte(0)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kUnsupported},
      {"property twice",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x05)
                           .Number(1)
                           .Byte(0x11)
                           .Number(one_name.size())
                           .Raw(one_name)
                           .Byte(0x11)
                           .Number(one_name.size())
                           .Raw(one_name)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"property longer than header",
       SealArchive({}, W().Byte(0x01).Byte(0x05).Number(1).Byte(0x11).Number(kHuge).bytes()),
       ErrorCode::kCorrupt},
      {"additional streams", SealArchive({}, W().Byte(0x01).Byte(0x03).bytes()),
       ErrorCode::kUnsupported},
      {"huge pack stream count",
       SealArchive({}, W().Byte(0x01).Byte(0x04).Byte(0x06).Number(0).Number(kHuge).bytes()),
       ErrorCode::kCorrupt},
      {"pack data past the end",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x06)
                           .Number(0)
                           .Number(1)
                           .Byte(0x09)
                           .Number(1000)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"pack position overflows",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x06)
                           .Number(UINT64_MAX)
                           .Number(1)
                           .Byte(0x09)
                           .Number(1)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"pack sizes overflow",
       SealArchive({1, 2}, W().Byte(0x01)
                               .Byte(0x04)
                               .Byte(0x06)
                               .Number(0)
                               .Number(2)
                               .Byte(0x09)
                               .Number(1)
                               .Number(UINT64_MAX)
                               .Byte(0)
                               .bytes()),
       ErrorCode::kCorrupt},
      {"huge folder count",
       SealArchive({}, W().Byte(0x01).Byte(0x04).Byte(0x07).Byte(0x0B).Number(kHuge).bytes()),
       ErrorCode::kCorrupt},
      {"folder list elsewhere",
       SealArchive({}, W().Byte(0x01).Byte(0x04).Byte(0x07).Byte(0x0B).Number(1).Byte(1).bytes()),
       ErrorCode::kUnsupported},
      {"folder without coders",
       SealArchive(
           {}, W().Byte(0x01).Byte(0x04).Byte(0x07).Byte(0x0B).Number(1).Byte(0).Number(0).bytes()),
       ErrorCode::kCorrupt},
      {"too many coders",
       SealArchive(
           {},
           W().Byte(0x01).Byte(0x04).Byte(0x07).Byte(0x0B).Number(1).Byte(0).Number(65).bytes()),
       ErrorCode::kUnsupported},
      {"coder with two outputs",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x07)
                           .Byte(0x0B)
                           .Number(1)
                           .Byte(0)
                           .Number(1)
                           .Byte(0x11)
                           .Byte(0)
                           .Number(1)
                           .Number(2)
                           .bytes()),
       ErrorCode::kUnsupported},
      {"coder with huge property size",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x07)
                           .Byte(0x0B)
                           .Number(1)
                           .Byte(0)
                           .Number(1)
                           .Byte(0x21)
                           .Byte(0)
                           .Number(kHuge)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"coder feeding itself",  // coder 1's output bound to its own input
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x07)
                           .Byte(0x0B)
                           .Number(1)
                           .Byte(0)
                           .Number(2)
                           .Byte(0x01)
                           .Byte(0)
                           .Byte(0x01)
                           .Byte(0)
                           .Number(1)
                           .Number(1)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"bind pair out of range",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x07)
                           .Byte(0x0B)
                           .Number(1)
                           .Byte(0)
                           .Number(2)
                           .Byte(0x01)
                           .Byte(0)
                           .Byte(0x01)
                           .Byte(0)
                           .Number(0)
                           .Number(7)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"folders without pack streams",
       SealArchive({}, W().Byte(0x01)
                           .Byte(0x04)
                           .Byte(0x07)
                           .Byte(0x0B)
                           .Number(1)
                           .Byte(0)
                           .Number(1)
                           .Byte(0x01)
                           .Byte(0)
                           .Byte(0x0C)
                           .Number(0)
                           .Byte(0)
                           .Byte(0)
                           .Byte(0)
                           .bytes()),
       ErrorCode::kCorrupt},
      {"huge substream count", OneFolderThen(W().Byte(0x08).Byte(0x0D).Number(kHuge).bytes()),
       ErrorCode::kCorrupt},
      {"several substreams without sizes",
       OneFolderThen(W().Byte(0x08).Byte(0x0D).Number(2).Byte(0x00).bytes()), ErrorCode::kCorrupt},
      {"substreams larger than folder",
       OneFolderThen(W().Byte(0x08).Byte(0x0D).Number(2).Byte(0x09).Number(4).Byte(0).bytes()),
       ErrorCode::kCorrupt},
      {"stream without file", OneFolderThen(W().Byte(0x00).Byte(0x00).bytes()),
       ErrorCode::kCorrupt},
      {"file without stream",
       OneFolderThen(
           W().Byte(0x00)
               .Byte(0x05)
               .Number(2)
               .Byte(0x11)
               .Number(9)
               .Byte(0)
               .Name(u"a")
               .Name(u"b")
               .Byte(0)
               .Byte(0)
               .bytes()),
       ErrorCode::kCorrupt},
      {"empty-stream bits too short",
       OneFolderThen(
           W().Byte(0x00)
               .Byte(0x05)
               .Number(1)
               .Byte(0x0E)
               .Number(0)
               .Byte(0x11)
               .Number(5)
               .Byte(0)
               .Name(u"a")
               .Byte(0)
               .Byte(0)
               .bytes()),
       ErrorCode::kCorrupt},
      {"times elsewhere",
       OneFolderThen(
           W().Byte(0x00)
               .Byte(0x05)
               .Number(1)
               .Byte(0x11)
               .Number(5)
               .Byte(0)
               .Name(u"a")
               .Byte(0x14)
               .Number(10)
               .Byte(1)
               .Byte(1)
               .UInt64(0)
               .Byte(0)
               .Byte(0)
               .bytes()),
       ErrorCode::kUnsupported},
  };
  for (const auto& c : cases) {
    Archive archive;
    const Status status = Read(c.image, archive);
    EXPECT_EQ(status.code(), c.code) << c.what << ": " << status.message();
    EXPECT_TRUE(archive.entries.empty() && archive.folders.empty()) << c.what;
  }

  // The same frame with a well-formed tail reads, so the cases above fail for their own fault.
  Archive archive;
  const Status status = Read(OneFolderThen(W().Byte(0x00)
                                               .Byte(0x05)
                                               .Number(1)
                                               .Byte(0x11)
                                               .Number(5)
                                               .Byte(0)
                                               .Name(u"a")
                                               .Byte(0x14)
                                               .Number(10)
                                               .Byte(1)
                                               .Byte(0)
                                               .UInt64(0)
                                               .Byte(0)
                                               .Byte(0)
                                               .bytes()),
                             archive);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(archive.entries.at(0).size, 3u);
}

}  // namespace
}  // namespace tvl::sevenzip
