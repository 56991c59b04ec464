#include "engine/core/text_actions.h"

#include <algorithm>
#include <vector>

#include "common/ascii_case.h"
#include "common/paths.h"
#include "common/text_lines.h"
#include "engine/core/command_context.h"
#include "engine/core/compiled_script.h"
#include "engine/core/script_text.h"
#include "engine/core/system_info.h"

namespace tavrel {

namespace {

constexpr char kEndOfFile = 26;

// Characters from..from+count-1 of the text, counted from 1; a start below 1
// counts as 1 and ranges beyond the end are cut.
std::string Copy(std::string_view text, std::int64_t from, std::int64_t count) {
  if (from < 1) from = 1;
  const auto size = static_cast<std::int64_t>(text.size());
  if (count <= 0 || from > size) return "";
  count = std::min(count, size - from + 1);
  return std::string(
      text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count)));
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::int32_t Wrap(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// Everything up to and including the last separator or drive colon.
std::string_view FolderPart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? std::string_view{} : path.substr(0, cut + 1);
}

std::string_view NamePart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// From the last dot of the name on; empty when the name has no dot.
std::string_view ExtensionPart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

// "C:" for a drive path, "\\server\share" for a network path, else empty.
std::string_view DrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && common::IsAsciiLetter(path[0])) {
    return path.substr(0, 2);
  }
  if (path.size() >= 2 && common::IsPathSeparator(path[0]) && common::IsPathSeparator(path[1])) {
    std::size_t end = path.find_first_of("\\/", 2);
    if (end != std::string_view::npos) end = path.find_first_of("\\/", end + 1);
    return end == std::string_view::npos ? path : path.substr(0, end);
  }
  return {};
}

std::string ParentFolder(std::string_view path) {
  const std::string_view folder = FolderPart(path);
  const std::string_view drive = DrivePart(path);
  std::string_view inner = folder;
  if (!inner.empty() && common::IsPathSeparator(inner.back())) inner.remove_suffix(1);
  // The parent of a drive's or a share's root is that root.
  if (inner.size() <= drive.size())
    return common::WithTrailingBackslash(std::string(drive.empty() ? folder : drive));
  return common::WithTrailingBackslash(std::string(FolderPart(inner)));
}

// A line text's lines: every CR LF, CR or LF ends one, and what follows the
// last break is a line too, even when empty.
std::vector<std::string_view> LinesOfText(std::string_view text) {
  std::vector<std::string_view> lines;
  common::LineReader reader(text);
  for (std::string_view line; reader.Next(line);) lines.push_back(line);
  if (text.empty() || text.back() == '\r' || text.back() == '\n') lines.emplace_back();
  return lines;
}

}  // namespace

