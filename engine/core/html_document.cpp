#include "engine/core/html_document.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ascii_case.h"

namespace tavrel::html {
namespace {

using common::EqualsIgnoringAsciiCase;
using common::IsAsciiLetter;
using common::ToLowerAscii;

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  const char lower = ToLowerAscii(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// ---------------------------------------------------------------------------
// Character references

struct NamedEntity {
  const char* name;
  int code;  // > 255: shown as '?'
};

// The Latin-1 names in code order from 160, then the others.
constexpr const char* kLatin1Names[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};
static_assert(std::size(kLatin1Names) == 96);

constexpr NamedEntity kOtherEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"euro", 0x20AC},   {"trade", 0x2122},  {"mdash", 0x2014},
    {"ndash", 0x2013},  {"bull", 0x2022},   {"hellip", 0x2026}, {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"sbquo", 0x201A},
    {"bdquo", 0x201E},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"ensp", 0x2002},   {"emsp", 0x2003},
    {"thinsp", 0x2009}, {"larr", 0x2190},   {"rarr", 0x2192},   {"uarr", 0x2191},
    {"darr", 0x2193},   {"hearts", 0x2665}, {"OElig", 0x152},   {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},
};

char CodeToChar(long code) {
  if (code <= 0 || code > 255) return '?';
  return static_cast<char>(static_cast<unsigned char>(code));
}

// The length of the reference at text[0] == '&' and its character; 0 when
// there is none (the '&' is then shown as it is).
std::size_t ReadEntity(std::string_view text, char& out) {
  if (text.size() < 3) return 0;
  if (text[1] == '#') {
    std::size_t i = 2;
    int base = 10;
    if (text[i] == 'x' || text[i] == 'X') {
      base = 16;
      ++i;
    }
    const std::size_t digitsStart = i;
    long code = 0;
    bool overflow = false;
    while (i < text.size()) {
      const int digit = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
      if (digit < 0) break;
      code = code * base + digit;
      if (code > 0x10FFFF) {
        overflow = true;
        code = 0x10FFFF;
      }
      ++i;
    }
    if (i == digitsStart) return 0;
    if (i < text.size() && text[i] == ';') ++i;
    out = overflow ? '?' : CodeToChar(code);
    return i;
  }
  std::size_t i = 1;
  while (i < text.size() && i <= 8 && (IsAsciiLetter(text[i]) || IsDigit(text[i]))) ++i;
  if (i >= text.size() || text[i] != ';') return 0;
  const auto entity = HtmlEntity(text.substr(1, i - 1));
  if (!entity) return 0;
  out = *entity;
  return i + 1;
}

void AppendDecoded(std::string_view raw, std::string& out) {
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t amp = raw.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(raw.substr(i));
      return;
    }
    out.append(raw.substr(i, amp - i));
    char c = 0;
    const std::size_t length = ReadEntity(raw.substr(amp), c);
    if (length == 0) {
      out += '&';
      i = amp + 1;
    } else {
      out += c;
      i = amp + length;
    }
  }
}

