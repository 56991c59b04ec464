// The structure reader: header fields, reserve areas, set links and strings of real cabinets,
// clean errors on damaged and cut ones, the block checksum and the data block reader.
#include "stub/cabinet/core/cabinet_format.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/host/cabinet/cabinet_test_support.h"

namespace cab {
namespace {

using test::Bytes;
using test::DataDir;
using test::ReadBytes;

Error Read(const Bytes& bytes, Cabinet& cabinet, std::uint64_t base = 0) {
  MemorySource source(bytes);
  return ReadCabinet(source, base, cabinet);
}

Error ReadNamed(const std::string& name, Cabinet& cabinet) {
  return Read(ReadBytes(DataDir() / name), cabinet);
}

TEST(CabinetHeader, ReadsTheEntriesOfAPlainCabinet) {
  Cabinet cabinet;
  ASSERT_EQ(ReadNamed("normal_2files_1folder.cab", cabinet), Error::kNone);
  EXPECT_EQ(cabinet.header.cabinetSize, 253u);
  EXPECT_EQ(cabinet.header.versionMajor, 1);
  EXPECT_EQ(cabinet.header.versionMinor, 3);
  EXPECT_EQ(cabinet.header.flags, 0);
  EXPECT_EQ(cabinet.header.setId, 0x0622);
  ASSERT_EQ(cabinet.folders.size(), 1u);
  EXPECT_EQ(cabinet.folders[0].dataOffset, 0x5Eu);
  EXPECT_EQ(cabinet.folders[0].blockCount, 1);
  EXPECT_EQ(cabinet.folders[0].method(), Method::kStored);
  ASSERT_EQ(cabinet.files.size(), 2u);
  EXPECT_EQ(cabinet.files[0].name, "hello.c");
  EXPECT_EQ(cabinet.files[0].size, 77u);
  EXPECT_EQ(cabinet.files[0].folderOffset, 0u);
  EXPECT_EQ(cabinet.files[0].date, 0x226C);
  EXPECT_EQ(cabinet.files[0].time, 0x59BA);
  EXPECT_EQ(cabinet.files[0].attributes, 0x20);
  EXPECT_EQ(cabinet.files[1].name, "welcome.c");
  EXPECT_EQ(cabinet.files[1].size, 74u);
  EXPECT_EQ(cabinet.files[1].folderOffset, 77u);
  EXPECT_EQ(cabinet.files[1].time, 0x59E7);

  Cabinet longName;
  ASSERT_EQ(ReadNamed("normal_255c_filename.cab", longName), Error::kNone);
  ASSERT_EQ(longName.files.size(), 1u);
  EXPECT_EQ(longName.files[0].name.size(), 255u);
  EXPECT_EQ(longName.files[0].name.substr(250), "!.txt");
}

TEST(CabinetHeader, ReadsEachCombinationOfReserveAreas) {
  for (const char* name :
       {"reserve_---.cab", "reserve_--D.cab", "reserve_-F-.cab", "reserve_-FD.cab",
        "reserve_H--.cab", "reserve_H-D.cab", "reserve_HF-.cab", "reserve_HFD.cab"}) {
    SCOPED_TRACE(name);
    const std::string letters = std::string(name).substr(8, 3);
    Cabinet cabinet;
    ASSERT_EQ(ReadNamed(name, cabinet), Error::kNone);
    EXPECT_TRUE(cabinet.header.flags & kFlagReservePresent);
    EXPECT_EQ(cabinet.header.headerReserve, letters[0] == 'H' ? 26 : 0);
    EXPECT_EQ(cabinet.header.folderReserve, letters[1] == 'F' ? 26 : 0);
    EXPECT_EQ(cabinet.header.dataReserve, letters[2] == 'D' ? 24 : 0);
    ASSERT_EQ(cabinet.files.size(), 2u);
    EXPECT_EQ(cabinet.files[0].name, "test1.txt");
    EXPECT_EQ(cabinet.files[1].name, "test2.txt");
    EXPECT_EQ(cabinet.files[1].size, 5u);
  }
}

TEST(CabinetHeader, ReadsTheLinksOfACabinetSet) {
  std::vector<Cabinet> parts(5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    Cabinet& c = parts[i];
    ASSERT_EQ(ReadNamed("multi_basic_pt" + std::to_string(i + 1) + ".cab", c), Error::kNone);
    EXPECT_EQ(c.header.setId, 12345);
    EXPECT_EQ(c.header.cabinetIndex, i);
    EXPECT_EQ(bool(c.header.flags & kFlagPrevCabinet), i > 0);
    EXPECT_EQ(bool(c.header.flags & kFlagNextCabinet), i < 4);
    if (i > 0) {
      EXPECT_EQ(c.header.prevCabinet, "cabd_multi_basic_pt" + std::to_string(i) + ".cab");
      EXPECT_EQ(c.header.prevDisk, "basic multipart test part " + std::to_string(i));
    }
    if (i < 4) {
      EXPECT_EQ(c.header.nextCabinet, "cabd_multi_basic_pt" + std::to_string(i + 2) + ".cab");
      EXPECT_EQ(c.header.nextDisk, "basic multipart test part " + std::to_string(i + 2));
    }
    for (const File& file : c.files) EXPECT_EQ(c.FolderOf(file), 0u);
    if (i > 0) {
      EXPECT_EQ(CheckSequence(parts[i - 1], c), Error::kNone);
      EXPECT_EQ(CheckSequence(c, parts[i - 1]), Error::kWrongCabinet);
    }
  }
  EXPECT_EQ(parts[0].files[0].folderIndex, kContinuedToNext);
  EXPECT_EQ(parts[4].files[0].folderIndex, kContinuedFromPrev);
  EXPECT_EQ(CheckSequence(parts[0], parts[2]), Error::kWrongCabinet);
  Cabinet other = parts[1];
  other.header.setId = 1;
  EXPECT_EQ(CheckSequence(parts[0], other), Error::kWrongCabinet);
}

TEST(CabinetHeader, ReportsDamagedAndCutCabinets) {
  const std::pair<const char*, Error> cases[] = {
      {"bad_signature.cab", Error::kNotACabinet},
      {"bad_nofolders.cab", Error::kCorruptCabinet},
      {"bad_nofiles.cab", Error::kCorruptCabinet},
      {"bad_folderindex.cab", Error::kCorruptCabinet},
      {"partial_shortheader.cab", Error::kNotACabinet},
      {"partial_shortextheader.cab", Error::kCorruptCabinet},
      {"partial_nofolder.cab", Error::kCorruptCabinet},
      {"partial_shortfolder.cab", Error::kCorruptCabinet},
      {"partial_nofiles.cab", Error::kCorruptCabinet},
      {"partial_shortfile1.cab", Error::kCorruptCabinet},
      {"partial_shortfile2.cab", Error::kCorruptCabinet},
      {"partial_str_nopname.cab", Error::kCorruptCabinet},
      {"partial_str_nopinfo.cab", Error::kCorruptCabinet},
      {"partial_str_nonname.cab", Error::kCorruptCabinet},
      {"partial_str_noninfo.cab", Error::kCorruptCabinet},
      {"partial_str_nofname.cab", Error::kCorruptCabinet},
  };
  for (const auto& [name, expected] : cases) {
    Cabinet cabinet;
    EXPECT_EQ(ReadNamed(name, cabinet), expected) << name;
  }
}

TEST(CabinetHeader, EveryPrefixOfACabinetReadsCleanly) {
  for (const char* name : {"normal_2files_1folder.cab", "reserve_HFD.cab", "multi_basic_pt2.cab"}) {
    const Bytes whole = ReadBytes(DataDir() / name);
    Cabinet full;
    ASSERT_EQ(Read(whole, full), Error::kNone);
    // The entries end where the first file name does.
    std::size_t entriesEnd = full.header.filesOffset;
    for (const File& f : full.files) entriesEnd += 16 + f.name.size() + 1;
    for (std::size_t n = 0; n < whole.size(); ++n) {
      // A copy of exactly n bytes, so the sanitizers see any read past it.
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      Cabinet cabinet;
      const Error e = Read(cut, cabinet);
      if (n >= entriesEnd) {
        EXPECT_EQ(e, Error::kNone) << name << " " << n;
      } else {
        EXPECT_EQ(e, n < 36 ? Error::kNotACabinet : Error::kCorruptCabinet) << name << " " << n;
      }
    }
  }
}

TEST(CabinetHeader, FindsACabinetBehindOtherData) {
  const Bytes bytes = ReadBytes(DataDir() / "search_basic.cab");
  Cabinet cabinet;
  EXPECT_EQ(Read(bytes, cabinet, 0), Error::kNotACabinet);
  ASSERT_EQ(Read(bytes, cabinet, 6), Error::kNone);
  EXPECT_EQ(cabinet.base, 6u);
  EXPECT_EQ(cabinet.files.size(), 2u);
  Header header;
  MemorySource source(bytes);
  EXPECT_EQ(ReadHeader(source, 6, header), Error::kNone);
  EXPECT_EQ(header.fileCount, 2);
}

// A hand-made header with the given version, flags and trailing bytes.
Bytes Header(unsigned minor, unsigned major, unsigned flags, const Bytes& rest) {
  test::Writer w;
  w.Raw({'M', 'S', 'C', 'F'});
  for (int i = 0; i < 5; ++i) w.U32(i == 3 ? 400 : 0);
  w.U8(minor);
  w.U8(major);
  w.U16(1);
  w.U16(1);
  w.U16(flags);
  w.U16(0);
  w.U16(0);
  w.Raw(rest);
  w.bytes.resize(std::max<std::size_t>(w.bytes.size(), 600), 0);
  return w.bytes;
}

TEST(CabinetHeader, RejectsBadFieldsOfHandMadeHeaders) {
  Cabinet cabinet;
  EXPECT_EQ(Read(Header(2, 1, 0, {}), cabinet), Error::kUnknownVersion);
  EXPECT_EQ(Read(Header(3, 2, 0, {}), cabinet), Error::kUnknownVersion);
  // Header reserve above 60,000 bytes.
  EXPECT_EQ(Read(Header(3, 1, kFlagReservePresent, {0x61, 0xEA, 0, 0}), cabinet),
            Error::kCorruptCabinet);
  // A set name of 256 characters has no room for its NUL.
  Bytes longName(256, 'a');
  EXPECT_EQ(Read(Header(3, 1, kFlagPrevCabinet, longName), cabinet), Error::kCorruptCabinet);
  longName.resize(255);
  longName.push_back(0);
  longName.push_back(0);  // empty disk name
  Bytes withName = Header(3, 1, kFlagPrevCabinet, longName);
  // The folder entry follows the names; the file entry (all zero) is at offset 400.
  ASSERT_EQ(Read(withName, cabinet), Error::kNone);
  EXPECT_EQ(cabinet.header.prevCabinet.size(), 255u);
  withName[400 + 8] = 1;
  EXPECT_EQ(Read(withName, cabinet), Error::kCorruptCabinet);
  for (unsigned index : {0xFFFDu, 0xFFFEu, 0xFFFFu}) {
    withName[400 + 8] = index & 0xFF;
    withName[400 + 9] = 0xFF;
    ASSERT_EQ(Read(withName, cabinet), Error::kNone);
    EXPECT_EQ(cabinet.FolderOf(cabinet.files[0]), 0u);
  }
}

TEST(BlockChecksum, FoldsWordsAndTheTailBytes) {
  const Bytes eight = {1, 2, 3, 4, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Checksum(eight, 0), 0x04030201u ^ 0x40302010u);
  EXPECT_EQ(Checksum(eight, 0xFFFFFFFF), ~(0x04030201u ^ 0x40302010u));
  EXPECT_EQ(Checksum({}, 0x1234), 0x1234u);
  // One to three bytes left over go in with the first of them highest.
  const Bytes tail = {1, 2, 3, 4, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(Checksum(std::span(tail).first(5), 0), 0x04030201u ^ 0xAAu);
  EXPECT_EQ(Checksum(std::span(tail).first(6), 0), 0x04030201u ^ 0xAABBu);
  EXPECT_EQ(Checksum(tail, 0), 0x04030201u ^ 0xAABBCCu);
}

TEST(DataBlocks, VerifiesTheChecksumsOfRealBlocks) {
  for (const char* name : {"normal_2files_1folder.cab", "reserve_--D.cab", "reserve_HFD.cab",
                           "mszip_lzx_qtm.cab", "normal_2files_2folders.cab"}) {
    SCOPED_TRACE(name);
    Bytes bytes = ReadBytes(DataDir() / name);
    Cabinet cabinet;
    ASSERT_EQ(Read(bytes, cabinet), Error::kNone);
    for (const Folder& folder : cabinet.folders) {
      MemorySource source(bytes);
      std::uint64_t offset = folder.dataOffset;
      DataBlock block;
      for (unsigned i = 0; i < folder.blockCount; ++i) {
        const std::uint64_t at = offset;
        ASSERT_EQ(ReadDataBlock(source, cabinet, offset, block), Error::kNone);
        EXPECT_EQ(offset, at + 8 + cabinet.header.dataReserve + block.compressedSize);
        EXPECT_EQ(block.data.size(), block.compressedSize);
        if (block.checksum == 0) continue;
        // Any change of the data or the sizes is caught.
        for (std::size_t k : {at + 4, at + 6, offset - 1}) {
          Bytes bad = bytes;
          bad[k] ^= 0x01;
          MemorySource badSource(bad);
          std::uint64_t again = at;
          EXPECT_EQ(ReadDataBlock(badSource, cabinet, again, block), Error::kCorruptCabinet);
        }
      }
    }
  }
}

TEST(DataBlocks, RejectsOversizedAndCutBlocks) {
  const Bytes cabinetBytes = test::MakeCabinet(0, {{Bytes(5, 'x'), 5}}, {{"a", 5, 0, 0}});
  Cabinet cabinet;
  ASSERT_EQ(Read(cabinetBytes, cabinet), Error::kNone);
  const std::uint64_t at = cabinet.folders[0].dataOffset;
  DataBlock block;
  for (std::size_t n = at; n < cabinetBytes.size(); ++n) {
    const Bytes cut(cabinetBytes.begin(), cabinetBytes.begin() + static_cast<std::ptrdiff_t>(n));
    MemorySource source(cut);
    std::uint64_t offset = at;
    EXPECT_EQ(ReadDataBlock(source, cabinet, offset, block), Error::kCorruptCabinet);
    EXPECT_EQ(offset, at);
  }
  // A zero checksum is not checked.
  Bytes bytes = test::MakeCabinet(0, {{Bytes(5, 'x'), 5, false}}, {{"a", 5, 0, 0}});
  MemorySource source(bytes);
  std::uint64_t offset = at;
  ASSERT_EQ(ReadDataBlock(source, cabinet, offset, block), Error::kNone);
  // A block without data (an empty span to read into).
  Bytes empty = test::MakeCabinet(0, {{Bytes{}, 0, true}}, {{"a", 0, 0, 0}});
  MemorySource emptySource(empty);
  offset = at;
  ASSERT_EQ(ReadDataBlock(emptySource, cabinet, offset, block), Error::kNone);
  EXPECT_TRUE(block.data.empty());
  EXPECT_EQ(offset, at + 8);
  // Uncompressed sizes above 32 KB and compressed ones above 38 KB.
  Bytes big = test::MakeCabinet(0, {{Bytes(5, 'x'), 32769, false}}, {{"a", 5, 0, 0}});
  MemorySource bigSource(big);
  offset = at;
  EXPECT_EQ(ReadDataBlock(bigSource, cabinet, offset, block), Error::kCorruptCabinet);
  big = test::MakeCabinet(0, {{Bytes(38913, 'x'), 10, false}}, {{"a", 5, 0, 0}});
  MemorySource bigSource2(big);
  offset = at;
  EXPECT_EQ(ReadDataBlock(bigSource2, cabinet, offset, block), Error::kCorruptCabinet);
}

TEST(Compression, AcceptsStoredMszipAndLzxWindowsOnly) {
  EXPECT_EQ(CheckCompression(0x0000), Error::kNone);
  EXPECT_EQ(CheckCompression(0x0001), Error::kNone);
  EXPECT_EQ(CheckCompression(0x0F03), Error::kNone);
  EXPECT_EQ(CheckCompression(0x1503), Error::kNone);
  EXPECT_EQ(CheckCompression(0x0E03), Error::kBadCompressionType);
  EXPECT_EQ(CheckCompression(0x1603), Error::kBadCompressionType);
  for (std::uint16_t quantum :
       {std::uint16_t{0x0002}, std::uint16_t{0x0F12}, std::uint16_t{0x1572}}) {
    EXPECT_EQ(CheckCompression(quantum), Error::kBadCompressionType);
  }
  for (std::uint16_t type = 4; type < 16; ++type) {
    EXPECT_EQ(CheckCompression(type), Error::kBadCompressionType);
  }
}

}  // namespace
}  // namespace cab
