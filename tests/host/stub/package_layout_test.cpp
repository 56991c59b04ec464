// A whole package file laid out in memory: stub image, compressed library, session information
// and a scrambled first cabinet, found again the way the stub finds them.
#include <gtest/gtest.h>

#include <string>

#include "stub/core/package_format.h"

namespace ombrell {
namespace {

using namespace std::string_literals;

// A stub image holds the marker text among its constants, but never as a line of its own.
std::string FakeStub(std::size_t size) {
  std::string stub = "MZ\x90\0"s + "\0$PKGBOUND$\0\r\n$PKGBOUND$ \r\n"s;
  while (stub.size() < size) stub += static_cast<char>('A' + stub.size() % 26);
  if (stub.size() % 7 == 0) stub += '\n';
  stub.resize(size);
  return stub;
}

TEST(PackageLayout, CabinetFoundAfterSessionInformation) {
  const std::string cabinet = "MSCF\0\0\0\0 first cabinet payload"s;
  for (const std::size_t stubSize : {std::size_t{64}, std::size_t{40'960}}) {
    const std::string stub = FakeStub(stubSize);
    const std::string library =
        "SZDD\x88\xf0\x27\x33"
        "A\0\x10\0\0\0compressed"s;

    SessionInfo info;
    info.stubLength = stub.size();
    info.libraryLength = library.size();
    info.packageName = "Tools";
    info.licence = "Line 1\r\nLine 2";
    info.password = true;
    for (int i = 0; i < kMessageCount; ++i) info.messages[i] = EnglishMessages()[i];
    const std::string key = PackageKey("pw");
    std::string scrambled = cabinet;
    Scramble(scrambled, key, 0);
    const std::string file = stub + library + WriteSessionInformation(info) + scrambled;

    const auto at = FindMarker(file);
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(*at, stub.size() + library.size() + 2 + 12);
    const SessionInfo read = ReadSessionInformation(std::string_view(file).substr(*at));
    EXPECT_EQ(read.stubLength, stub.size());
    EXPECT_EQ(read.libraryLength, library.size());
    EXPECT_EQ(file.substr(read.stubLength, read.libraryLength), library);
    EXPECT_EQ(read.CabinetOffset(), file.size() - cabinet.size());
    EXPECT_EQ(read.licence, "Line 1\r\nLine 2");
    EXPECT_TRUE(read.password);
    EXPECT_EQ(read.Message(43), EnglishMessages()[42]);

    // The stub reads the cabinet in pieces, unscrambling each at its offset in the cabinet.
    std::string found = file.substr(read.CabinetOffset());
    std::span<char> bytes(found);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 5) {
      const std::span<char> piece =
          bytes.subspan(offset, std::min<std::size_t>(5, bytes.size() - offset));
      Scramble(piece, key, offset);
    }
    EXPECT_EQ(found, cabinet);
  }
}

}  // namespace
}  // namespace ombrell
