// Whole extractions of archives made by the real 7z tool, and of damaged or hostile ones: the
// output must match the input byte for byte, or nothing wrong may be left behind.
#include "tvl/core/archive_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tvl/core/crc32.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

using testing::Bytes;
using testing::TestEntry;
namespace fs = std::filesystem;

constexpr const char* kCopy = "-m0=Copy -mhc=off";

// The layout every round trip uses; "<dir>" marks a folder.
const std::map<std::string, std::string>& Tree() {
  static const std::map<std::string, std::string> tree = {
      {"a", "<dir>"},
      {"a/b", "<dir>"},
      {"a/b/c", "<dir>"},
      {"a/b/c/deep.txt", "deep\n"},
      {"a/b/buffer-sized.bin", testing::RandomData(kCopyBufferSize, 1)},
      {"a/empty.dat", ""},
      {"a/nested_empty", "<dir>"},
      {"a/nested_empty/inner", "<dir>"},
      {"empty_dir", "<dir>"},
      {"big.bin", testing::RandomData(3 * kCopyBufferSize + 7, 3)},
      {"\xc3\xbcn\xc3\xaf c\xc3\xb6"
       "d\xc3\xa9 \xe2\x82\xac",
       "<dir>"},
      {"\xc3\xbcn\xc3\xaf c\xc3\xb6"
       "d\xc3\xa9 \xe2\x82\xac/\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80.txt",
       "unicode"},
      {"readme.txt", "hello"},
  };
  return tree;
}

std::map<std::string, std::string> SmallTree() {
  return {{"1.txt", "one one one"}, {"2.txt", "two two two"}, {"3.txt", "three three"},
          {"d", "<dir>"},           {"d/e", "<dir>"},         {"d/empty", ""}};
}

void WriteTree(const fs::path& root, const std::map<std::string, std::string>& tree) {
  for (const auto& [name, content] : tree) {
    if (content == "<dir>") {
      fs::create_directories(root / name);
    } else {
      fs::create_directories((root / name).parent_path());
      testing::WriteFileBytes(root / name, content);
    }
  }
}

std::string Slashes(std::string p) {
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

Status ExtractToMemory(const Bytes& image, testing::MemorySink& sink,
                       const ProgressFn& progress = {}) {
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  return ExtractArchive(source, sink, progress);
}

Status ExtractToDisk(const Bytes& image, const fs::path& out, const ProgressFn& progress = {}) {
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  testing::DiskSink sink(out);
  return ExtractArchive(source, sink, progress);
}

// No file may sit under its final name with other content than the archive holds for it, and
// no temporary file may be left at all.
void ExpectOnlyCorrectFiles(const std::map<std::string, std::string>& found,
                            const std::map<std::string, std::string>& expected) {
  for (const auto& [name, content] : found) {
    const auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << "unexpected " << name;
    EXPECT_TRUE(content == it->second) << "wrong content in " << name;
  }
}

class ArchiveExtractorTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_;
  fs::path dir(const char* name) const { return scratch_.path() / name; }
};

TEST_F(ArchiveExtractorTest, ReproducesTheArchivedTreeExactly) {
  WriteTree(dir("src"), Tree());
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  const Status status = ExtractToDisk(image, dir("out"));
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(testing::Snapshot(dir("out")), Tree());

  // Extracting over an earlier result replaces the files.
  testing::WriteFileBytes(dir("out") / "readme.txt", "stale");
  ASSERT_TRUE(ExtractToDisk(image, dir("out")).ok());
  EXPECT_EQ(testing::Snapshot(dir("out")), Tree());

  // Several files in one folder, as compressing writers lay them out.
  const std::vector<TestEntry> entries = {
      {u"s", TestEntry::kDir, ""},
      {u"s/x", TestEntry::kFile, testing::RandomData(kCopyBufferSize + 1, 9)},
      {u"s/empty", TestEntry::kEmptyFile, ""},
      {u"s\\y", TestEntry::kFile, "y"},
      {u"z", TestEntry::kFile, testing::RandomData(100, 10)},
  };
  const Bytes solid = testing::BuildArchive(entries, {.solid = true});
  ASSERT_TRUE(ExtractToDisk(solid, dir("solid")).ok());
  const std::map<std::string, std::string> expected = {{"s", "<dir>"},
                                                       {"s/x", entries[1].data},
                                                       {"s/empty", ""},
                                                       {"s/y", "y"},
                                                       {"z", entries[4].data}};
  EXPECT_EQ(testing::Snapshot(dir("solid")), expected);
}

