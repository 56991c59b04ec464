#include "tvlc/core/source_reader.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/text_lines.h"
#include "engine/core/compiled_script.h"
#include "tvlc/core/windows_1252.h"

namespace tavrel::tvlc {

namespace {

// Deeper than any sensible set of files; also ends a loop of includes that
// names one file by two different paths.
constexpr std::size_t kMaxIncludeDepth = 32;

constexpr std::array<std::string_view, 5> kPublisherKeys = {"publisher", "contact", "help",
                                                            "update", "comments"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

struct OpenFile {
  std::string path;   // host path
  std::string shown;  // as messages name it
};

class Reader {
 public:
  explicit Reader(const SourceFileReader& read) : read_(read) {}

  void File(const OpenFile& file, const SourceLocation* includedFrom) {
    for (const OpenFile& open : open_) {
      if (open.path == file.path) {
        throw SourceError(*includedFrom, "'" + file.shown + "' includes itself" +
                                             (open_.back().path == file.path
                                                  ? std::string()
                                                  : " through '" + open_.back().shown + "'"));
      }
    }
    if (open_.size() >= kMaxIncludeDepth) {
      throw SourceError(*includedFrom,
                        "includes nest deeper than " + std::to_string(kMaxIncludeDepth) + " files");
    }
    const std::optional<std::string> text = read_(file.path);
    if (!text) {
      if (includedFrom == nullptr) throw SourceError("cannot read '" + file.shown + "'");
      throw SourceError(*includedFrom, "cannot read the included file '" + file.shown + "'");
    }
    open_.push_back(file);
    std::string_view body = *text;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    common::LineReader lines(body);
    // A command and its lines belong to one file.
    current_ = nullptr;
    last_ = nullptr;
    for (std::string_view raw; lines.Next(raw);) {
      Line({file.shown, lines.LineNumber()}, raw);
    }
    current_ = nullptr;
    last_ = nullptr;
    open_.pop_back();
  }

  SetupSource Result() { return std::move(setup_); }

 private:
  std::string Folder() const { return FolderOf(open_.back().path); }

  void Line(const SourceLocation& where, std::string_view raw) {
    const Conversion converted = Utf8ToWindows1252(raw);
    if (converted.failedAt) {
      throw SourceError(where, converted.invalidUtf8
                                   ? "the text is not UTF-8 (byte " +
                                         std::to_string(*converted.failedAt + 1) + " of the line)"
                                   : "character " +
                                         std::string(Character(raw, *converted.failedAt)) +
                                         " cannot be written in code page Windows-1252");
    }
    const std::string_view line = converted.text;
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') return;
    const bool indented = IsBlank(line.front());
    if (text.front() == '|') {
      if (current_ == nullptr) {
        throw SourceError(where, "a parameter line '|' belongs below a 'command' line");
      }
      current_->parameters.push_back(Value(where, text.substr(1)));
      last_ = &current_->parameters.back();
      return;
    }
    if (text.front() == '+') {
      if (last_ == nullptr) {
        throw SourceError(where, "a continuation line '+' belongs below a parameter or a setting");
      }
      *last_ += Value(where, text.substr(1));
      return;
    }
    if (!indented && text.starts_with("command ")) {
      const std::string_view name = Trim(text.substr(8));
      if (name.empty()) throw SourceError(where, "'command' needs the command's name");
      SourceCommand& command = setup_.commands.emplace_back();
      command.name = name;
      command.where = where;
      command.base = Folder();
      current_ = &command;
      last_ = nullptr;
      return;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      throw SourceError(where,
                        "expected 'key = value', 'command NAME' or an indented '| parameter'");
    }
    const std::string key(Trim(text.substr(0, equals)));
    const std::string value(Trim(text.substr(equals + 1)));
    if (indented && current_ != nullptr) {
      CommandSetting(where, key, value);
      return;
    }
    current_ = nullptr;
    last_ = nullptr;
    Setting(where, key, value);
  }

  // The character (UTF-8) at a byte offset, quoted for a message.
  static std::string_view Character(std::string_view raw, std::size_t at) {
    std::size_t end = at + 1;
    while (end < raw.size() && (static_cast<unsigned char>(raw[end]) & 0xC0) == 0x80) ++end;
    return raw.substr(at, end - at);
  }

  // The text after '|' or '+': "| text" drops the one blank after the mark
  // and the blanks at the end; '|"text"' keeps everything between the
  // quotes, a doubled quote standing for one.
  static std::string Value(const SourceLocation& where, std::string_view rest) {
    if (rest.empty() || rest.front() != '"') {
      if (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
      while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
      return std::string(rest);
    }
    std::string value;
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] != '"') {
        value += rest[i];
      } else if (i + 1 < rest.size() && rest[i + 1] == '"') {
        value += '"';
        ++i;
      } else {
        if (!Trim(rest.substr(i + 1)).empty()) {
          throw SourceError(where, "text after the closing quote");
        }
        return value;
      }
    }
    throw SourceError(where, "the quoted text has no closing quote");
  }