std::string CollapseBlanks(std::string_view text) {
  std::string out;
  bool blank = false;
  for (const char c : text) {
    if (IsBlank(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Attribute values

std::optional<int> ParseCount(std::string_view text, int low, int high) {
  text = Trim(text);
  if (text.empty() || !IsDigit(text.front())) return std::nullopt;
  long value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) break;
    value = std::min<long>(value * 10 + (c - '0'), 1'000'000'000L);
  }
  return static_cast<int>(std::clamp<long>(value, low, high));
}

std::optional<Length> ParseLength(std::string_view text) {
  text = Trim(text);
  const auto value = ParseCount(text, 0, 10000);
  if (!value) return std::nullopt;
  Length length{*value, text.find('%') != std::string_view::npos};
  if (length.percent) length.value = std::min(length.value, 100);
  if (length.value == 0) return std::nullopt;
  return length;
}

Align ParseAlign(std::string_view text) {
  text = Trim(text);
  if (EqualsIgnoringAsciiCase(text, "left")) return Align::kLeft;
  if (EqualsIgnoringAsciiCase(text, "right")) return Align::kRight;
  if (EqualsIgnoringAsciiCase(text, "center") || EqualsIgnoringAsciiCase(text, "middle")) {
    return Align::kCenter;
  }
  return Align::kInherit;
}

// ---------------------------------------------------------------------------
// Tags

enum class Tag {
  kUnknown,
  kHtml,
  kHead,
  kBody,
  kTitle,
  kMeta,
  kScript,
  kStyle,
  kP,
  kDiv,
  kCenter,
  kBr,
  kHr,
  kH1,
  kH2,
  kH3,
  kH4,
  kH5,
  kH6,
  kB,
  kStrong,
  kI,
  kEm,
  kCite,
  kVar,
  kDfn,
  kAddress,
  kU,
  kIns,
  kFont,
  kBig,
  kSmall,
  kTt,
  kCode,
  kKbd,
  kSamp,
  kSpan,
  kS,
  kStrike,
  kDel,
  kSub,
  kSup,
  kPre,
  kBlockquote,
  kUl,
  kOl,
  kDir,
  kMenu,
  kLi,
  kDl,
  kDt,
  kDd,
  kA,
  kImg,
  kTable,
  kTr,
  kTd,
  kTh,
  kCaption,
  kRoot,
};

struct TagName {
  std::string_view name;
  Tag tag;
};

constexpr TagName kTagNames[] = {
    {"html", Tag::kHtml},
    {"head", Tag::kHead},
    {"body", Tag::kBody},
    {"title", Tag::kTitle},
    {"meta", Tag::kMeta},
    {"script", Tag::kScript},
    {"style", Tag::kStyle},
    {"p", Tag::kP},
    {"div", Tag::kDiv},
    {"center", Tag::kCenter},
    {"br", Tag::kBr},
    {"hr", Tag::kHr},
    {"h1", Tag::kH1},
    {"h2", Tag::kH2},
    {"h3", Tag::kH3},
    {"h4", Tag::kH4},
    {"h5", Tag::kH5},
    {"h6", Tag::kH6},
    {"b", Tag::kB},
    {"strong", Tag::kStrong},
    {"i", Tag::kI},
    {"em", Tag::kEm},
    {"cite", Tag::kCite},
    {"var", Tag::kVar},
    {"dfn", Tag::kDfn},
    {"address", Tag::kAddress},
    {"u", Tag::kU},
    {"ins", Tag::kIns},
    {"font", Tag::kFont},
    {"big", Tag::kBig},
    {"small", Tag::kSmall},
    {"tt", Tag::kTt},
    {"code", Tag::kCode},
    {"kbd", Tag::kKbd},
    {"samp", Tag::kSamp},
    {"span", Tag::kSpan},
    {"s", Tag::kS},
    {"strike", Tag::kStrike},
    {"del", Tag::kDel},
    {"sub", Tag::kSub},
    {"sup", Tag::kSup},
    {"pre", Tag::kPre},
    {"blockquote", Tag::kBlockquote},
    {"ul", Tag::kUl},
    {"ol", Tag::kOl},
    {"dir", Tag::kDir},
    {"menu", Tag::kMenu},
    {"li", Tag::kLi},
    {"dl", Tag::kDl},
    {"dt", Tag::kDt},
    {"dd", Tag::kDd},
    {"a", Tag::kA},
    {"img", Tag::kImg},
    {"table", Tag::kTable},
    {"tr", Tag::kTr},
    {"td", Tag::kTd},
    {"th", Tag::kTh},
    {"caption", Tag::kCaption},
};

Tag TagOf(std::string_view name) {
  for (const TagName& entry : kTagNames) {
    if (name == entry.name) return entry.tag;
  }
  return Tag::kUnknown;
}

bool IsHeading(Tag tag) {
  return tag >= Tag::kH1 && tag <= Tag::kH6;
}
bool IsList(Tag tag) {
  return tag == Tag::kUl || tag == Tag::kOl || tag == Tag::kDir || tag == Tag::kMenu;
}
bool IsCell(Tag tag) {
  return tag == Tag::kTd || tag == Tag::kTh;
}

// Text-level elements: they change the style and make no box.
bool IsFormatting(Tag tag) {
  switch (tag) {
    case Tag::kB:
    case Tag::kStrong:
    case Tag::kI:
    case Tag::kEm:
    case Tag::kCite:
    case Tag::kVar:
    case Tag::kDfn:
    case Tag::kU:
    case Tag::kIns:
    case Tag::kFont:
    case Tag::kBig:
    case Tag::kSmall:
    case Tag::kTt:
    case Tag::kCode:
    case Tag::kKbd:
    case Tag::kSamp:
    case Tag::kSpan:
    case Tag::kS:
    case Tag::kStrike:
    case Tag::kDel:
    case Tag::kSub:
    case Tag::kSup:
    case Tag::kA:
      return true;
    default:
      return false;
  }
}

// Block-level starts that end an open paragraph.
bool ClosesParagraph(Tag tag) {
  switch (tag) {
    case Tag::kP:
    case Tag::kDiv:
    case Tag::kCenter:
    case Tag::kHr:
    case Tag::kH1:
    case Tag::kH2:
    case Tag::kH3:
    case Tag::kH4:
    case Tag::kH5:
    case Tag::kH6:
    case Tag::kPre:
    case Tag::kBlockquote:
    case Tag::kUl:
    case Tag::kOl:
    case Tag::kDir:
    case Tag::kMenu:
    case Tag::kLi:
    case Tag::kDl:
    case Tag::kDt:
    case Tag::kDd:
    case Tag::kTable:
    case Tag::kAddress:
      return true;
    default:
      return false;
  }
}

struct Attribute {
  std::string name;   // lower case
  std::string value;  // references decoded
};

using Attributes = std::vector<Attribute>;

const std::string* Find(const Attributes& attributes, std::string_view name) {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == name) return &attribute.value;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The reader

class Reader {
 public:
  explicit Reader(std::string_view page) : page_(page) {
    // About a node per tag: room made once rather than grown step by step.
    const auto tags = static_cast<std::size_t>(std::count(page.begin(), page.end(), '<'));
    document_.nodes.reserve(std::min({tags + 1, page.size() / 16 + 64, kMaxHtmlNodes}));
    document_.styles.push_back({});
    document_.nodes.push_back({});
    open_.push_back(Open{Tag::kRoot, 0, 0, false, 0, {}});
  }

  Document Read() {
    std::size_t at = 0;
    while (at < page_.size() && document_.nodes.size() < kMaxHtmlNodes) {
      const std::size_t lt = page_.find('<', at);
      const std::size_t textEnd = lt == std::string_view::npos ? page_.size() : lt;
      if (textEnd > at) AddRawText(page_.substr(at, textEnd - at));
      if (lt == std::string_view::npos) break;
      at = Markup(lt);
    }
    return std::move(document_);
  }

 private:
  struct Open {
    Tag tag;
    std::uint32_t container;  // where content at this level goes
    std::uint32_t style;      // the style of text at this level
    bool pre;                 // inside <pre>
    int counter;              // lists: the next item's number
    Attributes attributes;    // text-level elements: to open them again
  };

  // ---- markup

  // Reads the markup at page_[lt] == '<'; answers where reading goes on.
  std::size_t Markup(std::size_t lt) {
    const std::string_view rest = page_.substr(lt);
    if (rest.size() < 2) {
      AddRawText(rest);
      return page_.size();
    }
    const char next = rest[1];
    if (rest.starts_with("<!--")) {
      const std::size_t end = page_.find("-->", lt + 4);
      return end == std::string_view::npos ? page_.size() : end + 3;
    }
    if (next == '!' || next == '?') return SkipPast('>', lt + 2);
    const bool closing = next == '/';
    const std::size_t nameStart = lt + (closing ? 2 : 1);
    if (nameStart >= page_.size() || !IsAsciiLetter(page_[nameStart])) {
      if (closing) return SkipPast('>', nameStart);
      AddRawText("<");
      return lt + 1;
    }
    std::size_t i = nameStart;
    std::string name;
    while (i < page_.size() && !IsBlank(page_[i]) && page_[i] != '>' && page_[i] != '/') {
      if (name.size() < 16) name += ToLowerAscii(page_[i]);
      ++i;
    }
    Attributes attributes;
    bool ended = false;
    while (i < page_.size()) {
      const char c = page_[i];
      if (c == '>') {
        ended = true;
        ++i;
        break;
      }
      if (IsBlank(c) || c == '/') {
        ++i;
        continue;
      }
      i = ReadAttribute(i, closing ? nullptr : &attributes, ended);
      if (ended) break;
    }
    if (!ended) return page_.size();  // a tag cut off by the end of the page shows nothing
    const Tag tag = TagOf(name);
    if (closing) {
      EndTag(tag);
      return i;
    }
    if (tag == Tag::kScript || tag == Tag::kStyle || tag == Tag::kTitle) {
      return RawText(tag, name, i);
    }
    StartTag(tag, attributes);
    return i;
  }

  std::size_t SkipPast(char c, std::size_t from) const {
    const std::size_t end = page_.find(c, from);
    return end == std::string_view::npos ? page_.size() : end + 1;
  }

  // Reads one attribute at page_[i]; sets ended when the tag's '>' closed
  // it (an unquoted value running into it, or a quote left open).
  std::size_t ReadAttribute(std::size_t i, Attributes* attributes, bool& ended) {
    const std::size_t nameStart = i;
    while (i < page_.size() && !IsBlank(page_[i]) && page_[i] != '>' &&
           (page_[i] != '=' || i == nameStart) && (page_[i] != '/' || i == nameStart)) {
      ++i;
    }
    std::string name = common::ToLowerAscii(page_.substr(nameStart, i - nameStart));
    std::size_t j = i;
    while (j < page_.size() && IsBlank(page_[j])) ++j;
    std::string_view value;
    if (j < page_.size() && page_[j] == '=') {
      ++j;
      while (j < page_.size() && IsBlank(page_[j])) ++j;
      if (j < page_.size() && (page_[j] == '"' || page_[j] == '\'')) {
        const std::size_t close = FindQuote(page_[j], j + 1);
        if (close != std::string_view::npos) {
          value = page_.substr(j + 1, close - j - 1);
          i = close + 1;
        } else {
          // A quote left open: the value runs to the tag's end.
          const std::size_t gt = page_.find('>', j + 1);
          const std::size_t end = gt == std::string_view::npos ? page_.size() : gt;
          value = page_.substr(j + 1, end - j - 1);
          i = gt == std::string_view::npos ? page_.size() : gt + 1;
          ended = gt != std::string_view::npos;
        }
      } else {
        const std::size_t valueStart = j;
        while (j < page_.size() && !IsBlank(page_[j]) && page_[j] != '>') ++j;
        value = page_.substr(valueStart, j - valueStart);
        i = j;
      }
    }
    if (attributes != nullptr && attributes->size() < 32 && Find(*attributes, name) == nullptr) {
      std::string decoded;
      AppendDecoded(value, decoded);
      attributes->push_back({std::move(name), std::move(decoded)});
    }
    return i;
  }

  // The next quote character at or after from. Remembers where none is
  // left, so that many quotes left open cost one search.
  std::size_t FindQuote(char quote, std::size_t from) {
    std::size_t& none = quote == '"' ? noDoubleQuoteFrom_ : noSingleQuoteFrom_;
    if (from >= none) return std::string_view::npos;
    const std::size_t found = page_.find(quote, from);
    if (found == std::string_view::npos) none = from;
    return found;
  }

  // <script>, <style> and <title>: their text runs to their closing tag.
  std::size_t RawText(Tag tag, const std::string& name, std::size_t from) {
    const std::string closer = "</" + name;
    std::size_t& none = closerMissingFrom_[tag == Tag::kTitle ? 0 : tag == Tag::kStyle ? 1 : 2];
    std::size_t end = std::string_view::npos;
    if (from < none) {
      end = common::FindIgnoringAsciiCase(page_, closer, from);
      if (end == std::string_view::npos) none = from;
    }
    const std::size_t textEnd = end == std::string_view::npos ? page_.size() : end;
    if (tag == Tag::kTitle && !titleSeen_) {
      titleSeen_ = true;
      std::string decoded;
      AppendDecoded(page_.substr(from, textEnd - from), decoded);
      document_.title = CollapseBlanks(decoded);
    }
    return end == std::string_view::npos ? page_.size() : SkipPast('>', end);
  }

  // ---- the tree

  Open& Top() { return open_.back(); }
  std::uint32_t Container() const { return open_.back().container; }
  NodeKind ContainerKind() const { return document_.nodes[Container()].kind; }

  std::uint32_t AddNode(NodeKind kind) {
    const auto index = static_cast<std::uint32_t>(document_.nodes.size());
    const std::uint32_t parent = Container();
    Node node;
    node.kind = kind;
    node.parent = parent;
    document_.nodes.push_back(std::move(node));
    Node& owner = document_.nodes[parent];
    if (owner.firstChild == kNoNode) {
      owner.firstChild = index;
    } else {
      document_.nodes[owner.lastChild].next = index;
    }
    owner.lastChild = index;
    return index;
  }

  // A line break; its style gives the height of an empty line.
  void AddBreak() {
    const std::uint32_t node = AddNode(NodeKind::kBreak);
    document_.nodes[node].style = Top().style;
  }

  bool Full() const { return open_.size() >= static_cast<std::size_t>(kMaxHtmlDepth); }

  // Opens a box element at this level: a node as the new container.
  std::uint32_t Push(Tag tag, NodeKind kind, std::uint32_t style) {
    const std::uint32_t node = AddNode(kind);
    open_.push_back(Open{tag, node, style, Top().pre || tag == Tag::kPre, Top().counter, {}});
    AtBlockEdge();
    return node;
  }

  void PopTo(std::size_t size) {
    if (size < 1) size = 1;
    if (open_.size() > size) {
      open_.resize(size);
      AtBlockEdge();
    }
  }

  void AtBlockEdge() {
    lineStart_ = true;
    pendingBlank_ = false;
    skipNewline_ = false;
    column_ = 0;
  }

  // The open element of tag nearest the top, not looking past the first
  // element that ends its scope; nullopt when there is none.
  std::optional<std::size_t> FindOpen(Tag tag, std::initializer_list<Tag> boundaries) const {
    for (std::size_t i = open_.size(); i-- > 1;) {
      if (open_[i].tag == tag) return i;
      for (const Tag boundary : boundaries) {
        if (open_[i].tag == boundary) return std::nullopt;
      }
    }
    return std::nullopt;
  }

  void Close(Tag tag, std::initializer_list<Tag> boundaries) {
    if (const auto at = FindOpen(tag, boundaries)) PopTo(*at);
  }

  // Content outside a cell of a table goes into a cell made for it.
  void EnsureFlow() {
    if (ContainerKind() == NodeKind::kTable && !Full()) {
      Push(Tag::kTr, NodeKind::kRow, Top().style);
    }
    if (ContainerKind() == NodeKind::kRow && !Full()) {
      Push(Tag::kTd, NodeKind::kCell, Top().style);
    }
  }

  std::uint32_t Intern(const TextStyle& style) {
    std::string key = FontKey(style.font);
    key += style.color ? std::to_string(*style.color) : "d";
    key += '/';
    key += std::to_string(style.link);
    const auto [it, added] = styleIndex_.try_emplace(
        std::move(key), static_cast<std::uint32_t>(document_.styles.size()));
    if (added) document_.styles.push_back(style);
    return it->second;
  }

  TextStyle CurrentStyle() const { return document_.styles[open_.back().style]; }

  // ---- text

  void AddRawText(std::string_view raw) {
    if (raw.find('&') == std::string_view::npos) {
      AddText(raw);
      return;
    }
    std::string decoded;
    AppendDecoded(raw, decoded);
    AddText(decoded);
  }

  void AddText(std::string_view text) {
    const NodeKind kind = ContainerKind();
    if (kind == NodeKind::kTable || kind == NodeKind::kRow) {
      const auto content =
          std::find_if(text.begin(), text.end(), [](char c) { return !IsBlank(c); });
      if (content == text.end()) return;
      EnsureFlow();
    }
    if (Top().pre) {
      AddPreformatted(text);
      return;
    }
    std::string* run = nullptr;
    for (const char c : text) {
      if (IsBlank(c)) {
        pendingBlank_ = true;
        continue;
      }
      if (run == nullptr) run = &TextRun(false);
      if (pendingBlank_ && !lineStart_) *run += ' ';
      pendingBlank_ = false;
      lineStart_ = false;
      *run += c;
    }
  }

  void AddPreformatted(std::string_view text) {
    std::string* run = nullptr;
    for (const char c : text) {
      if (c == '\r') continue;
      if (c == '\n') {
        if (!skipNewline_) {
          AddBreak();
          run = nullptr;
        }
        skipNewline_ = false;
        column_ = 0;
        continue;
      }
      skipNewline_ = false;
      if (run == nullptr) run = &TextRun(true);
      if (c == '\t') {
        do {
          *run += ' ';
        } while (++column_ % 8 != 0);
      } else {
        *run += c;
        ++column_;
      }
      lineStart_ = false;
    }
  }

  // The text node that text in the current style goes on in.
  std::string& TextRun(bool preformatted) {
    const std::uint32_t container = Container();
    const std::uint32_t last = document_.nodes[container].lastChild;
    if (last != kNoNode) {
      Node& node = document_.nodes[last];
      if (node.kind == NodeKind::kText && node.style == Top().style &&
          node.preformatted == preformatted) {
        return node.text;
      }
    }
    const std::uint32_t index = AddNode(NodeKind::kText);
    Node& node = document_.nodes[index];
    node.style = Top().style;
    node.preformatted = preformatted;
    return node.text;
  }

  // ---- elements

  void StartTag(Tag tag, const Attributes& attributes) {
    if (ClosesParagraph(tag)) {
      Close(Tag::kP, {Tag::kTable, Tag::kTd, Tag::kTh, Tag::kCaption});
    }
    if (IsFormatting(tag)) {
      OpenFormatting(tag, attributes);
      return;
    }
    switch (tag) {
      case Tag::kBody:
        Body(attributes);
        return;
      case Tag::kMeta:
        Meta(attributes);
        return;
      case Tag::kBr:
        if (ContainerKind() == NodeKind::kTable || ContainerKind() == NodeKind::kRow) EnsureFlow();
        AddBreak();
        lineStart_ = true;
        pendingBlank_ = false;
        return;
      case Tag::kImg:
        Image(attributes);
        return;
      case Tag::kHr:
        Rule(attributes);
        return;
      case Tag::kTable:
        Table(attributes);
        return;
      case Tag::kTr:
        Row(attributes);
        return;
      case Tag::kTd:
      case Tag::kTh:
        Cell(tag, attributes);
        return;
      case Tag::kLi:
        ListItem(attributes);
        return;
      case Tag::kDt:
      case Tag::kDd:
        Close(Tag::kDt, {Tag::kDl, Tag::kTable, Tag::kTd, Tag::kTh});
        Close(Tag::kDd, {Tag::kDl, Tag::kTable, Tag::kTd, Tag::kTh});
        Block(tag, attributes);
        return;
      default:
        break;
    }
    if (IsHeading(tag) && IsHeading(Top().tag)) PopTo(open_.size() - 1);
    switch (tag) {
      case Tag::kP:
      case Tag::kDiv:
      case Tag::kCenter:
      case Tag::kPre:
      case Tag::kBlockquote:
      case Tag::kUl:
      case Tag::kOl:
      case Tag::kDir:
      case Tag::kMenu:
      case Tag::kDl:
      case Tag::kH1:
      case Tag::kH2:
      case Tag::kH3:
      case Tag::kH4:
      case Tag::kH5:
      case Tag::kH6:
      case Tag::kAddress:
      case Tag::kCaption:
        Block(tag, attributes);
        return;
      default:
        return;  // elements this reader does not know, and <html>, <head>
    }
  }

  void EndTag(Tag tag) {
    if (IsFormatting(tag)) {
      CloseFormatting(tag);
      return;
    }
    switch (tag) {
      case Tag::kTable:
        Close(Tag::kTable, {});
        return;
      case Tag::kTr:
        Close(Tag::kTr, {Tag::kTable});
        return;
      case Tag::kTd:
      case Tag::kTh:
        Close(tag, {Tag::kTable});
        return;
      case Tag::kBr:  // </br> is a break as well
        StartTag(Tag::kBr, {});
        return;
      case Tag::kP:
        if (!FindOpen(Tag::kP, {Tag::kTable, Tag::kTd, Tag::kTh, Tag::kCaption})) {
          // A paragraph end with no paragraph open still breaks the line.
          AddBreak();
          AtBlockEdge();
          return;
        }
        Close(Tag::kP, {Tag::kTable, Tag::kTd, Tag::kTh, Tag::kCaption});
        return;
      case Tag::kLi:
        Close(tag, {Tag::kUl, Tag::kOl, Tag::kDir, Tag::kMenu, Tag::kTable, Tag::kTd, Tag::kTh});
        return;
      case Tag::kDt:
      case Tag::kDd:
        Close(tag, {Tag::kDl, Tag::kTable, Tag::kTd, Tag::kTh});
        return;
      case Tag::kH1:
      case Tag::kH2:
      case Tag::kH3:
      case Tag::kH4:
      case Tag::kH5:
      case Tag::kH6:
        // Any heading's end closes the open heading.
        for (std::size_t i = open_.size(); i-- > 1;) {
          if (IsHeading(open_[i].tag)) {
            PopTo(i);
            return;
          }
          if (open_[i].tag == Tag::kTable || IsCell(open_[i].tag)) return;
        }
        return;
      case Tag::kDiv:
      case Tag::kCenter:
      case Tag::kPre:
      case Tag::kBlockquote:
      case Tag::kUl:
      case Tag::kOl:
      case Tag::kDir:
      case Tag::kMenu:
      case Tag::kDl:
      case Tag::kAddress:
      case Tag::kCaption:
        Close(tag, {Tag::kTable, Tag::kTd, Tag::kTh});
        return;
      default:
        return;
    }
  }

  void Body(const Attributes& attributes) {
    if (const std::string* value = Find(attributes, "bgcolor")) {
      if (!document_.background) document_.background = ParseHtmlColor(*value);
    }
    if (const std::string* value = Find(attributes, "text")) {
      if (!document_.textColor) document_.textColor = ParseHtmlColor(*value);
    }
    if (const std::string* value = Find(attributes, "link")) {
      if (!document_.linkColor) document_.linkColor = ParseHtmlColor(*value);
    }
  }

  void Meta(const Attributes& attributes) {
    const std::string* equiv = Find(attributes, "http-equiv");
    const std::string* content = Find(attributes, "content");
    if (equiv == nullptr || content == nullptr || document_.refresh) return;
    if (!EqualsIgnoringAsciiCase(Trim(*equiv), "refresh")) return;
    std::string_view text = Trim(*content);
    if (text.empty() || !IsDigit(text.front())) return;
    MetaRefresh refresh;
    // Delays are counted in milliseconds later on: keep them within an int's.
    refresh.delaySeconds = *ParseCount(text, 0, 2'000'000);
    while (!text.empty() && (IsDigit(text.front()) || text.front() == '.')) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.front()) || text.front() == ';' || text.front() == ',')) {
      text.remove_prefix(1);
    }
    if (common::StartsWithIgnoringAsciiCase(text, "url")) {
      std::string_view after = text.substr(3);
      while (!after.empty() && IsBlank(after.front())) after.remove_prefix(1);
      if (!after.empty() && after.front() == '=') {
        after.remove_prefix(1);
        text = Trim(after);
      }
    }
    if (!text.empty() && (text.front() == '\'' || text.front() == '"')) {
      const char quote = text.front();
      text.remove_prefix(1);
      const std::size_t close = text.find(quote);
      if (close != std::string_view::npos) text = text.substr(0, close);
    }
    refresh.url = std::string(Trim(text));
    document_.refresh = std::move(refresh);
  }

  // reopening: the element was open already and is opened again after a
  // mis-nested end; its anchors exist already.
  void OpenFormatting(Tag tag, const Attributes& attributes, bool reopening = false) {
    if (Full()) return;
    TextStyle style = CurrentStyle();
    switch (tag) {
      case Tag::kB:
      case Tag::kStrong:
        style.font.bold = true;
        break;
      case Tag::kI:
      case Tag::kEm:
      case Tag::kCite:
      case Tag::kVar:
      case Tag::kDfn:
        style.font.italic = true;
        break;
      case Tag::kU:
      case Tag::kIns:
        style.font.underline = true;
        break;
      case Tag::kTt:
      case Tag::kCode:
      case Tag::kKbd:
      case Tag::kSamp:
        style.font.monospace = true;
        break;
      case Tag::kBig:
        style.font.size = std::min(style.font.size + 1, 7);
        break;
      case Tag::kSmall:
        style.font.size = std::max(style.font.size - 1, 1);
        break;
      case Tag::kFont:
        Font(attributes, style);
        break;
      case Tag::kA:
        if (const std::string* name = Find(attributes, "name"); name && !reopening) Anchor(*name);
        if (const std::string* id = Find(attributes, "id"); id && !reopening) Anchor(*id);
        if (const std::string* href = Find(attributes, "href")) {
          style.link = static_cast<int>(document_.links.size());
          document_.links.push_back(std::string(Trim(*href)));
          style.color.reset();
          style.font.underline = true;
        }
        break;
      default:
        break;
    }
    const std::uint32_t index = Intern(style);
    open_.push_back(Open{tag, Container(), index, Top().pre, Top().counter, attributes});
  }

  static void Font(const Attributes& attributes, TextStyle& style) {
    if (const std::string* face = Find(attributes, "face")) {
      const std::string_view first = Trim(std::string_view(*face).substr(0, face->find(',')));
      if (!first.empty()) style.font.face = std::string(first.substr(0, 64));
    }
    if (const std::string* size = Find(attributes, "size")) {
      const std::string_view text = Trim(*size);
      if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (const auto step = ParseCount(text.substr(1), 0, 7)) {
          style.font.size = std::clamp(3 + (text.front() == '+' ? *step : -*step), 1, 7);
        }
      } else if (const auto value = ParseCount(text, 1, 7)) {
        style.font.size = *value;
      }
    }
    if (const std::string* color = Find(attributes, "color")) {
      if (const auto rgb = ParseHtmlColor(*color)) style.color = rgb;
    }
  }

  // A mis-nested end (<b><i>x</b>y</i>) closes the elements above it and
  // opens them again, so that y stays italic. An end that would cross a
  // box is ignored.
  void CloseFormatting(Tag tag) {
    for (std::size_t i = open_.size(); i-- > 1;) {
      const Open& open = open_[i];
      if (open.tag == tag) {
        std::vector<Open> reopen(std::make_move_iterator(open_.begin() + static_cast<long>(i) + 1),
                                 std::make_move_iterator(open_.end()));
        open_.resize(i);
        for (const Open& again : reopen) OpenFormatting(again.tag, again.attributes, true);
        return;
      }
      if (!IsFormatting(open.tag)) return;
    }
  }

  void Anchor(const std::string& name) {
    if (name.empty()) return;
    EnsureFlow();
    const std::uint32_t node = AddNode(NodeKind::kAnchor);
    document_.nodes[node].text = name.substr(0, 256);
  }

  void Image(const Attributes& attributes) {
    EnsureFlow();
    if (pendingBlank_ && !lineStart_) TextRun(Top().pre) += ' ';
    const std::uint32_t index = AddNode(NodeKind::kImage);
    Node& node = document_.nodes[index];
    if (const std::string* source = Find(attributes, "src")) node.source = Trim(*source);
    if (const std::string* alt = Find(attributes, "alt")) node.text = CollapseBlanks(*alt);
    if (const std::string* width = Find(attributes, "width")) {
      node.width = ParseLength(*width).value_or(Length{});
    }
    if (const std::string* height = Find(attributes, "height")) {
      node.height = ParseLength(*height).value_or(Length{});
      node.height.percent = false;
    }
    if (const std::string* border = Find(attributes, "border")) {
      node.border = ParseCount(*border, 0, 20).value_or(0);
    }
    node.valign = VAlign::kBottom;
    if (const std::string* align = Find(attributes, "align")) {
      const std::string_view text = Trim(*align);
      if (EqualsIgnoringAsciiCase(text, "top") || EqualsIgnoringAsciiCase(text, "texttop")) {
        node.valign = VAlign::kTop;
      } else if (EqualsIgnoringAsciiCase(text, "middle") ||
                 EqualsIgnoringAsciiCase(text, "absmiddle")) {
        node.valign = VAlign::kMiddle;
      }
    }
    node.imageStyle = Top().style;
    lineStart_ = false;
    pendingBlank_ = false;
  }

  void Rule(const Attributes& attributes) {
    EnsureFlow();
    const std::uint32_t index = AddNode(NodeKind::kRule);
    Node& node = document_.nodes[index];
    node.border = 2;
    if (const std::string* size = Find(attributes, "size")) {
      node.border = ParseCount(*size, 1, 100).value_or(2);
    }
    if (const std::string* width = Find(attributes, "width")) {
      node.width = ParseLength(*width).value_or(Length{});
    }
    if (const std::string* align = Find(attributes, "align")) node.align = ParseAlign(*align);
    node.noShade = Find(attributes, "noshade") != nullptr;
    AtBlockEdge();
  }

  void Block(Tag tag, const Attributes& attributes) {
    EnsureFlow();
    if (Full()) return;
    TextStyle style = CurrentStyle();
    static constexpr int kHeadingSizes[] = {6, 5, 4, 3, 2, 1};
    if (IsHeading(tag)) {
      style.font.bold = true;
      style.font.size = kHeadingSizes[static_cast<int>(tag) - static_cast<int>(Tag::kH1)];
    }
    if (tag == Tag::kPre) style.font.monospace = true;
    if (tag == Tag::kAddress) style.font.italic = true;
    int listDepth = 0;
    if (IsList(tag)) {
      for (const Open& open : open_) listDepth += IsList(open.tag) ? 1 : 0;
    }
    const std::uint32_t index = Push(tag, NodeKind::kBlock, Intern(style));
    skipNewline_ = tag == Tag::kPre;  // a line break right after <pre> is not shown
    Node& node = document_.nodes[index];
    if (const std::string* align = Find(attributes, "align")) node.align = ParseAlign(*align);
    switch (tag) {
      case Tag::kCenter:
        node.align = Align::kCenter;
        break;
      case Tag::kP:
      case Tag::kPre:
      case Tag::kDl:
      case Tag::kH1:
      case Tag::kH2:
      case Tag::kH3:
      case Tag::kH4:
      case Tag::kH5:
      case Tag::kH6:
        node.marginTop = node.marginBottom = 1;
        break;
      case Tag::kBlockquote:
        node.marginTop = node.marginBottom = 1;
        node.indent = 40;
        break;
      case Tag::kUl:
      case Tag::kOl:
      case Tag::kDir:
      case Tag::kMenu:
        node.indent = 40;
        node.marginTop = node.marginBottom = listDepth == 0 ? 1 : 0;
        Top().counter = 1;
        if (const std::string* start = Find(attributes, "start")) {
          Top().counter = ParseCount(*start, 0, 1'000'000).value_or(1);
        }
        node.marker = tag == Tag::kOl  ? Marker::kNumber
                      : listDepth == 0 ? Marker::kDisc
                      : listDepth == 1 ? Marker::kCircle
                                       : Marker::kSquare;
        if (const std::string* type = Find(attributes, "type"))
          node.marker = MarkerOf(*type, node.marker);
        break;
      case Tag::kDd:
        node.indent = 40;
        break;
      default:
        break;
    }
  }

  static Marker MarkerOf(std::string_view type, Marker fallback) {
    type = Trim(type);
    if (EqualsIgnoringAsciiCase(type, "disc")) return Marker::kDisc;
    if (EqualsIgnoringAsciiCase(type, "circle")) return Marker::kCircle;
    if (EqualsIgnoringAsciiCase(type, "square")) return Marker::kSquare;
    return fallback;
  }

  void ListItem(const Attributes& attributes) {
    Close(Tag::kLi, {Tag::kUl, Tag::kOl, Tag::kDir, Tag::kMenu, Tag::kTable, Tag::kTd, Tag::kTh});
    EnsureFlow();
    if (Full()) return;
    // The list it belongs to: its marker kind and the count.
    Open* list = nullptr;
    for (std::size_t i = open_.size(); i-- > 1;) {
      if (IsList(open_[i].tag)) {
        list = &open_[i];
        break;
      }
      if (open_[i].tag == Tag::kTable || IsCell(open_[i].tag)) break;
    }
    Marker marker = list != nullptr ? document_.nodes[list->container].marker : Marker::kDisc;
    int number = 0;
    if (list != nullptr) {
      if (const std::string* value = Find(attributes, "value")) {
        list->counter = ParseCount(*value, 0, 1'000'000).value_or(list->counter);
      }
      number = list->counter;
      if (list->counter < 1'000'000'000) ++list->counter;
    }
    if (const std::string* type = Find(attributes, "type")) marker = MarkerOf(*type, marker);
    const std::uint32_t index = Push(Tag::kLi, NodeKind::kBlock, Top().style);
    document_.nodes[index].listItem = true;
    document_.nodes[index].marker = marker;
    document_.nodes[index].number = number;
  }

  void Table(const Attributes& attributes) {
    EnsureFlow();
    if (Full()) return;
    const std::uint32_t index = Push(Tag::kTable, NodeKind::kTable, Top().style);
    Node& node = document_.nodes[index];
    node.padding = 1;
    node.spacing = 2;
    if (const std::string* border = Find(attributes, "border")) {
      node.border = ParseCount(*border, 0, 50).value_or(1);
    }
    if (const std::string* padding = Find(attributes, "cellpadding")) {
      node.padding = ParseCount(*padding, 0, 100).value_or(1);
    }
    if (const std::string* spacing = Find(attributes, "cellspacing")) {
      node.spacing = ParseCount(*spacing, 0, 100).value_or(2);
    }
    if (const std::string* width = Find(attributes, "width")) {
      node.width = ParseLength(*width).value_or(Length{});
    }
    if (const std::string* color = Find(attributes, "bgcolor"))
      node.background = ParseHtmlColor(*color);
    if (const std::string* align = Find(attributes, "align")) node.align = ParseAlign(*align);
  }

  std::optional<std::size_t> OpenTable() const {
    for (std::size_t i = open_.size(); i-- > 1;) {
      if (open_[i].tag == Tag::kTable) return i;
    }
    return std::nullopt;
  }

  void Row(const Attributes& attributes) {
    const auto table = OpenTable();
    if (!table) return;  // rows outside tables are ignored
    PopTo(*table + 1);
    if (Full()) return;
    const std::uint32_t index = Push(Tag::kTr, NodeKind::kRow, Top().style);
    Node& node = document_.nodes[index];
    if (const std::string* color = Find(attributes, "bgcolor"))
      node.background = ParseHtmlColor(*color);
    if (const std::string* align = Find(attributes, "align")) node.align = ParseAlign(*align);
    if (const std::string* valign = Find(attributes, "valign")) node.valign = ParseVAlign(*valign);
  }

  static VAlign ParseVAlign(std::string_view text) {
    text = Trim(text);
    if (EqualsIgnoringAsciiCase(text, "top")) return VAlign::kTop;
    if (EqualsIgnoringAsciiCase(text, "bottom")) return VAlign::kBottom;
    return VAlign::kMiddle;
  }

  void Cell(Tag tag, const Attributes& attributes) {
    const auto table = OpenTable();
    if (!table) return;  // cells outside tables are ignored
    if (open_.size() > *table + 1 && open_[*table + 1].tag == Tag::kTr) {
      PopTo(*table + 2);
    } else {
      PopTo(*table + 1);
      if (Full()) return;
      Push(Tag::kTr, NodeKind::kRow, Top().style);
    }
    if (Full()) return;
    const Node& row = document_.nodes[Container()];
    const Align rowAlign = row.align;
    const VAlign rowVAlign = row.valign;
    TextStyle style = CurrentStyle();
    if (tag == Tag::kTh) style.font.bold = true;
    const std::uint32_t index = Push(tag, NodeKind::kCell, Intern(style));
    Node& node = document_.nodes[index];
    node.header = tag == Tag::kTh;
    node.align = rowAlign;
    node.valign = rowVAlign;
    if (const std::string* align = Find(attributes, "align")) node.align = ParseAlign(*align);
    if (const std::string* valign = Find(attributes, "valign")) node.valign = ParseVAlign(*valign);
    if (const std::string* span = Find(attributes, "colspan")) {
      node.colspan = ParseCount(*span, 1, kMaxColumnSpan).value_or(1);
    }
    if (const std::string* width = Find(attributes, "width")) {
      node.width = ParseLength(*width).value_or(Length{});
    }
    if (const std::string* color = Find(attributes, "bgcolor"))
      node.background = ParseHtmlColor(*color);
  }

  std::string_view page_;
  Document document_;
  std::vector<Open> open_;
  std::unordered_map<std::string, std::uint32_t> styleIndex_;
  bool lineStart_ = true;
  bool pendingBlank_ = false;
  bool skipNewline_ = false;
  bool titleSeen_ = false;
  int column_ = 0;
  std::size_t noDoubleQuoteFrom_ = std::string_view::npos;
  std::size_t noSingleQuoteFrom_ = std::string_view::npos;
  // Per <title>, <style>, <script>: where no closing tag is left.
  std::array<std::size_t, 3> closerMissingFrom_{std::string_view::npos, std::string_view::npos,
                                                std::string_view::npos};
};

}  // namespace

