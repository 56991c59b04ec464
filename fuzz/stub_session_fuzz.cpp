// Fuzzes the package stub's session information (`stub/core`): the marker
// search over the input, the reader over what follows the marker line (the
// whole input when there is none), then writing what was read and reading
// it again, which must give back every value. The input also serves as the
// writer's values directly (fields split at 0xFF bytes): whatever they hold,
// reading the block back must give them as the writer stores them, so no
// value can shift the lines after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "stub/core/package_format.h"

namespace {

using ombrell::SessionInfo;

constexpr std::size_t kHeadLength = 2 + ombrell::kMarker.size() + 2;  // line 0 and marker line

void Check(bool condition) {
  if (!condition) std::abort();
}

// A one-line value as the writer stores it: each line break becomes a space.
std::string AsOneLine(std::string_view value) {
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    result += value[i] == '\n' ? ' ' : value[i];
  }
  return result;
}

// A licence as the writer stores it: lines split at LF (one CR before it
// dropped), NUL bytes left out, joined by CR LF.
std::string AsLicence(std::string_view licence) {
  std::string result;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = licence.find('\n', start);
    std::string_view line = licence.substr(start, end - start);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    for (const char c : line) {
      if (c != '\0') result += c;
    }
    if (end == std::string_view::npos) return result;
    result += "\r\n";
    start = end + 1;
  }
}

SessionInfo AsStored(const SessionInfo& info) {
  SessionInfo stored = info;
  stored.packageName = AsOneLine(info.packageName);
  stored.startQuestion = AsOneLine(info.startQuestion);
  stored.licence = AsLicence(info.licence);
  stored.endMessage = AsOneLine(info.endMessage);
  stored.targetFolder = AsOneLine(info.targetFolder);
  stored.fileToOpen = AsOneLine(info.fileToOpen);
  stored.parameters = AsOneLine(info.parameters);
  for (std::string& message : stored.messages) message = AsOneLine(message);
  return stored;
}

void CheckSame(const SessionInfo& a, const SessionInfo& b) {
  Check(a.stubLength == b.stubLength);
  Check(a.libraryLength == b.libraryLength);
  Check(a.blockLength == b.blockLength);
  Check(a.packageName == b.packageName);
  Check(a.startQuestion == b.startQuestion);
  Check(a.licence == b.licence);
  Check(a.endMessage == b.endMessage);
  Check(a.targetFolder == b.targetFolder);
  Check(a.fileToOpen == b.fileToOpen);
  Check(a.parameters == b.parameters);
  Check(a.requiredMegabytes == b.requiredMegabytes);
  Check(a.password == b.password);
  Check(a.silent == b.silent);
  Check(a.messages == b.messages);
}

// Writes the values, finds the block's marker line, reads it back.
void CheckRoundTrip(const SessionInfo& info) {
  SessionInfo written = info;
  const std::string block = ombrell::WriteSessionInformation(written);
  Check(written.blockLength == block.size());
  Check(ombrell::FindMarker(block) == kHeadLength);
  // A block longer than the reader looks at cannot come back whole.
  if (block.size() - kHeadLength > ombrell::kSessionReadLimit) return;
  const SessionInfo read =
      ombrell::ReadSessionInformation(std::string_view(block).substr(kHeadLength));
  SessionInfo expected = AsStored(info);
  expected.blockLength = block.size();
  CheckSame(read, expected);
}

std::uint64_t TakeNumber(std::string_view& input, std::uint64_t limit) {
  std::uint64_t value = 0;
  const std::size_t size = input.size() < 8 ? input.size() : 8;
  std::memcpy(&value, input.data(), size);
  input.remove_prefix(size);
  return value % (limit + 1);
}

std::string_view TakeField(std::string_view& input) {
  const std::size_t end = input.find('\xff');
  const std::string_view field = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The input as a package head.
  const auto at = ombrell::FindMarker(input);
  Check(!at || (*at <= input.size() && *at <= ombrell::kMarkerScanLength));
  const SessionInfo read = ombrell::ReadSessionInformation(at ? input.substr(*at) : input);
  Check(read.stubLength <= 0xFFFFFFFFu && read.libraryLength <= 0xFFFFFFFFu);
  Check(read.CabinetOffset() >= read.blockLength);  // no wrap-around
  Check(read.RequiredBytes() / (1024 * 1024) == read.requiredMegabytes);
  CheckRoundTrip(read);

  // The input as the writer's values.
  std::string_view rest = input;
  SessionInfo info;
  info.stubLength = TakeNumber(rest, 0xFFFFFFFFu);
  info.libraryLength = TakeNumber(rest, 0xFFFFFFFFu);
  info.requiredMegabytes = TakeNumber(rest, ~std::uint64_t{0} >> 20);
  const std::uint64_t flags = TakeNumber(rest, 3);
  info.password = (flags & 1) != 0;
  info.silent = (flags & 2) != 0;
  info.packageName = TakeField(rest);
  info.startQuestion = TakeField(rest);
  info.licence = TakeField(rest);
  info.endMessage = TakeField(rest);
  info.targetFolder = TakeField(rest);
  info.fileToOpen = TakeField(rest);
  info.parameters = TakeField(rest);
  for (std::string& message : info.messages) message = TakeField(rest);
  CheckRoundTrip(info);
  return 0;
}
