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

  // The header packed with LZMA, as 7z writes it unless told otherwise.
  const Bytes packed_header = testing::Make7z(dir("src"), dir("h.7z"), "-m0=Copy -mhc=on -mhe=off");
  std::size_t header_at = 32;
  for (int i = 0; i < 8; ++i) header_at += std::size_t{packed_header[12 + i]} << (8 * i);
  ASSERT_EQ(packed_header.at(header_at), 0x17);  // kEncodedHeader
  ASSERT_TRUE(ExtractToDisk(packed_header, dir("packed")).ok());
  EXPECT_EQ(testing::Snapshot(dir("packed")), Tree());

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

  // Built from scratch, with a harmless entry ahead of the bad one. A file with content named
  // "." would have to replace the destination folder itself.
  for (const std::u16string_view name :
       {u"\\abs", u"\\\\server\\share\\x", u"d:x", u"a/../../x", u"..", u"a/ . /b", u"LPT1",
        u"aux.tar.gz", u"a/file::$DATA", u".", u"./."}) {
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
    const char* message;  // part of what the caller is told
  } made[] = {
      {"-m0=Swap4 -mhc=off", "method 020304"},
      {"-m0=Copy -mhc=off -psecret", "encrypted"},
      {"-m0=Copy -psecret -mhe=on", "encrypted"},       // the header itself is encrypted
      {"-m0=BCJ -m1=Swap4 -mhc=off", "method 020304"},  // a chain with one unknown member
  };
  for (const auto& m : made) {
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), m.switches);
    const Status status = ExtractToDisk(image, dir("out"));
    EXPECT_EQ(status.code(), ErrorCode::kUnsupported) << m.switches << ": " << status.message();
    EXPECT_NE(status.message().find(m.message), std::string::npos) << status.message();
    EXPECT_FALSE(fs::exists(dir("out"))) << m.switches;
  }

  testing::MemorySink sink;
  const Bytes anti =
      testing::BuildArchive({{u"gone", TestEntry::kEmptyFile, ""}}, {.anti_empty_entries = true});
  EXPECT_EQ(ExtractToMemory(anti, sink).code(), ErrorCode::kUnsupported);
  EXPECT_FALSE(sink.touched());
}

// Keeps what the extraction says about each file besides its bytes.
class InfoSink final : public ExtractSink {
 public:
  bool PrepareRoot() override { return true; }
  bool CreateFolder(std::string_view) override { return true; }
  std::unique_ptr<FileWriter> BeginFile(std::string_view path) override {
    return std::make_unique<Writer>(*this, std::string(path));
  }
  std::map<std::string, FileInfo> infos;

 private:
  class Writer final : public FileWriter {
   public:
    Writer(InfoSink& sink, std::string path) : sink_(sink), path_(std::move(path)) {}
    bool Write(std::span<const std::byte>) override { return true; }
    void SetInfo(const FileInfo& info) override { info_ = info; }
    bool Commit() override {
      sink_.infos[path_] = info_;
      return true;
    }

   private:
    InfoSink& sink_;
    std::string path_;
    FileInfo info_;
  };
};

TEST_F(ArchiveExtractorTest, HandsStoredAttributesAndTimesToTheSink) {
  WriteTree(dir("src"), {{"plain.txt", "p"}, {"locked.txt", "l"}, {"empty.txt", ""}});
  fs::permissions(dir("src") / "locked.txt",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(dir("src") / "plain.txt", when);
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), kCopy);
  fs::permissions(dir("src") / "locked.txt", fs::perms::owner_write, fs::perm_options::add);

  InfoSink sink;
  MemoryByteSource source{std::span<const std::uint8_t>(image)};
  ASSERT_TRUE(ExtractArchive(source, sink).ok());
  ASSERT_EQ(sink.infos.size(), 3u);
  for (const auto& [name, info] : sink.infos) {
    ASSERT_TRUE(info.attributes && info.mtime) << name;
    EXPECT_EQ(*info.attributes & 1u, name == "locked.txt" ? 1u : 0u) << name;  // read-only
  }
  // FILETIME of the plain file: 400 days back, to the second.
  const auto unix_seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(when).time_since_epoch());
  const std::uint64_t filetime =
      (static_cast<std::uint64_t>(unix_seconds.count()) + 11644473600ull) * 10000000ull;
  const std::uint64_t stored = *sink.infos["plain.txt"].mtime;
  EXPECT_LT(stored > filetime ? stored - filetime : filetime - stored, 20000000ull);
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

