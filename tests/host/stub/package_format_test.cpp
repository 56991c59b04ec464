// Session information: the self-counting block length, finding the marker line, reading what a
// damaged or cut block holds, licence lines, scrambling and continuation cabinet names.
#include "stub/core/package_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace ombrell {
namespace {

using namespace std::string_literals;

const std::string kMarkerLine = "$PKGBOUND$\r\n";

std::optional<std::size_t> Find(const std::string& bytes) {
  return FindMarker(bytes);
}

SessionInfo Sample() {
  SessionInfo info;
  info.stubLength = 40'960;
  info.libraryLength = 30'123;
  info.packageName = "Sample Tools";
  info.startQuestion = "Install the tools?";
  info.licence = "Licence\r\n\r\nTerms";
  info.endMessage = "Done.";
  info.targetFolder = "$TEMP$";
  info.fileToOpen = "setup.exe";
  info.parameters = "/q";
  info.requiredMegabytes = 12;
  info.password = true;
  info.silent = false;
  for (int i = 0; i < kMessageCount; ++i) info.messages[i] = EnglishMessages()[i];
  return info;
}

// Writes the block, finds it again and reads it back.
SessionInfo RoundTrip(SessionInfo& info, std::string* block = nullptr) {
  const std::string written = WriteSessionInformation(info);
  if (block != nullptr) *block = written;
  const auto at = FindMarker(written);
  EXPECT_EQ(at, std::optional<std::size_t>(2 + kMarkerLine.size()));
  return ReadSessionInformation(std::string_view(written).substr(at.value_or(0)));
}

void ExpectSameValues(const SessionInfo& a, const SessionInfo& b) {
  EXPECT_EQ(a.stubLength, b.stubLength);
  EXPECT_EQ(a.libraryLength, b.libraryLength);
  EXPECT_EQ(a.blockLength, b.blockLength);
  EXPECT_EQ(a.packageName, b.packageName);
  EXPECT_EQ(a.startQuestion, b.startQuestion);
  EXPECT_EQ(a.licence, b.licence);
  EXPECT_EQ(a.endMessage, b.endMessage);
  EXPECT_EQ(a.targetFolder, b.targetFolder);
  EXPECT_EQ(a.fileToOpen, b.fileToOpen);
  EXPECT_EQ(a.parameters, b.parameters);
  EXPECT_EQ(a.requiredMegabytes, b.requiredMegabytes);
  EXPECT_EQ(a.password, b.password);
  EXPECT_EQ(a.silent, b.silent);
  EXPECT_EQ(a.messages, b.messages);
}

TEST(SessionBlock, RoundTripsEveryValue) {
  SessionInfo info = Sample();
  std::string block;
  const SessionInfo read = RoundTrip(info, &block);
  EXPECT_EQ(info.blockLength, block.size());
  ExpectSameValues(read, info);
  EXPECT_EQ(read.CabinetOffset(), 40'960u + 30'123u + block.size());
  EXPECT_EQ(read.RequiredBytes(), 12u * 1024 * 1024);
  EXPECT_TRUE(block.starts_with("\r\n" + kMarkerLine + "40960\r\n30123\r\n"s +
                                std::to_string(block.size()) + "\r\nSample Tools\r\n"));
  EXPECT_NE(block.find("\r\nDone.\r\n$TEMP$\r\nsetup.exe\r\n/q\r\n12\r\nTRUE\r\nFALSE\r\n"
                       "One moment please...\r\n"),
            std::string::npos);
  EXPECT_TRUE(block.ends_with("\r\nUnable to (create and) read from self extraction library.\r\n"));
}

TEST(SessionBlock, LengthCountsItsOwnDigitsAcrossPowersOfTen) {
  // Length of the block without the digits of its length line, for an empty package name.
  SessionInfo base;
  const std::string empty = WriteSessionInformation(base);
  const std::size_t fixedPart = empty.size() - std::to_string(base.blockLength).size();

  const std::vector<std::pair<std::size_t, std::uint64_t>> cases = {
      {996, 999},     {997, 1001},     {998, 1002},     {999, 1003},     {1000, 1004},
      {9995, 9999},   {9996, 10001},   {9997, 10002},   {9998, 10003},   {9999, 10004},
      {99994, 99999}, {99995, 100001}, {99998, 100004}, {99999, 100005},
  };
  for (const auto& [withoutNumber, expected] : cases) {
    SessionInfo info;
    info.stubLength = 7;
    info.libraryLength = 5;
    info.packageName.assign(withoutNumber - fixedPart, 'n');
    std::string block;
    const SessionInfo read = RoundTrip(info, &block);
    EXPECT_EQ(info.blockLength, expected) << withoutNumber;
    EXPECT_EQ(block.size(), expected) << withoutNumber;
    EXPECT_EQ(read.blockLength, expected) << withoutNumber;
    // The cabinet begins exactly where the block ends.
    const std::string file = std::string(7, 'S') + std::string(5, 'L') + block + "MSCF";
    const auto at = FindMarker(file);
    ASSERT_TRUE(at.has_value());
    const SessionInfo fromFile = ReadSessionInformation(std::string_view(file).substr(*at));
    EXPECT_EQ(file.substr(fromFile.CabinetOffset()), "MSCF") << withoutNumber;
    EXPECT_EQ(fromFile.packageName.size(), withoutNumber - fixedPart);
  }
}

TEST(SessionBlock, EmptyLicenceIsOneEmptyLine) {
  SessionInfo info;
  info.startQuestion = "Q";
  std::string block;
  const SessionInfo read = RoundTrip(info, &block);
  EXPECT_NE(block.find("\r\nQ\r\n\r\n\0$VORTA$\0\r\n"s), std::string::npos);
  EXPECT_EQ(read.licence, "");
  EXPECT_EQ(read.startQuestion, "Q");

  // No licence line at all before the terminator reads the same.
  const SessionInfo none =
      ReadSessionInformation("1\r\n2\r\n3\r\nName\r\nQ\r\n\0$VORTA$\0\r\nEnd\r\n"s);
  EXPECT_EQ(none.licence, "");
  EXPECT_EQ(none.endMessage, "End");
}

TEST(SessionBlock, LicenceLinesJoinWithCrLf) {
  struct Case {
    std::string written;
    std::string read;
  };
  const std::vector<Case> cases = {
      {"One\r\n\r\nThree", "One\r\n\r\nThree"},  // blank line kept, no CR LF after the last
      {"One\nTwo", "One\r\nTwo"},                // lone LF accepted
      {"Trailing\r\n", "Trailing\r\n"},          // an empty last line
      {"\r\n", "\r\n"},                          // two empty lines
      {"Ends in CR\r", "Ends in CR\r"},          // only the CR of a line end is dropped
      {"CR\r\r\nLF", "CR\r\r\nLF"},
      {"Nul\0byte"s, "Nulbyte"},                        // NUL bytes are left out ...
      {"a\r\n\0$VORTA$\0\r\nb"s, "a\r\n$VORTA$\r\nb"},  // ... so no line ends the licence early
  };
  for (const Case& c : cases) {
    SessionInfo info;
    info.licence = c.written;
    info.endMessage = "End";
    const SessionInfo read = RoundTrip(info);
    EXPECT_EQ(read.licence, c.read) << c.written;
    EXPECT_EQ(read.endMessage, "End") << c.written;
  }
}

TEST(SessionBlock, LineBreaksInOneLineValuesDoNotShiftLaterLines) {
  SessionInfo info;
  info.packageName = "Two\r\nLines";
  info.endMessage = "\nTRUE\n";
  info.messages[0] = "A\rB";  // a lone CR breaks a box text: kept
  info.messages[1] = "ends in CR\r";
  info.silent = false;
  const SessionInfo read = RoundTrip(info);
  EXPECT_EQ(read.packageName, "Two Lines");
  EXPECT_EQ(read.endMessage, " TRUE ");
  EXPECT_FALSE(read.silent);
  EXPECT_EQ(read.Message(1), "A\rB");
  EXPECT_EQ(read.Message(2), "ends in CR\r");
  EXPECT_EQ(read.Message(3), "");
}

TEST(SessionBlock, CutBlocksReadDefaultsForWhatIsMissing) {
  SessionInfo info = Sample();
  const std::string block = WriteSessionInformation(info);
  const std::string_view after = std::string_view(block).substr(2 + kMarkerLine.size());
  for (std::size_t cut = 0; cut <= after.size(); ++cut) {
    const SessionInfo read = ReadSessionInformation(after.substr(0, cut));
    // Every value is the written one, cut short, or empty.
    ASSERT_TRUE(info.packageName.starts_with(read.packageName)) << cut;
    // (a licence cut inside its terminator line runs to the end)
    ASSERT_TRUE((info.licence + "\r\n" + std::string(kLicenceTerminator)).starts_with(read.licence))
        << cut;
    ASSERT_TRUE(info.Message(56).starts_with(read.Message(56))) << cut;
    ASSERT_LE(read.requiredMegabytes, 12u) << cut;
  }
  // Cut after the start question: the licence and everything after it are empty.
  const std::size_t question = after.find("Install the tools?\r\n") + 20;
  const SessionInfo early = ReadSessionInformation(after.substr(0, question));
  EXPECT_EQ(early.stubLength, 40'960u);
  EXPECT_EQ(early.startQuestion, "Install the tools?");
  EXPECT_EQ(early.licence, "");
  EXPECT_FALSE(early.password);
  EXPECT_EQ(early.requiredMegabytes, 0u);
  EXPECT_EQ(early.Message(1), "");

  // Without its terminator the licence takes the rest and every later value is empty.
  const std::string noTerminator = "1\r\n2\r\n3\r\nN\r\nQ\r\nL1\r\nL2\r\nTRUE\r\n";
  const SessionInfo open = ReadSessionInformation(noTerminator);
  EXPECT_EQ(open.licence, "L1\r\nL2\r\nTRUE");
  EXPECT_EQ(open.endMessage, "");
  EXPECT_FALSE(open.password);
  EXPECT_FALSE(open.silent);

  const SessionInfo nothing = ReadSessionInformation("");
  EXPECT_EQ(nothing.CabinetOffset(), 0u);
  EXPECT_EQ(nothing.licence, "");
}

TEST(SessionBlock, NumbersTakeLeadingDigitsAndStayInRange) {
  const auto read = [](std::string_view s, std::string_view l, std::string_view b,
                       std::string_view mb) {
    std::string text;
    for (const std::string_view part : {s, l, b}) text += std::string(part) + "\r\n";
    text += "\r\n\r\n\r\n\0$VORTA$\0\r\n\r\n\r\n\r\n\r\n"s + std::string(mb) + "\r\n";
    return ReadSessionInformation(text);
  };
  SessionInfo info = read("12abc", "x7", "-5", " 3");
  EXPECT_EQ(info.stubLength, 12u);
  EXPECT_EQ(info.libraryLength, 0u);
  EXPECT_EQ(info.blockLength, 0u);
  EXPECT_EQ(info.requiredMegabytes, 0u);

  info = read("4294967295", "4294967296", "9223372036854775807", "17592186044415");
  EXPECT_EQ(info.stubLength, 4'294'967'295u);
  EXPECT_EQ(info.libraryLength, 4'294'967'295u);  // lengths are 32-bit
  EXPECT_EQ(info.blockLength, 9'223'372'036'854'775'807u);
  EXPECT_EQ(info.RequiredBytes(), 17'592'186'044'415u << 20);

  // Too large for its value: the largest one. The offset and the byte count cannot wrap.
  info = read("99999999999999999999999", "18446744073709551616", "18446744073709551615",
              "18446744073709551615");
  EXPECT_EQ(info.blockLength, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
  EXPECT_GT(info.CabinetOffset(), info.blockLength);
  EXPECT_EQ(info.RequiredBytes(), std::numeric_limits<std::uint64_t>::max() & ~0xFFFFFull);
}

TEST(SessionBlock, FlagsAreExactlyTrue) {
  for (const auto& [text, expected] : std::vector<std::pair<std::string, bool>>{
           {"TRUE", true}, {"true", false}, {"TRUE ", false}, {"1", false}, {"", false}}) {
    const std::string block = "1\r\n2\r\n3\r\n\r\n\r\n\r\n\0$VORTA$\0\r\n\r\n\r\n\r\n\r\n0\r\n"s +
                              text + "\r\n" + text + "\r\n";
    const SessionInfo info = ReadSessionInformation(block);
    EXPECT_EQ(info.password, expected) << text;
    EXPECT_EQ(info.silent, expected) << text;
  }
}

TEST(SessionBlock, ReadsNoFurtherThanItsLimit) {
  // A licence without terminator longer than the limit stops at the limit.
  const std::string head = "1\r\n2\r\n3\r\nN\r\nQ\r\n";
  const std::string longLine(kSessionReadLimit, 'x');
  const SessionInfo read = ReadSessionInformation(head + longLine + "\r\n\0$VORTA$\0\r\nEnd\r\n"s);
  EXPECT_EQ(read.licence.size(), kSessionReadLimit - head.size());
  EXPECT_EQ(read.endMessage, "");

  // A block that just fits is read whole.
  SessionInfo info;
  info.licence.assign(kSessionReadLimit - 200, 'y');
  std::string block;
  SessionInfo fits = RoundTrip(info, &block);
  ASSERT_LE(block.size() - 14, kSessionReadLimit);
  EXPECT_EQ(fits.licence, info.licence);
}

TEST(Marker, MatchesOnlyAWholeLine) {
  EXPECT_EQ(Find(""), std::nullopt);
  EXPECT_EQ(Find("no marker here\r\n"), std::nullopt);
  EXPECT_EQ(Find("x\nX$PKGBOUND$\r\n"), std::nullopt);  // inside a longer line
  EXPECT_EQ(Find("x\n$PKGBOUND$X\r\n"), std::nullopt);
  EXPECT_EQ(Find("x\n$PKGBOUND$\n"), std::nullopt);  // no CR
  EXPECT_EQ(Find("x\n$PKGBOUND$ \n"), std::nullopt);
  EXPECT_EQ(Find("x\n$PKGBOUND$\r\r\n"), std::nullopt);
  EXPECT_EQ(Find("x\n$PKGBOUND$\r"), std::nullopt);  // line not ended
  EXPECT_EQ(Find("x\n$pkgbound$\r\n"), std::nullopt);
  EXPECT_EQ(Find("\0$PKGBOUND$\r\n"s), std::nullopt);  // a NUL is no line start
  EXPECT_EQ(Find("$PKGBOUND$\r\n1\r\n"), 12u);         // first line of the file
  EXPECT_EQ(Find("ab\r\n$PKGBOUND$\r\n1"), 16u);
  EXPECT_EQ(Find("\n\n$PKGBOUND$\r\n"), 14u);
  // The first whole line wins, after lines that merely contain the marker.
  EXPECT_EQ(Find("$PKGBOUND$$PKGBOUND$\r\n\n$PKGBOUND$\r\n..\n$PKGBOUND$\r\n"), 35u);
}

TEST(Marker, IsLookedForOnlyInTheScanLength) {
  // The marker line's LF as the last byte looked at, and one byte later.
  std::string head(kMarkerScanLength - kMarkerLine.size(), 'z');
  head.back() = '\n';
  EXPECT_EQ(Find(head + kMarkerLine), kMarkerScanLength);
  EXPECT_EQ(Find("z" + head + kMarkerLine), std::nullopt);
  // A long run of lines costs no more than one pass.
  std::string lines;
  for (int i = 0; i < 200'000; ++i) lines += "$PKGBOUND\r\n";
  EXPECT_EQ(Find(lines), std::nullopt);
}

TEST(Scramble, PackageKeyRepeatsOverEachCabinetFile) {
  EXPECT_EQ(PackageKey("ab"), "\x9e\x9d");
  EXPECT_EQ(PackageKey(""), "");

  // A one-byte password scrambles every byte with the same key byte.
  std::string data = "MSCF\0\0\0\0 cabinet bytes"s;
  const std::string plain = data;
  const std::string one = PackageKey("p");
  Scramble(data, one, 0);
  for (std::size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(static_cast<char>(data[i] ^ plain[i]), one[0]) << i;
  }
  Scramble(data, one, 12'345);  // any offset: the same byte
  EXPECT_EQ(data, plain);

  // The first byte of each cabinet file is scrambled with K[0]; the key's zero byte (password
  // byte 0xFF) leaves its positions unchanged.
  const std::string key = PackageKey("se\xffret"s);
  std::string cabinet = plain;
  Scramble(cabinet, key, 0);
  EXPECT_EQ(static_cast<char>(cabinet[0] ^ plain[0]), key[0]);
  EXPECT_EQ(cabinet[2], plain[2]);
  EXPECT_EQ(cabinet[8], plain[8]);
  EXPECT_NE(cabinet[1], plain[1]);

  // Scrambling in pieces at their offsets gives the whole; unscrambling is the same operation.
  for (std::size_t split = 0; split <= plain.size(); ++split) {
    std::string pieces = plain;
    std::span<char> all(pieces);
    Scramble(all.first(split), key, 0);
    Scramble(all.subspan(split), key, split);
    ASSERT_EQ(pieces, cabinet) << split;
    Scramble(all.subspan(split), key, split);
    Scramble(all.first(split), key, 0);
    ASSERT_EQ(pieces, plain) << split;
  }
  // An offset past 32 bits still picks the right key byte.
  std::string far = "abc";
  Scramble(far, key, 6ull * 1'000'000'007ull);
  std::string near = "abc";
  Scramble(near, key, 0);
  EXPECT_EQ(far, near);

  std::string unchanged = plain;
  Scramble(unchanged, "", 5);
  EXPECT_EQ(unchanged, plain);
}

TEST(ContinuationCabinet, NameFollowsThePackageName) {
  EXPECT_EQ(ContinuationCabinetName("Tools.exe", 2), "Tools2.cab");
  EXPECT_EQ(ContinuationCabinetName("Tools.exe", 10), "Tools10.cab");
  EXPECT_EQ(ContinuationCabinetName("Tools.exe", 11), "Tools11.cab");
  EXPECT_EQ(ContinuationCabinetName("Tools", 3), "Tools3.cab");
  EXPECT_EQ(ContinuationCabinetName("my.tools.exe", 2), "my.tools2.cab");
  EXPECT_EQ(ContinuationCabinetName("C:\\pkg\\Tools.EXE", 2), "C:\\pkg\\Tools2.cab");
  // A dot in a folder name is not the extension.
  EXPECT_EQ(ContinuationCabinetName("C:\\v1.2\\Tools", 2), "C:\\v1.2\\Tools2.cab");
  EXPECT_EQ(ContinuationCabinetName("C:/v1.2/Tools", 4294967295u), "C:/v1.2/Tools4294967295.cab");
  EXPECT_EQ(ContinuationCabinetName("", 2), "2.cab");
}

TEST(EnglishMessages, TableIsComplete) {
  const auto& messages = EnglishMessages();
  for (const std::string_view message : messages) EXPECT_FALSE(message.empty());
  EXPECT_EQ(messages[0], "One moment please...");
  EXPECT_EQ(messages[11], "Free bytes required: ");
  EXPECT_EQ(messages[26], "Unknown error!");
  EXPECT_EQ(messages[33], "An error has occured:");
  EXPECT_EQ(messages[34], "An unrecoverable error has occured:");
  EXPECT_EQ(messages[41],
            "The cabinet has most likely been damaged, please obtain a new copy of this cabinet "
            "and try again.");
  EXPECT_EQ(messages[53], "N&o to All");
  EXPECT_EQ(messages[55], "Unable to (create and) read from self extraction library.");
}

}  // namespace
}  // namespace ombrell