std::int32_t RequireInt32(std::string_view text) {
  std::int32_t value = 0;
  if (!ParseInt32(text, value)) {
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

TextFileReader::TextFileReader(std::string text)
    : text_(std::move(text)), end_(std::min(text_.find(kEndOfFile), text_.size())) {}

std::string TextFileReader::NextLine() {
  std::string line;
  while (pos_ < end_) {
    const char c = text_[pos_++];
    if (c == '\n') break;
    if (c == '\r') {
      if (pos_ < end_ && text_[pos_] == '\n') {
        ++pos_;
        break;
      }
      continue;  // a lone CR is dropped and does not end the line
    }
    line += c;
  }
  return line;
}

std::string TextWithLine(std::string_view fileText, std::string_view line, bool atTop) {
  fileText = fileText.substr(0, std::min(fileText.find('\0'), fileText.size()));
  const std::vector<std::string> existing = common::SplitLines(fileText);
  const std::vector<std::string_view> added = LinesOfText(line);
  std::string text;
  text.reserve(fileText.size() + line.size() + 2 * (existing.size() + added.size()));
  const auto append = [&text](std::string_view one) {
    text += one;
    text += "\r\n";
  };
  if (atTop) std::for_each(added.begin(), added.end(), append);
  std::for_each(existing.begin(), existing.end(), append);
  if (!atTop) std::for_each(added.begin(), added.end(), append);
  return text;
}

ParsedString ParseString(std::string_view source, std::string_view delimiter,
                         const ParseOptions& options) {
  std::string foldedSource;
  std::string foldedDelimiter;
  std::string_view s = source;
  std::string_view d = delimiter;
  if (options.ignoreCase) {
    foldedSource = ToUpperAnsi(source);
    foldedDelimiter = ToUpperAnsi(delimiter);
    s = foldedSource;
    d = foldedDelimiter;
  }
  const auto length = static_cast<std::int64_t>(s.size());
  std::int64_t p = 0;  // split position from 1; 0 means no split
  std::int64_t k = 0;  // length of the separator removed
  std::int64_t shift = 0;
  std::int32_t count = 0;
  switch (options.method) {
    case 0: {
      const std::size_t at = d.empty() ? std::string_view::npos : s.find(d);
      p = at == std::string_view::npos ? length + 1 : static_cast<std::int64_t>(at) + 1;
      k = static_cast<std::int64_t>(d.size());
      shift = 1;
      break;
    }
    case 1: {
      const std::size_t at = d.empty() ? std::string_view::npos : s.rfind(d);
      if (at == std::string_view::npos) {
        p = 1;
        k = 0;
      } else {
        p = static_cast<std::int64_t>(at) + 1;
        k = static_cast<std::int64_t>(d.size());
      }
      shift = 1;
      break;
    }
    case 2:
      if (ParseInt32(delimiter, count)) {
        if (count == 0) {
          p = 1;
          k = -1;
          shift = 1;
        } else {
          p = count;
          k = 1;
        }
      }
      break;
    case 3:
      if (ParseInt32(delimiter, count)) {
        p = length - count;
        k = 1;
      }
      break;
    default:
      break;
  }
  ParsedString parts;
  if (p != 0) {
    parts.first = Copy(source, 1, p - shift);
    parts.second = Copy(source, p + k, static_cast<std::int64_t>(source.size()) + 1);
  }
  if (options.trim) {
    parts.first = Trim(parts.first);
    parts.second = Trim(parts.second);
  }
  return parts;
}

std::string Mathematics(std::string_view a, std::string_view b, std::int32_t operation) {
  std::int32_t left = 0;
  std::int32_t right = 0;
  if (!ParseInt32(a, left) || !ParseInt32(b, right)) return "";
  std::int64_t result = 0;
  switch (operation) {
    case 0:
      result = std::int64_t{left} + right;
      break;
    case 1:
      result = std::int64_t{left} - right;
      break;
    case 2:
      result = std::int64_t{left} * right;
      break;
    case 3:
      if (right == 0) return "";
      result = std::int64_t{left} / right;  // -2147483648 / -1 wraps below
      break;
    default:
      return "";
  }
  return std::to_string(Wrap(result));
}

std::string ExtractPath(std::string_view path, std::int32_t code) {
  const std::string_view name = NamePart(path);
  const std::string_view extension = ExtensionPart(name);
  switch (code) {
    case 0:
      return std::string(name);
    case 1:
      return std::string(name.substr(0, name.size() - extension.size()));
    case 2:
      return extension.empty() ? "" : std::string(extension.substr(1));
    case 3:
      return common::WithTrailingBackslash(std::string(FolderPart(path)));
    case 4:
      return ParentFolder(path);
    case 5:
      return common::WithTrailingBackslash(std::string(DrivePart(path)));
    default:
      return std::string(path);
  }
}

namespace commands {

void ReadFromTextFile(CommandContext& c) {
  std::optional<OpenTextFile>& open = c.run.readFile;
  const std::string path = c.store.PathForm(c.Param(1));
  const std::string& lineVariable = c.Param(2);
  const std::string& endVariable = c.Param(3);
  // The results exist before the command may fail, as the checks declared them.
  c.store.Declare(lineVariable);
  c.store.Declare(endVariable);
  const std::string key = ToUpperAnsi(path);
  if (!open || open->key != key) {
    open.reset();
    FileText file = c.system.ReadFileText(path);
    if (file.status != FileText::Status::kRead) {
      if (!endVariable.empty()) c.store.SetResult(endVariable, "TRUE");
      return;
    }
    open.emplace(key, TextFileReader(std::move(file.text)));
  }
  if (!open->reader.AtEnd()) c.store.SetResult(lineVariable, open->reader.NextLine());
  const bool atEnd = open->reader.AtEnd();
  // The next read of this file starts again from its first line.
  if (atEnd) open.reset();
  if (!endVariable.empty()) c.store.SetResult(endVariable, BooleanText(atEnd));
}

void WriteToTextFile(CommandContext& c) {
  const std::string path = c.store.PathForm(c.Param(1));
  const std::string line = c.store.Expand(c.Param(2));
  const bool atTop = BooleanValue(c.store.Expand(c.Param(3)));
  if (c.run.readFile && c.run.readFile->key == ToUpperAnsi(path)) c.run.readFile.reset();
  const FileText file = c.system.ReadFileText(path);
  // Rewriting a file whose text could not be read would lose that text.
  if (file.status == FileText::Status::kUnreadable) {
    c.system.Trace("text file not written, its text cannot be read: " + path);
    return;
  }
  if (!c.system.ReplaceFileText(path, TextWithLine(file.text, line, atTop))) {
    c.system.Trace("text file could not be written: " + path);
  }
}

void ParseString(CommandContext& c) {
  const std::string source = c.store.PathForm(c.Param(1));
  const std::string delimiter = c.store.PathForm(c.Param(2));
  const std::string& firstVariable = c.Param(3);
  const std::string& secondVariable = c.Param(4);
  c.store.Declare(firstVariable);
  c.store.Declare(secondVariable);
  ParseOptions options;
  options.method = RequireInt32(c.Param(5));
  options.trim = BooleanValue(c.Param(6));
  options.ignoreCase = BooleanValue(c.Param(7));
  ParsedString parts = tavrel::ParseString(source, delimiter, options);
  if (!firstVariable.empty()) c.store.SetResult(firstVariable, std::move(parts.first));
  if (!secondVariable.empty()) c.store.SetResult(secondVariable, std::move(parts.second));
}

void Mathematics(CommandContext& c) {
  c.store.SetResult(c.Param(4),
                    tavrel::Mathematics(c.store.Expand(c.Param(1)), c.store.Expand(c.Param(2)),
                                        RequireInt32(c.Param(3))));
}

void ExtractPath(CommandContext& c) {
  const std::string& variable = c.Param(1);
  const std::string value = c.store.PathForm(c.store.Get(variable));
  c.store.Set(variable, tavrel::ExtractPath(value, RequireInt32(c.Param(2))));
}

void ConvertPath(CommandContext& c) {
  const std::string& variable = c.Param(1);
  const std::string value = c.store.PathForm(c.store.Get(variable));
  const bool shortForm = BooleanValue(c.Param(2));
  std::string converted;
  if (c.system.KindOf(value) != PathKind::kNone) {
    converted = shortForm ? c.system.ShortPathOf(value) : c.system.LongPathOf(value);
  }
  c.store.Set(variable, std::move(converted));
}

void GetTemporaryFile(CommandContext& c) {
  std::string path = c.system.CreateTempFile(c.state.tempFolder);
  if (path.empty()) c.system.Trace("no temporary file could be created in " + c.state.tempFolder);
  c.store.SetResult(NamedVariable(c.Param(1)), std::move(path));
}

void DoesFileOrFolderExist(CommandContext& c) {
  const PathKind kind = c.system.KindOf(c.store.PathForm(c.Param(2)));
  const bool file = BooleanValue(c.Param(3));
  c.store.SetResult(c.Param(1), BooleanText(kind == (file ? PathKind::kFile : PathKind::kFolder)));
}

}  // namespace commands
}  // namespace tavrel