  void CommandSetting(const SourceLocation& where, const std::string& key,
                      const std::string& value) {
    if (key == "id") {
      current_->id = value;
      last_ = &current_->id;
    } else if (key == "flag") {
      if (!value.empty() && value != "C") {
        throw SourceError(where, "flag must be C (commented out) or empty");
      }
      current_->flag = value;
      last_ = nullptr;
    } else if (key == "media") {
      current_->media = value;
      last_ = &current_->media;
    } else if (key == "source-folder") {
      current_->sourceFolder = value;
      last_ = &current_->sourceFolder;
    } else {
      throw SourceError(
          where, "unknown command setting '" + key +
                     "' (a command takes id, flag, media, source-folder and '| parameter' lines)");
    }
  }

  std::string HostPath(const SourceLocation& where, const std::string& value) {
    if (value.empty()) throw SourceError(where, "the setting needs a file or folder name");
    return JoinPath(Folder(), Windows1252ToUtf8(value));
  }

  void Setting(const SourceLocation& where, const std::string& key, const std::string& value) {
    SetupSource& s = setup_;
    s.settingsWhere[key] = where;
    std::string* text = nullptr;
    if (key == "include") {
      const std::string path = HostPath(where, value);
      const std::string shown = JoinPath(FolderOf(open_.back().shown), Windows1252ToUtf8(value));
      File({path, shown}, &where);
      return;
    }
    if (key == "name") {
      text = &s.name;
    } else if (key == "title") {
      text = &s.title;
    } else if (key == "product") {
      text = &s.product;
    } else if (key == "revision") {
      text = &s.revision;
    } else if (const auto found = std::ranges::find(kPublisherKeys, key);
               found != kPublisherKeys.end()) {
      text = &s.publisher[static_cast<std::size_t>(found - kPublisherKeys.begin())];
    } else if (key == "media-mode") {
      std::int32_t mode = 0;
      if (!ParseInt32(value, mode)) throw SourceError(where, "media-mode must be a whole number");
      text = &s.mediaMode;
    } else if (key == "component") {
      const std::size_t comma = value.rfind(',');
      std::int32_t size = 0;
      if (comma == std::string::npos || !ParseInt32(Trim(value.substr(comma + 1)), size) ||
          size < 0) {
        throw SourceError(where, "component needs a name, a comma and its size in bytes");
      }
      s.components.push_back({std::string(Trim(std::string_view(value).substr(0, comma))),
                              std::string(Trim(std::string_view(value).substr(comma + 1)))});
      last_ = nullptr;
      return;
    } else if (key == "plugin") {
      text = &s.plugins.emplace_back();
    } else if (key == "source-folder") {
      text = &s.sourceFolders.emplace_back();
    } else if (key == "resource") {
      s.resources.push_back(HostPath(where, value));
      s.resourcesWhere.push_back(where);
      last_ = nullptr;
      return;
    } else if (key == "data" || key == "mergemod") {
      (key == "data" ? s.data : s.mergemods).push_back(HostPath(where, value));
      (key == "data" ? s.dataWhere : s.mergemodsWhere).push_back(where);
      last_ = nullptr;
      return;
    } else if (key == "dialogs" || key == "bitmap" || key == "language") {
      auto [path, at] = key == "dialogs"  ? std::tie(s.dialogs, s.dialogsWhere)
                        : key == "bitmap" ? std::tie(s.bitmap, s.bitmapWhere)
                                          : std::tie(s.language, s.languageWhere);
      path = HostPath(where, value);
      at = where;
      last_ = nullptr;
      return;
    } else if (key == "reboot" || key == "fail") {
      if (value != "yes" && value != "no") throw SourceError(where, key + " must be yes or no");
      (key == "reboot" ? s.reboot : s.fail) = value == "yes";
      last_ = nullptr;
      return;
    } else if (key == "filler") {
      std::int32_t count = 0;
      if (!ParseInt32(value, count) || count < 0 || value.front() == '+') {
        throw SourceError(where, "filler must be a number of files");
      }
      s.filler = static_cast<std::size_t>(count);
      last_ = nullptr;
      return;
    } else {
      throw SourceError(where, "unknown setting '" + key + "'");
    }
    *text = value;
    last_ = text;
  }

  const SourceFileReader& read_;
  SetupSource setup_;
  std::vector<OpenFile> open_;
  SourceCommand* current_ = nullptr;
  std::string* last_ = nullptr;  // the value a '+' line continues
};

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  const std::string joined = name.starts_with('/') ? name : folder + "/" + name;
  const bool absolute = joined.starts_with('/');
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == ".." && !parts.empty() && parts.back() != "..") {
      parts.pop_back();
    } else if (part != ".." || !absolute) {
      parts.push_back(part);
    }
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += '/';
    out += parts[i];
  }
  return out.empty() ? "." : out;
}

SetupSource ReadSetupSource(const std::string& path, const std::string& shown,
                            const SourceFileReader& read) {
  Reader reader(read);
  reader.File({JoinPath(".", path), shown}, nullptr);
  return reader.Result();
}

}  // namespace tavrel::tvlc
