// Checks on the shipped 32-bit programs as files: they are PE32 images with
// nothing behind their last section (anything there would be taken for an
// overlay), tvl.dll exports its entry point by its plain name, and the
// package stub fits the head of a package.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/core/pe_image.h"

namespace tavrel {
namespace {

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 4 > b.size()) throw std::out_of_range("past the file");
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 2 > b.size()) throw std::out_of_range("past the file");
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Pe32 {
  std::vector<std::uint8_t> bytes;
  std::size_t nt = 0;

  explicit Pe32(const std::filesystem::path& path)
      : bytes(ReadAll(path)), nt(Read32(bytes, 0x3C)) {}
  std::uint16_t Machine() const { return Read16(bytes, nt + 4); }
  std::uint16_t OptionalMagic() const { return Read16(bytes, nt + 24); }

  // File offset of a relative virtual address, through the section table.
  std::size_t Offset(std::uint32_t rva) const {
    const std::size_t table = nt + 24 + kOptionalHeader32Size;
    for (std::size_t i = 0; i < Read16(bytes, nt + 6); ++i) {
      const std::size_t s = table + 40 * i;
      const std::uint32_t va = Read32(bytes, s + 12), size = Read32(bytes, s + 16);
      if (rva >= va && rva < va + size) return Read32(bytes, s + 20) + (rva - va);
    }
    throw std::out_of_range("address outside every section");
  }

  std::vector<std::string> ExportNames() const {
    const std::uint32_t exportRva = Read32(bytes, nt + 24 + 96);
    const std::size_t dir = Offset(exportRva);
    std::vector<std::string> names;
    const std::size_t nameTable = Offset(Read32(bytes, dir + 32));
    for (std::uint32_t i = 0; i < Read32(bytes, dir + 24); ++i) {
      names.emplace_back(
          reinterpret_cast<const char*>(&bytes[Offset(Read32(bytes, nameTable + 4 * i))]));
    }
    return names;
  }
};

const std::filesystem::path kBin = TAVREL_WIN32_BIN;

TEST(Deliverables, ProgramsArePe32WithoutTrailingData) {
  for (const char* name : {"tvlstub.exe", "tvl.dll", "ombrstub.exe", "ombrwiz.exe"}) {
    const auto path = kBin / name;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "win32 tree not built: " << path;
    const Pe32 image(path);
    EXPECT_EQ(image.Machine(), 0x14c) << name;        // i386
    EXPECT_EQ(image.OptionalMagic(), 0x10b) << name;  // PE32
    EXPECT_EQ(ImageEnd(image.bytes), image.bytes.size()) << name;
  }
}

TEST(Deliverables, ArchiveLibraryExportsItsPlainName) {
  const auto path = kBin / "tvl.dll";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "win32 tree not built";
  const auto names = Pe32(path).ExportNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "ExtractArchive"), names.end());
}

// The package stub heads every package: it must stay small enough for the
// compressed cabinet library to follow it within the reader's limits, and
// it must never hold the package marker as a line of its own, or the stub
// would find it inside itself.
TEST(Deliverables, PackageStubIsSmallAndHoldsNoMarkerLine) {
  const auto path = kBin / "ombrstub.exe";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "win32 tree not built";
  const Pe32 image(path);
  EXPECT_LE(image.bytes.size(), 48u * 1024u);
  const std::string bytes(image.bytes.begin(), image.bytes.end());
  const std::string markerLine = std::string("\n$PKG") + "BOUND$\r\n";
  EXPECT_EQ(bytes.find(markerLine), std::string::npos);
  EXPECT_NE(bytes.rfind(std::string("$PKG") + "BOUND$\r\n", 0), 0u);
}

// Every package starts with the stub and the compressed cabinet library;
// the package marker line must end within the first 102,401 bytes.
TEST(Deliverables, StubAndCompressedLibraryFitThePackageHead) {
  const auto stub = kBin / "ombrstub.exe";
  const auto library = kBin / "cabinet.dl_";
  if (!std::filesystem::exists(stub) || !std::filesystem::exists(library)) {
    GTEST_SKIP() << "win32 tree not built";
  }
  const auto compressed = ReadAll(library);
  ASSERT_GE(compressed.size(), 14u);
  EXPECT_EQ(std::string(compressed.begin(), compressed.begin() + 8),
            std::string("SZDD\x88\xf0\x27\x33", 8));
  EXPECT_EQ(compressed[8], 'A');
  EXPECT_EQ(compressed[9], 'l');  // cabinet.dl_ stands for cabinet.dll
  EXPECT_EQ(Read32(compressed, 10), std::filesystem::file_size(kBin / "../cabinet/cabinet.dll"));
  EXPECT_LE(std::filesystem::file_size(stub) + compressed.size() + 14, 102'401u);
  // Both are downloaded with every package: together they stay within 56 KB.
  EXPECT_LE(std::filesystem::file_size(stub) + compressed.size(), 56u * 1024u);
}

}  // namespace
}  // namespace tavrel