std::string FontKey(const FontDescription& font) {
  std::string key = font.face;
  key += '\0';
  key += static_cast<char>('0' + font.size);
  key += font.bold ? 'b' : '-';
  key += font.italic ? 'i' : '-';
  key += font.underline ? 'u' : '-';
  key += font.monospace ? 'm' : '-';
  return key;
}

std::optional<char> HtmlEntity(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kLatin1Names); ++i) {
    if (name == kLatin1Names[i]) return CodeToChar(static_cast<long>(160 + i));
  }
  for (const NamedEntity& entity : kOtherEntities) {
    if (name == entity.name) return CodeToChar(entity.code);
  }
  if (name.size() >= 2 && name[0] == '#') {
    char c = 0;
    const std::string reference = "&" + std::string(name) + ";";
    if (ReadEntity(reference, c) == reference.size()) return c;
  }
  return std::nullopt;
}

std::optional<Rgb> ParseHtmlColor(std::string_view text) {
  text = Trim(text);
  struct NamedColor {
    const char* name;
    Rgb rgb;
  };
  static constexpr NamedColor kColors[] = {
      {"black", 0x000000},     {"silver", 0xC0C0C0},   {"gray", 0x808080},
      {"grey", 0x808080},      {"white", 0xFFFFFF},    {"maroon", 0x800000},
      {"red", 0xFF0000},       {"purple", 0x800080},   {"fuchsia", 0xFF00FF},
      {"magenta", 0xFF00FF},   {"green", 0x008000},    {"lime", 0x00FF00},
      {"olive", 0x808000},     {"yellow", 0xFFFF00},   {"navy", 0x000080},
      {"blue", 0x0000FF},      {"teal", 0x008080},     {"aqua", 0x00FFFF},
      {"cyan", 0x00FFFF},      {"orange", 0xFFA500},   {"brown", 0xA52A2A},
      {"pink", 0xFFC0CB},      {"gold", 0xFFD700},     {"lightgray", 0xD3D3D3},
      {"lightgrey", 0xD3D3D3}, {"darkgray", 0xA9A9A9}, {"darkblue", 0x00008B},
  };
  for (const NamedColor& color : kColors) {
    if (EqualsIgnoringAsciiCase(text, color.name)) return color.rgb;
  }
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6 && text.size() != 3) return std::nullopt;
  Rgb rgb = 0;
  for (const char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return std::nullopt;
    rgb = rgb * 16 + static_cast<Rgb>(digit);
    if (text.size() == 3) rgb = rgb * 16 + static_cast<Rgb>(digit);
  }
  return rgb;
}

Document ReadHtml(std::string_view page) {
  return Reader(page).Read();
}

}  // namespace tavrel::html