namespace tvl {
namespace {

// Sets the dictionary of the archive's (plain-header) LZMA coder and repairs the header CRCs.
Bytes WithLzmaDictionary(Bytes image, std::uint32_t dictionary) {
  const std::uint8_t coder[] = {0x23, 0x03, 0x01, 0x01, 0x05};
  const auto at = std::search(image.begin(), image.end(), std::begin(coder), std::end(coder));
  EXPECT_NE(at, image.end());
  if (at == image.end()) return image;
  auto props = at + 6;  // past the lc/lp/pb byte
  for (int i = 0; i < 4; ++i) props[i] = static_cast<std::uint8_t>(dictionary >> (8 * i));
  auto read64 = [&](std::size_t offset) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | image[offset + static_cast<std::size_t>(i)];
    return v;
  };
  auto write32 = [&](std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      image[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const std::size_t header = 32 + static_cast<std::size_t>(read64(12));
  const std::size_t size = static_cast<std::size_t>(read64(20));
  write32(28, Crc32::Of(std::span<const std::uint8_t>(image).subspan(header, size)));
  write32(8, Crc32::Of(std::span<const std::uint8_t>(image).subspan(12, 20)));
  return image;
}

TEST_F(ArchiveExtractorTest, DictionariesAre256MiBAtMostAndSizedToTheirFolder) {
  WriteTree(dir("src"), SmallTree());
  const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), "-m0=LZMA -mhc=off");
  // 256 MiB declared for a few bytes of output: allowed, and held no larger than the output.
  testing::MemorySink fits;
  EXPECT_TRUE(ExtractToMemory(WithLzmaDictionary(image, 256u << 20), fits).ok());
  EXPECT_EQ(fits.files.size(), 4u);
  // 512 MiB is refused before anything is written.
  testing::MemorySink refused;
  const Status status = ExtractToMemory(WithLzmaDictionary(image, 512u << 20), refused);
  EXPECT_EQ(status.code(), ErrorCode::kUnsupported) << status.message();
  EXPECT_FALSE(refused.touched());
}

}  // namespace
}  // namespace tvl

namespace tvl {
namespace {

// The archives setup authors make with the 7z tool's usual switches, over programs, text,
// random data, empty files and nested folders: every one extracts to the very same tree.
TEST_F(ArchiveExtractorTest, EveryUsualSevenZipOptionRoundTrips) {
  auto tree = Tree();
  const Bytes program = testing::ReadFileBytes("/usr/bin/true");
  tree["bin"] = "<dir>";
  tree["docs"] = "<dir>";
  tree["bin/true.exe"] = std::string(program.begin(), program.end());
  std::string text;
  for (int i = 0; text.size() < 200'000; ++i) {
    text += "line " + std::to_string(i % 977) + " of text\n";
  }
  tree["docs/text.txt"] = text;
  tree["docs/random.bin"] = testing::RandomData(100'000, 9);
  WriteTree(dir("src"), tree);
  for (const char* switches :
       {"-mx0", "-mx1", "-mx5", "-mx9", "-ms=on", "-ms=off", "-mf=BCJ2", "-m0=LZMA", "-m0=LZMA2"}) {
    SCOPED_TRACE(switches);
    fs::remove_all(dir("out"));
    fs::remove(dir("t.7z"));
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), switches);
    const Status status = ExtractToDisk(image, dir("out"));
    ASSERT_TRUE(status.ok()) << status.message();
    const auto found = testing::Snapshot(dir("out"));
    EXPECT_TRUE(found == tree);
    for (const auto& [name, content] : tree) {
      const auto it = found.find(name);
      EXPECT_TRUE(it != found.end() && it->second == content) << name;
    }
  }
}

}  // namespace
}  // namespace tvl

namespace tvl {
namespace {

// Folders of more than a MiB are decompressed in a second thread, ahead of the writes. Its
// output, its errors and a stop asked for halfway must reach the caller as they do without it:
// in order, as a clear failure, and with no file left holding wrong data.
TEST_F(ArchiveExtractorTest, LargeFoldersDecodedAheadKeepTheirOrderAndFailCleanly) {
  std::map<std::string, std::string> tree;
  const Bytes program = testing::ReadFileBytes("/usr/bin/bash");  // over a MiB of x86 code
  tree["bin.exe"] = std::string(program.begin(), program.end());
  std::string text;
  for (int i = 0; text.size() < 300'000; ++i) {
    text += "entry " + std::to_string(i % 4999) + " of the list, line " + std::to_string(i) + "\n";
  }
  tree["text.txt"] = text;
  tree["random.bin"] = testing::RandomData(400'000, 11);
  WriteTree(dir("src"), tree);
  for (const char* switches : {"-m0=LZMA2 -mx1", "-m0=LZMA2 -mx1 -mf=BCJ2", "-m0=BZip2 -mx1"}) {
    SCOPED_TRACE(switches);
    fs::remove(dir("t.7z"));
    const Bytes image = testing::Make7z(dir("src"), dir("t.7z"), switches);
    testing::MemorySink whole;
    const Status status = ExtractToMemory(image, whole);
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_TRUE(whole.files == tree);

    // Damage in the middle of the packed data: an error, and no wrong file.
    for (const std::size_t at : {image.size() / 3, image.size() / 2}) {
      Bytes bad = image;
      bad[at] ^= 0x10;
      testing::MemorySink sink;
      const Status damaged = ExtractToMemory(bad, sink);
      EXPECT_EQ(damaged.code(), ErrorCode::kCorrupt) << at << ": " << damaged.message();
      ExpectOnlyCorrectFiles(sink.files, tree);
      EXPECT_EQ(sink.begun, static_cast<int>(sink.files.size()) + sink.discarded);
    }

    // A stop halfway ends the extraction at once, with the decoding thread still running.
    testing::MemorySink stopped;
    const Status aborted = ExtractToMemory(
        image, stopped,
        [](std::string_view, std::uint64_t done, std::uint64_t total) { return done < total / 2; });
    EXPECT_EQ(aborted.code(), ErrorCode::kAborted);
    ExpectOnlyCorrectFiles(stopped.files, tree);
  }
}

}  // namespace
}  // namespace tvl
