// The text, file, path and arithmetic commands: reading a text file line by
// line, rebuilding a text file with one more line, splitting strings,
// whole-number arithmetic and taking paths apart, and the commands' handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

// Throws ConversionError unless the text is a 32-bit signed decimal number.
std::int32_t RequireInt32(std::string_view text);

// Reads the lines of a text file held in memory, as "Read from Text File"
// sees them: a line ends at LF or at CR LF; a CR not followed by LF is left
// out of the line without ending it; a character of code 26 ends the file.
class TextFileReader {
 public:
  explicit TextFileReader(std::string text);

  bool AtEnd() const { return pos_ >= end_; }
  // The next line; an empty text at the end.
  std::string NextLine();

 private:
  std::string text_;
  std::size_t end_;  // the first code 26, or the size
  std::size_t pos_ = 0;
};

// The file's text with one more line: its lines (split at CR LF, CR and LF;
// a character of code 0 ends the text) with the line text inserted first
// or appended last, each line ending with CR LF. A line text holding line
// breaks becomes as many lines; an empty one becomes one empty line.
std::string TextWithLine(std::string_view fileText, std::string_view line, bool atTop);

struct ParsedString {
  std::string first;
  std::string second;
};

struct ParseOptions {
  int method = 0;  // 0 first delimiter, 1 last delimiter, 2 first N, 3 last N
  bool trim = false;
  bool ignoreCase = false;
};

// Splits the source at the delimiter (methods 0 and 1) or at a count of
// characters (2 and 3, the delimiter is then the count in decimal).
ParsedString ParseString(std::string_view source, std::string_view delimiter,
                         const ParseOptions& options);

// Operation 0 add, 1 subtract, 2 multiply, 3 divide (truncated toward
// zero); results wrap around in 32 bits. Empty when an operand is not a
// number, the divisor is zero or the operation is unknown.
std::string Mathematics(std::string_view a, std::string_view b, std::int32_t operation);

// Code 0 file name, 1 file name without extension, 2 extension without its
// dot, 3 folder, 4 parent folder, 5 drive or network share (3 to 5 end with a
// backslash unless empty); any other code gives the path unchanged.
std::string ExtractPath(std::string_view path, std::int32_t code);

struct CommandContext;

namespace commands {

void ReadFromTextFile(CommandContext& c);
void WriteToTextFile(CommandContext& c);
void ParseString(CommandContext& c);
void Mathematics(CommandContext& c);
void ExtractPath(CommandContext& c);
void ConvertPath(CommandContext& c);
void GetTemporaryFile(CommandContext& c);
void DoesFileOrFolderExist(CommandContext& c);

}  // namespace commands
}  // namespace tavrel