TEST_F(ArchiveExtractorTest, TruncatedArchivesWriteNothing) {
  WriteTree(dir("src"), SmallTree());
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  for (std::size_t length = 0; length < image.size(); ++length) {
    testing::MemorySink sink;
    const Status status = ExtractToMemory(Bytes(image.begin(), image.begin() + length), sink);
    ASSERT_FALSE(status.ok()) << length;
    ASSERT_FALSE(sink.touched()) << length;
  }
  EXPECT_FALSE(ExtractToDisk(Bytes(image.begin(), image.end() - 1), dir("out")).ok());
  EXPECT_FALSE(fs::exists(dir("out")));
}

TEST_F(ArchiveExtractorTest, FlippedBitsNeverLeaveWrongData) {
  WriteTree(dir("src"), SmallTree());
  std::map<std::string, std::string> expected;
  for (const auto& [name, content] : SmallTree()) {
    if (content != "<dir>") expected[name] = content;
  }
  std::vector<TestEntry> entries;
  for (const auto& [name, content] : expected) {
    entries.push_back({std::u16string(name.begin(), name.end()),
                       content.empty() ? TestEntry::kEmptyFile : TestEntry::kFile, content});
  }
  const Bytes images[] = {testing::Make7z(dir("src"), dir("t.7z"), kCopy),
                          testing::BuildArchive(entries, {.solid = true})};
  for (const Bytes& image : images) {
    for (std::size_t i = 0; i < image.size(); ++i) {
      Bytes bad = image;
      bad[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
      testing::MemorySink sink;
      const Status status = ExtractToMemory(bad, sink);
      // Only the minor format version is outside every checksum, and any minor version reads.
      EXPECT_EQ(status.ok(), i == 7) << "byte " << i << ": " << status.message();
      std::map<std::string, std::string> found;
      for (const auto& [name, content] : sink.files) found[Slashes(name)] = content;
      ExpectOnlyCorrectFiles(found, expected);
      EXPECT_EQ(sink.begun, static_cast<int>(sink.files.size()) + sink.discarded) << i;
    }
  }
}

TEST_F(ArchiveExtractorTest, CorruptDataLeavesNoFileUnderItsFinalName) {
  WriteTree(dir("src"), SmallTree());
  Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  const std::string needle = "two two two";
  const auto at = std::search(image.begin(), image.end(), needle.begin(), needle.end());
  ASSERT_NE(at, image.end());
  at[4] ^= 0x20;

  const Status status = ExtractToDisk(image, dir("out"));
  EXPECT_EQ(status.code(), ErrorCode::kCorrupt) << status.message();
  const auto found = testing::Snapshot(dir("out"));
  EXPECT_EQ(found.count("2.txt"), 0u);
  EXPECT_EQ(found.at("1.txt"), "one one one");  // committed before the damage was reached
  ExpectOnlyCorrectFiles(found, SmallTree());
}

TEST_F(ArchiveExtractorTest, UnsafeNamesRefuseTheWholeArchive) {
  // A real archive whose header is patched: same-length names, CRCs recomputed.
  WriteTree(dir("src"), {{"first.txt", "written first"}, {"zz", "<dir>"}, {"zz/evil.txt", "x"}});
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  const auto utf16 = [](std::u16string_view s) {
    Bytes out;
    for (const char16_t c : s)
      out.insert(out.end(), {std::uint8_t(c & 0xFF), std::uint8_t(c >> 8)});
    return out;
  };
  const Bytes placeholder = utf16(u"zz/evil.txt");
  const auto at = std::search(image.begin(), image.end(), placeholder.begin(), placeholder.end());
  ASSERT_NE(at, image.end());
  ASSERT_TRUE(ExtractToDisk(image, dir("good")).ok());

  for (const std::u16string_view name :
       {u"../evil.txt", u"/z/evil.txt", u"C:/evil.txt", u"zz\\..\\..\\x", u"zz/NUL.evil",
        u"zz/com7.txt", u"zz/evil:ads"}) {
    Bytes bad = image;
    const Bytes replacement = utf16(name);
    std::copy(replacement.begin(), replacement.end(), bad.begin() + (at - image.begin()));
    testing::Reseal(bad);
    const fs::path out = dir("out");
    const Status status = ExtractToDisk(bad, out);
    EXPECT_EQ(status.code(), ErrorCode::kBadName) << status.message();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(scratch_.path() / "evil.txt"));
  }

  // Built from scratch, with a harmless entry ahead of the bad one.
  for (const std::u16string_view name :
       {u"\\abs", u"\\\\server\\share\\x", u"d:x", u"a/../../x", u"..", u"a/ . /b", u"LPT1",
        u"aux.tar.gz", u"a/file::$DATA"}) {
    testing::MemorySink sink;
    const Status status =
        ExtractToMemory(testing::BuildArchive({{u"ok.txt", TestEntry::kFile, "fine"},
                                               {std::u16string(name), TestEntry::kFile, "bad"}}),
                        sink);
    EXPECT_EQ(status.code(), ErrorCode::kBadName) << status.message();
    EXPECT_FALSE(sink.touched());
  }
}

