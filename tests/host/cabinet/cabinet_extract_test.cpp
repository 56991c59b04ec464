// Whole cabinets and cabinet sets: the real fixtures and cabinets made with gcab, compared with
// what cabextract extracts; continued folders and cut blocks; methods not decoded here; the
// carving of files out of a folder; damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "stub/cabinet/core/folder_decoder.h"
#include "tests/host/cabinet/cabinet_test_support.h"

namespace cab {
namespace {

using namespace test;

std::map<std::string, Bytes> Extract(const std::filesystem::path& path, Error expected,
                                     std::uint64_t base = 0) {
  LoadedSet set({ReadBytes(path)}, base);
  EXPECT_EQ(set.readResult, Error::kNone);
  CollectingSink sink;
  std::map<std::string, Bytes> files;
  EXPECT_EQ(set.Extract(files, sink), expected) << path;
  return files;
}

TEST(Extraction, MatchesCabextractOnTheRealCabinets) {
  for (const char* name :
       {"normal_2files_1folder.cab", "normal_255c_filename.cab", "reserve_---.cab",
        "reserve_--D.cab", "reserve_-F-.cab", "reserve_-FD.cab", "reserve_H--.cab",
        "reserve_H-D.cab", "reserve_HF-.cab", "reserve_HFD.cab"}) {
    SCOPED_TRACE(name);
    const auto expected = Cabextract(DataDir() / name);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Extract(DataDir() / name, Error::kNone), expected);
  }
  // Two cabinets behind other data: cabextract finds both (the second has the same names).
  const Bytes both = ReadBytes(DataDir() / "search_basic.cab");
  const auto expected = Cabextract(DataDir() / "search_basic.cab");
  std::size_t found = 0;
  for (std::size_t at = 0; at + 4 <= both.size(); ++at) {
    if (std::equal(both.begin() + static_cast<std::ptrdiff_t>(at),
                   both.begin() + static_cast<std::ptrdiff_t>(at + 4), "MSCF")) {
      EXPECT_EQ(Extract(DataDir() / "search_basic.cab", Error::kNone, at), expected) << at;
      ++found;
    }
  }
  EXPECT_EQ(found, 2u);
}

TEST(Extraction, DecodesTheMszipAndLzxFoldersBesideQuantumOnes) {
  for (const char* name : {"mszip_lzx_qtm.cab", "normal_2files_2folders.cab"}) {
    SCOPED_TRACE(name);
    LoadedSet set({ReadBytes(DataDir() / name)});
    ASSERT_EQ(set.readResult, Error::kNone);
    const auto reference = Cabextract(DataDir() / name);
    CollectingSink sink;
    std::map<std::string, Bytes> files;
    const bool quantum = std::string_view(name) == "mszip_lzx_qtm.cab";
    EXPECT_EQ(set.Extract(files, sink), quantum ? Error::kBadCompressionType : Error::kNone);
    const Cabinet& cabinet = set.cabinets[0];
    ASSERT_EQ(sink.files.size(), cabinet.files.size());
    for (std::size_t i = 0; i < cabinet.files.size(); ++i) {
      const File& file = cabinet.files[i];
      const Extracted& item = sink.files[{0, i}];
      SCOPED_TRACE(file.name);
      if (cabinet.folders[cabinet.FolderOf(file)].method() != Method::kQuantum) {
        EXPECT_EQ(item.result, Error::kNone);
        EXPECT_EQ(item.data, reference.at(file.name));
      } else {
        EXPECT_EQ(item.result, Error::kBadCompressionType);
        EXPECT_TRUE(item.data.empty());
      }
    }
  }
}

TEST(Extraction, FollowsAFolderThroughACabinetSet) {
  TempDir dir;
  std::vector<Bytes> parts;
  for (int i = 1; i <= 5; ++i) {
    parts.push_back(ReadBytes(DataDir() / ("multi_basic_pt" + std::to_string(i) + ".cab")));
    WriteBytes(dir.path() / ("cabd_multi_basic_pt" + std::to_string(i) + ".cab"), parts.back());
  }
  const auto expected = Cabextract(dir.path() / "cabd_multi_basic_pt1.cab");
  ASSERT_EQ(expected.size(), 3u);
  {
    LoadedSet set(parts);
    ASSERT_EQ(set.readResult, Error::kNone);
    CollectingSink sink;
    std::map<std::string, Bytes> files;
    EXPECT_EQ(set.Extract(files, sink), Error::kNone);
    EXPECT_EQ(files, expected);
    EXPECT_EQ(sink.files.size(), 3u);  // each file once, from the cabinet it starts in
  }
  {
    // The set without its last part: what spans into it is missing.
    LoadedSet set({parts[0], parts[1], parts[2], parts[3]});
    CollectingSink sink;
    std::map<std::string, Bytes> files;
    EXPECT_EQ(set.Extract(files, sink), Error::kCabinetNotFound);
  }
  {
    LoadedSet set({parts[0], parts[2]});
    CollectingSink sink;
    EXPECT_EQ(ExtractSet(set.members, sink), Error::kWrongCabinet);
    EXPECT_TRUE(sink.files.empty());
  }
}

TEST(Extraction, JoinsABlockCutAtTheEndOfACabinet) {
  const Bytes text = Text("0123456789abcde");
  const std::vector<Bytes> parts = {
      MakeCabinet(0, {{Bytes(text.begin(), text.begin() + 3), 0}}, {{"f", 10, 0, kContinuedToNext}},
                  kFlagNextCabinet, 0),
      MakeCabinet(0,
                  {{Bytes(text.begin() + 3, text.begin() + 10), 10},
                   {Bytes(text.begin() + 10, text.end()), 5}},
                  {{"f", 10, 0, kContinuedFromPrev}, {"g", 5, 10, 0}}, kFlagPrevCabinet, 1)};
  LoadedSet set(parts);
  ASSERT_EQ(set.readResult, Error::kNone);
  CollectingSink sink;
  std::map<std::string, Bytes> files;
  ASSERT_EQ(set.Extract(files, sink), Error::kNone);
  EXPECT_EQ(files["f"], Bytes(text.begin(), text.begin() + 10));
  EXPECT_EQ(files["g"], Bytes(text.begin() + 10, text.end()));
  // The first part alone: the cut block never ends.
  LoadedSet alone({parts[0]});
  CollectingSink sink2;
  EXPECT_EQ(ExtractSet(alone.members, sink2), Error::kCabinetNotFound);
  // A cut block that is not the last of its cabinet.
  const Bytes early = MakeCabinet(0, {{Bytes(3, 'x'), 0}, {Bytes(3, 'y'), 3}}, {{"f", 3, 0, 0}});
  LoadedSet bad({early});
  CollectingSink sink3;
  EXPECT_EQ(ExtractSet(bad.members, sink3), Error::kCorruptCabinet);
}

TEST(Extraction, CarvesOverlappingEmptyAndMisplacedFiles) {
  const Bytes text = Text("The quick brown fox jumps over the lazy dog");
  const auto size = static_cast<std::uint16_t>(text.size());
  const std::vector<TestFile> files = {{"late", 9, 34, 0},
                                       {"whole", size, 0, 0},
                                       {"middle", 5, 10, 0},
                                       {"empty", 0, 1000, 0},
                                       {"overlap", 20, 4, 0}};
  LoadedSet set({MakeCabinet(
      0, {{Bytes(text.begin(), text.begin() + 20), 20}, {Bytes(text.begin() + 20, text.end()), 23}},
      files)});
  ASSERT_EQ(set.readResult, Error::kNone);
  CollectingSink sink;
  std::map<std::string, Bytes> out;
  ASSERT_EQ(set.Extract(out, sink), Error::kNone);
  for (const TestFile& f : files) {
    const Bytes want =
        f.size == 0 ? Bytes{} : Bytes(text.begin() + f.offset, text.begin() + f.offset + f.size);
    EXPECT_EQ(out[f.name], want) << f.name;
  }
  // A file reaching past the folder's data; the others still come out.
  LoadedSet past({MakeCabinet(0, {{text, size}}, {{"ok", 3, 0, 0}, {"past", 10, 40, 0}})});
  CollectingSink sink2;
  EXPECT_EQ(ExtractSet(past.members, sink2), Error::kCorruptCabinet);
  EXPECT_EQ((sink2.files[{0, 0}].result), Error::kNone);
  EXPECT_EQ((sink2.files[{0, 1}].result), Error::kCorruptCabinet);
  // The sink stops the extraction.
  CollectingSink stopping;
  stopping.writeLimit = 3;
  EXPECT_EQ(ExtractSet(set.members, stopping), Error::kUserAbort);
  // Stored blocks whose two sizes differ.
  LoadedSet uneven({MakeCabinet(0, {{text, 40}}, {{"a", 40, 0, 0}})});
  CollectingSink sink3;
  EXPECT_EQ(ExtractSet(uneven.members, sink3), Error::kCorruptCabinet);
  // Quantum and unknown types.
  for (std::uint16_t type : {std::uint16_t{0x0F12}, std::uint16_t{0x0004}, std::uint16_t{0x000F},
                             std::uint16_t{0x1603}}) {
    LoadedSet other({MakeCabinet(type, {{text, size}}, {{"a", 4, 0, 0}})});
    CollectingSink sink4;
    EXPECT_EQ(ExtractSet(other.members, sink4), Error::kBadCompressionType) << type;
  }
  // Text that is no LZX stream.
  LoadedSet notLzx({MakeCabinet(0x1403, {{text, size}}, {{"a", 4, 0, 0}})});
  CollectingSink sink5;
  EXPECT_EQ(ExtractSet(notLzx.members, sink5), Error::kDecompressFailure);
}

TEST(Extraction, FolderStreamReadsAndSkips) {
  const Bytes text = Text("abcdefghijklmnopqrstuvwxyz");
  const Bytes bytes = MakeCabinet(
      0, {{Bytes(text.begin(), text.begin() + 10), 10}, {Bytes(text.begin() + 10, text.end()), 16}},
      {{"a", 26, 0, 0}});
  MemorySource source(bytes);
  Cabinet cabinet;
  ASSERT_EQ(ReadCabinet(source, 0, cabinet), Error::kNone);
  FolderStream stream;
  EXPECT_EQ(stream.Open(source, cabinet, 1), Error::kCorruptCabinet);
  std::size_t got = 0;
  Bytes out(4);
  EXPECT_EQ(stream.Read(out, got), Error::kCorruptCabinet);  // not open
  ASSERT_EQ(stream.Open(source, cabinet, 0), Error::kNone);
  std::uint64_t skipped = 0;
  ASSERT_EQ(stream.Skip(8, skipped), Error::kNone);
  EXPECT_EQ(skipped, 8u);
  ASSERT_EQ(stream.Read(out, got), Error::kNone);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(out, Text("ijkl"));
  ASSERT_EQ(stream.Skip(100, skipped), Error::kNone);
  EXPECT_EQ(skipped, 14u);
  EXPECT_EQ(stream.position(), 26u);
  ASSERT_EQ(stream.Read(out, got), Error::kNone);
  EXPECT_EQ(got, 0u);
  // Going on into a cabinet that was never read, or before this part is used up.
  Cabinet unread;
  EXPECT_EQ(stream.Continue(source, unread), Error::kCorruptCabinet);
  ASSERT_EQ(stream.Open(source, cabinet, 0), Error::kNone);
  EXPECT_EQ(stream.Continue(source, cabinet), Error::kCorruptCabinet);
  const SetMember member{&source, &unread};
  CollectingSink sink;
  EXPECT_EQ(ExtractSet(std::span(&member, 1), sink), Error::kCorruptCabinet);
}

// gcab cabinets of several 32 KB blocks, so matches reach back into earlier blocks.
TEST(Extraction, MatchesTheInputOfGcabCabinets) {
  TempDir dir;
  std::mt19937 random(1234);
  std::map<std::string, Bytes> input;
  Bytes noise(100'000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  input["noise.bin"] = noise;
  Bytes words;
  const char* vocabulary[] = {"cabinet ", "folder ", "block ", "history ", "window\r\n"};
  while (words.size() < 300'000) {
    const std::string w = vocabulary[random() % 5];
    words.insert(words.end(), w.begin(), w.end());
  }
  input["words.txt"] = words;
  // Repeats of a random 20 KB piece: matches from one block into the one before.
  Bytes repeats;
  const Bytes piece(noise.begin(), noise.begin() + 20'000);
  for (int i = 0; i < 6; ++i) repeats.insert(repeats.end(), piece.begin(), piece.end());
  input["repeats.bin"] = repeats;
  input["zeros.bin"] = Bytes(70'000, 0);
  input["empty.txt"] = {};
  input["tiny.txt"] = Text("x");
  std::string list;
  for (const auto& [name, bytes] : input) {
    WriteBytes(dir.path() / name, bytes);
    list += " '" + (dir.path() / name).string() + "'";
  }
  for (const char* options : {"-c -z -n", "-c -n"}) {
    SCOPED_TRACE(options);
    const auto cabinet = dir.path() / "made.cab";
    ASSERT_EQ(test::Run(std::string("gcab ") + options + " '" + cabinet.string() + "'" + list), 0);
    const auto reference = Cabextract(cabinet);
    EXPECT_EQ(reference, input);
    LoadedSet set({ReadBytes(cabinet)});
    ASSERT_EQ(set.readResult, Error::kNone);
    const Method method =
        std::string(options).find("-z") != std::string::npos ? Method::kMszip : Method::kStored;
    EXPECT_EQ(set.cabinets[0].folders[0].method(), method);
    EXPECT_GT(set.cabinets[0].folders[0].blockCount, 10);
    CollectingSink sink;
    std::map<std::string, Bytes> files;
    EXPECT_EQ(set.Extract(files, sink), Error::kNone);
    EXPECT_EQ(files, input);
  }
}

// The decoder hands on several MSZIP blocks at once: a file that ends before a damaged block still
// comes whole, the files after it fail.
TEST(Extraction, FilesBeforeADamagedBlockComeWhole) {
  TempDir dir;
  std::mt19937 random(7);
  Bytes first(50'000), second(120'000);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>('a' + i % 23);
  for (auto& b : second) b = static_cast<std::uint8_t>(random() % 16 + 'A');
  WriteBytes(dir.path() / "first.txt", first);
  WriteBytes(dir.path() / "second.txt", second);
  const auto path = dir.path() / "two.cab";
  ASSERT_EQ(test::Run("cd '" + dir.path().string() + "' && gcab -c -z '" + path.string() +
                      "' first.txt second.txt"),
            0);
  LoadedSet set({ReadBytes(path)});
  ASSERT_EQ(set.readResult, Error::kNone);
  const Folder& folder = set.cabinets[0].folders[0];
  ASSERT_GE(folder.blockCount, 5);
  // The last byte of the last block's data.
  std::uint64_t offset = folder.dataOffset;
  for (unsigned b = 0; b + 1 < folder.blockCount; ++b) {
    offset += 8 + (set.images[0][offset + 4] | set.images[0][offset + 5] << 8);
  }
  offset += 8 + (set.images[0][offset + 4] | set.images[0][offset + 5] << 8) - 1;
  set.images[0][offset] ^= 0x10;
  CollectingSink sink;
  EXPECT_EQ(ExtractSet(set.members, sink), Error::kCorruptCabinet);
  ASSERT_EQ(sink.files.size(), 2u);
  EXPECT_EQ((sink.files[{0, 0}].result), Error::kNone);
  EXPECT_EQ((sink.files[{0, 0}].data), first);
  EXPECT_EQ((sink.files[{0, 1}].result), Error::kCorruptCabinet);
}

// Damage anywhere in a cabinet gives an error or (where nothing checks the damaged byte) some
// output, never a fault; the sanitizers watch the reads.
TEST(Extraction, SurvivesCutsAndFlippedBits) {
  TempDir dir;
  std::mt19937 random(99);
  Bytes data(40'000);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(i % 7 == 0 ? random() : 'a' + i % 13);
  }
  WriteBytes(dir.path() / "a.bin", data);
  const auto path = dir.path() / "d.cab";
  ASSERT_EQ(
      test::Run("gcab -c -z -n '" + path.string() + "' '" + (dir.path() / "a.bin").string() + "'"),
      0);
  const Bytes good = ReadBytes(path);
  for (std::size_t n = 0; n < good.size(); n += 97) {
    LoadedSet set({Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))});
    CollectingSink sink;
    if (set.readResult == Error::kNone) {
      EXPECT_NE(ExtractSet(set.members, sink), Error::kNone);
    }
  }
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    bad[random() % bad.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    LoadedSet set({bad});
    if (set.readResult != Error::kNone) continue;
    // Without checksums the decoder itself must catch or survive the damage.
    for (int pass = 0; pass < 2; ++pass) {
      CollectingSink sink;
      (void)ExtractSet(set.members, sink);
      for (const auto& [key, item] : sink.files) EXPECT_TRUE(item.finished);
      if (pass == 0) {
        std::uint64_t offset = set.cabinets[0].folders[0].dataOffset;
        for (unsigned b = 0; b < set.cabinets[0].folders[0].blockCount; ++b) {
          if (offset + 8 > set.images[0].size()) break;
          std::fill_n(set.images[0].begin() + static_cast<std::ptrdiff_t>(offset), 4, 0);
          offset += 8 + (set.images[0][offset + 4] | set.images[0][offset + 5] << 8);
        }
      }
    }
  }
}

}  // namespace
}  // namespace cab
