#include "stub/core/package_format.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace ombrell {

namespace {

// Largest values the reader takes. The stub image and the library are
// 32-bit lengths; the block length stays a valid file offset; the space
// requirement stays countable in bytes. With these bounds neither
// CabinetOffset() nor RequiredBytes() can wrap around.
constexpr std::uint64_t kMaxPieceLength = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxBlockLength = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kMaxMegabytes = std::numeric_limits<std::uint64_t>::max() >> 20;

void AppendDecimal(std::string& out, std::uint64_t value) {
  char digits[20];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

std::uint64_t DigitCount(std::uint64_t value) {
  std::uint64_t count = 1;
  for (; value >= 10; value /= 10) ++count;
  return count;
}

// The leading decimal digits of a line; a line without them reads 0, a
// value above the limit reads as the limit.
std::uint64_t ParseNumber(std::string_view line, std::uint64_t limit) {
  std::uint64_t value = 0;
  for (const char c : line) {
    if (c < '0' || c > '9') break;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return limit;
    value = value * 10 + digit;
  }
  return value;
}

// Lines end at LF, with one CR before it dropped; the last one may lack its
// end (a CR that ends it is a line end cut short, and is dropped too). Past
// the end every line reads empty.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool AtEnd() const { return rest_.empty(); }

  std::string_view Next() {
    const std::size_t end = rest_.find('\n');
    std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

 private:
  std::string_view rest_;
};

// A one-line value: an LF in it would shift every later line, so a line
// break (CR LF or a lone LF) is written as one space.
void AppendLine(std::string& block, std::string_view value) {
  const std::size_t start = block.size();
  for (const char c : value) {
    if (c != '\n') {
      block += c;
    } else if (block.size() > start && block.back() == '\r') {
      block.back() = ' ';
    } else {
      block += ' ';
    }
  }
  block += "\r\n";
}

// Licence lines split at CR LF or a lone LF. NUL bytes are left out: the
// terminator line is made of them, and an edit box would stop at the
// first one anyway.
void AppendLicence(std::string& block, std::string_view licence) {
  for (std::size_t start = 0;;) {
    const std::size_t end = licence.find('\n', start);
    std::string_view line = licence.substr(start, end - start);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    for (const char c : line) {
      if (c != '\0') block += c;
    }
    block += "\r\n";
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

void AppendFlag(std::string& block, bool flag) {
  block += flag ? "TRUE\r\n" : "FALSE\r\n";
}

}  // namespace

const std::array<std::string_view, kMessageCount>& EnglishMessages() {
  static constexpr std::array<std::string_view, kMessageCount> kMessages = {
      "One moment please...",
      "Scanning cabinet...",
      "Decompressing cabinet...",
      "Starting installation...",
      "Finishing...",
      "Cleaning up...",
      "Are you sure you want to cancel the extraction?",
      "&Pause",
      "&Resume",
      "Unable to create required temporary folder!",
      "You do not have sufficient disk space to complete this operation.",
      "Free bytes required: ",
      "Please remove some files from your target disk and try again.",
      "Unable to seek the cabinet!",
      "No error",
      "Cabinet not found",
      "Cabinet file does not have the correct format",
      "Cabinet file has an unknown version number",
      "Cabinet file is corrupt",
      "Could not allocate enough memory for decompression",
      "Unknown compression type in a cabinet folder",
      "Failure decompressing data from a cabinet file",
      "Failure writing to target file",
      "Cabinets in the set do not have the same reserved space",
      "Next cabinet is out of sequence",
      "User abort",
      "Unknown error!",
      "Unable to create folder: ",
      "Unable to overwrite file: ",
      "Unable to create file: ",
      "Where would you like to place the contents of this cabinet?",
      "Please specify a valid folder name with a fully qualified path.",
      "Please specify a valid folder name.",
      "An error has occured:",
      "An unrecoverable error has occured:",
      "Please click OK to quit this program.",
      "Please click YES to exit, or NO to continue.",
      "Please insert the following disk and cabinet to continue:",
      "Disk: ",
      "Cabinet: ",
      "You have entered an empty password. Please enter a valid password.",
      "The cabinet has most likely been damaged, please obtain a new copy of this cabinet and "
      "try again.",
      "The cabinet may be damaged, or you have entered an incorrect password.",
      "&Cancel",
      "Please read the following license agreement. Press the PAGE DOWN key to see the rest of "
      "the agreement.",
      "Do you accept all of the terms of the preceding License Agreement? If you choose No, this "
      "program will close. To continue you must accept this agreement.",
      "&Yes",
      "&No",
      "Please type the location where you want to place the extracted files. You may type in new "
      "folder names if you wish.",
      "&Browse...",
      "&OK",
      "Do you want to overwrite the file:",
      "Yes to &All",
      "N&o to All",
      "This package has been password protected. Please enter the password to continue.",
      "Unable to (create and) read from self extraction library.",
  };
  return kMessages;
}

std::optional<std::size_t> FindMarker(std::span<const char> head) {
  // The marker line is compared in two parts (the marker, then CR LF) so
  // that the whole line never appears in the stub image that runs this.
  const std::size_t size = head.size() < kMarkerScanLength ? head.size() : kMarkerScanLength;
  const std::size_t lineLength = kMarker.size() + 2;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (head[i] != '\n') continue;
    if (i + 1 - lineStart == lineLength && head[i - 1] == '\r' &&
        std::memcmp(head.data() + lineStart, kMarker.data(), kMarker.size()) == 0) {
      return i + 1;
    }
    lineStart = i + 1;
  }
  return std::nullopt;
}

std::string WriteSessionInformation(SessionInfo& info) {
  std::string block = "\r\n";
  block += kMarker;
  block += "\r\n";
  AppendDecimal(block, info.stubLength);
  block += "\r\n";
  AppendDecimal(block, info.libraryLength);
  block += "\r\n";
  const std::size_t blockLengthAt = block.size();
  block += "\r\n";
  AppendLine(block, info.packageName);
  AppendLine(block, info.startQuestion);
  AppendLicence(block, info.licence);
  block += kLicenceTerminator;
  block += "\r\n";
  AppendLine(block, info.endMessage);
  AppendLine(block, info.targetFolder);
  AppendLine(block, info.fileToOpen);
  AppendLine(block, info.parameters);
  AppendDecimal(block, info.requiredMegabytes);
  block += "\r\n";
  AppendFlag(block, info.password);
  AppendFlag(block, info.silent);
  for (const std::string& message : info.messages) AppendLine(block, message);

  // The length counts its own digits: one more digit can push it over a
  // power of ten (998 bytes without the number is 1002 with it).
  const std::uint64_t withoutNumber = block.size();
  std::uint64_t length = withoutNumber + DigitCount(withoutNumber);
  while (length != withoutNumber + DigitCount(length)) length = withoutNumber + DigitCount(length);
  std::string digits;
  AppendDecimal(digits, length);
  block.insert(blockLengthAt, digits);
  info.blockLength = length;
  return block;
}

SessionInfo ReadSessionInformation(std::string_view afterMarker) {
  LineReader lines(afterMarker.substr(0, kSessionReadLimit));
  SessionInfo info;
  info.stubLength = ParseNumber(lines.Next(), kMaxPieceLength);
  info.libraryLength = ParseNumber(lines.Next(), kMaxPieceLength);
  info.blockLength = ParseNumber(lines.Next(), kMaxBlockLength);
  info.packageName = lines.Next();
  info.startQuestion = lines.Next();
  // Without its terminator the licence runs to the end of what is read.
  bool firstLine = true;
  while (!lines.AtEnd()) {
    const std::string_view line = lines.Next();
    if (line == kLicenceTerminator) break;
    if (!firstLine) info.licence += "\r\n";
    info.licence += line;
    firstLine = false;
  }
  info.endMessage = lines.Next();
  info.targetFolder = lines.Next();
  info.fileToOpen = lines.Next();
  info.parameters = lines.Next();
  info.requiredMegabytes = ParseNumber(lines.Next(), kMaxMegabytes);
  info.password = lines.Next() == "TRUE";
  info.silent = lines.Next() == "TRUE";
  for (std::string& message : info.messages) message = lines.Next();
  return info;
}

std::string PackageKey(std::string_view password) {
  std::string key(password);
  for (char& c : key) c = static_cast<char>(~c);
  return key;
}

void Scramble(std::span<char> bytes, std::string_view key, std::uint64_t offset) {
  if (key.empty()) return;
  auto k = static_cast<std::size_t>(offset % key.size());
  for (char& c : bytes) {
    c = static_cast<char>(c ^ key[k]);
    if (++k == key.size()) k = 0;
  }
}

std::string ContinuationCabinetName(std::string_view packageFileName, unsigned number) {
  // Only a dot in the last path component starts the extension.
  const std::size_t nameStart = packageFileName.find_last_of("\\/") + 1;  // npos + 1 == 0
  const std::size_t dot = packageFileName.rfind('.');
  std::string name(packageFileName.substr(
      0, dot != std::string_view::npos && dot >= nameStart ? dot : packageFileName.size()));
  AppendDecimal(name, number);
  name += ".cab";
  return name;
}

}  // namespace ombrell