TEST_F(ArchiveExtractorTest, UnsupportedArchivesWriteNothing) {
  WriteTree(dir("src"), SmallTree());
  const struct {
    const char* switches;
  } made[] = {
      {""},                            // LZMA2 data, compressed header
      {"-m0=Copy"},                    // stored data, compressed header
      {"-m0=LZMA -mhc=off"},           // plain header, compressed data
      {"-m0=Copy -mhc=off -psecret"},  // encrypted data
      {"-m0=BCJ -m1=Copy -mhc=off"},   // a filter chain
  };
  for (const auto& m : made) {
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), m.switches);
    const Status status = ExtractToDisk(image, dir("out"));
    EXPECT_EQ(status.code(), ErrorCode::kUnsupported) << m.switches << ": " << status.message();
    EXPECT_FALSE(fs::exists(dir("out"))) << m.switches;
  }

  testing::MemorySink sink;
  const Bytes anti =
      testing::BuildArchive({{u"gone", TestEntry::kEmptyFile, ""}}, {.anti_empty_entries = true});
  EXPECT_EQ(ExtractToMemory(anti, sink).code(), ErrorCode::kUnsupported);
  EXPECT_FALSE(sink.touched());
}

TEST_F(ArchiveExtractorTest, ProgressGrowsToTheTotalAndCanStop) {
  WriteTree(dir("src"), Tree());
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  std::uint64_t sum = 0;
  std::set<std::string> files;
  for (const auto& [name, content] : Tree()) {
    if (content == "<dir>") continue;
    sum += content.size();
    files.insert(name);
  }

  std::uint64_t last = 0;
  std::set<std::string> reported;
  int calls = 0;
  testing::MemorySink sink;
  const Status status = ExtractToMemory(
      image, sink, [&](std::string_view p, std::uint64_t done, std::uint64_t total) {
        ++calls;
        EXPECT_EQ(total, sum);
        EXPECT_GE(done, last);
        EXPECT_LE(done, total);
        last = done;
        reported.insert(Slashes(std::string(p)));
        return true;
      });
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(last, sum);
  EXPECT_EQ(reported, files);
  EXPECT_GT(calls, static_cast<int>(sum / kCopyBufferSize));

  // Stopping in the middle of big.bin: what came before stays, big.bin never appears.
  std::optional<std::uint64_t> big_start;
  const Status stopped =
      ExtractToDisk(image, dir("out"), [&](std::string_view p, std::uint64_t done, std::uint64_t) {
        if (Slashes(std::string(p)) != "big.bin") return true;
        if (!big_start) big_start = done;
        return done < *big_start + 2 * kCopyBufferSize;
      });
  EXPECT_EQ(stopped.code(), ErrorCode::kAborted);
  const auto found = testing::Snapshot(dir("out"));
  EXPECT_EQ(found.count("big.bin"), 0u);
  ExpectOnlyCorrectFiles(found, Tree());

  // Stopping at once: folders may exist, files do not.
  testing::MemorySink first;
  EXPECT_EQ(ExtractToMemory(image, first, [](auto, auto, auto) { return false; }).code(),
            ErrorCode::kAborted);
  EXPECT_TRUE(first.files.empty());
  EXPECT_EQ(first.begun, 0);

  // A sink that cannot start a file is a failure, not a skipped file.
  testing::MemorySink refusing;
  refusing.fail_path = "readme.txt";
  EXPECT_EQ(ExtractToMemory(image, refusing).code(), ErrorCode::kWriteFailed);
  EXPECT_EQ(refusing.files.count("readme.txt"), 0u);
}

}  // namespace
}  // namespace tvl
