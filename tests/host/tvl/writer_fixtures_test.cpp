// Archives written by three independent 7z writers (7-Zip's 7zz, libarchive's bsdtar, py7zr),
// with every method and branch filter each offers: all must come back byte for byte. The
// fixtures and the tree they hold are made by fixtures/make_fixtures.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tvl/core/archive_extractor.h"
#include "tvl_test_support.h"

namespace tvl {
namespace {

namespace fs = std::filesystem;

TEST(WriterFixtures, EveryWritersArchiveComesBackExactly) {
  const fs::path fixtures = TVL_FIXTURES_DIR;
  const auto expected = testing::Snapshot(fixtures / "tree");
  ASSERT_EQ(expected.size(), 5u);
  std::vector<fs::path> archives;
  for (const auto& item : fs::directory_iterator(fixtures / "archives")) {
    archives.push_back(item.path());
  }
  // A lost fixture folder must not pass as "nothing to check".
  ASSERT_GE(archives.size(), 29u);
  for (const auto& archive : archives) {
    SCOPED_TRACE(archive.filename().string());
    testing::ScratchDir out;
    const testing::Bytes bytes = testing::ReadFileBytes(archive);
    MemoryByteSource source(bytes);
    testing::DiskSink sink(out.path());
    const Status status = ExtractArchive(source, sink);
    EXPECT_TRUE(status.ok()) << status.message();
    if (status.ok()) {
      EXPECT_EQ(testing::Snapshot(out.path()), expected);
    }
  }
}

}  // namespace
}  // namespace tvl
