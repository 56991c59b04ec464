#include "engine/core/form_file.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "engine/core/script_text.h"

namespace tavrel {

namespace {

// Objects and collections together may nest this deep; the root is level 1.
// The bound also keeps the recursive descent well inside the stack.
constexpr std::size_t kMaxDepth = 64;
// Long tokens are cut to this many characters when quoted in a message.
constexpr std::size_t kQuoteLimit = 32;

bool IsIdentStart(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(int c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Quoted(std::string_view text) {
  if (text.size() > kQuoteLimit) return "'" + std::string(text.substr(0, kQuoteLimit)) + "...'";
  return "'" + std::string(text) + "'";
}

std::string CharacterName(unsigned char c) {
  if (c > ' ' && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("character 0x") + kDigits[c >> 4] + kDigits[c & 0xF];
}

enum class TokenType { kEnd, kIdent, kString, kInteger, kFloat, kBinary, kSymbol };

struct Token {
  TokenType type = TokenType::kEnd;
  // kIdent as written (dots included); kString decoded; kInteger in decimal;
  // kFloat as written; kSymbol the one character.
  std::string text;
  std::vector<unsigned char> bytes;  // kBinary
  std::size_t line = 1;
};

std::string Describe(const Token& token) {
  switch (token.type) {
    case TokenType::kEnd:
      return "the end of the file";
    case TokenType::kIdent:
      return Quoted(token.text);
    case TokenType::kString:
      return "a string";
    case TokenType::kInteger:
    case TokenType::kFloat:
      return "the number " + Quoted(token.text);
    case TokenType::kBinary:
      return "binary data";
    case TokenType::kSymbol:
      break;
  }
  return CharacterName(static_cast<unsigned char>(token.text.front()));
}

// Cuts the text into tokens. Blanks (every control character but NUL) and
// line ends separate tokens; strings, numbers and binary blocks arrive as one
// token each, already decoded.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipBlanks();
    Token token;
    token.line = line_;
    if (pos_ >= text_.size()) {
      // Errors at the end of the file point at the last thing in it.
      token.line = lastLine_;
      return token;
    }
    const int c = At(pos_);
    if (IsIdentStart(c)) {
      LexIdent(token);
    } else if (c == '\'' || c == '#') {
      LexString(token);
    } else if (IsDigit(c) || c == '$' ||
               ((c == '-' || c == '+') && (IsDigit(At(pos_ + 1)) || At(pos_ + 1) == '$'))) {
      LexNumber(token);
    } else if (c == '{') {
      LexBinary(token);
    } else {
      token.type = TokenType::kSymbol;
      token.text.assign(1, text_[pos_]);
      ++pos_;
    }
    lastLine_ = line_;
    return token;
  }

 private:
  // The byte at pos, or -1 past the end.
  int At(std::size_t pos) const {
    return pos < text_.size() ? static_cast<unsigned char>(text_[pos]) : -1;
  }

  // Steps over one line end at pos_ (CR LF, LF or CR) when there is one.
  bool SkipLineEnd() {
    const int c = At(pos_);
    if (c == '\n') {
      ++pos_;
    } else if (c == '\r') {
      ++pos_;
      if (At(pos_) == '\n') ++pos_;
    } else {
      return false;
    }
    ++line_;
    return true;
  }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      if (SkipLineEnd()) continue;
      const int c = At(pos_);
      if (c == 0 || c > ' ') break;
      ++pos_;
    }
  }

  void LexIdent(Token& token) {
    token.type = TokenType::kIdent;
    const std::size_t start = pos_;
    for (;;) {
      while (IsIdentChar(At(pos_))) ++pos_;
      if (At(pos_) != '.' || !IsIdentStart(At(pos_ + 1))) break;
      ++pos_;
    }
    token.text.assign(text_.substr(start, pos_ - start));
  }

  // Quoted parts and #nn characters written together without blanks make one
  // string: 'a'#13#10'b'.
  void LexString(Token& token) {
    token.type = TokenType::kString;
    std::string& out = token.text;
    for (;;) {
      const int c = At(pos_);
      if (c == '\'') {
        ++pos_;
        for (;;) {
          // Copy the run up to the next quote or line end in one go.
          const std::size_t stop = text_.find_first_of("'\r\n", pos_);
          if (stop == std::string_view::npos || text_[stop] != '\'') {
            throw FormFileError(token.line, "unterminated string");
          }
          out.append(text_.substr(pos_, stop - pos_));
          pos_ = stop + 1;
          if (At(pos_) != '\'') break;
          out += '\'';
          ++pos_;
        }
      } else if (c == '#') {
        ++pos_;
        // Saturates: any code above 255 is a character this 8-bit text lacks.
        unsigned code = 0;
        bool any = false;
        if (At(pos_) == '$') {
          ++pos_;
          for (int d; (d = HexValue(At(pos_))) >= 0; ++pos_) {
            code = code > 0xFFFF ? code : code * 16 + static_cast<unsigned>(d);
            any = true;
          }
        } else {
          for (; IsDigit(At(pos_)); ++pos_) {
            code = code > 0xFFFF ? code : code * 10 + static_cast<unsigned>(At(pos_) - '0');
            any = true;
          }
        }
        if (!any) throw FormFileError(line_, "expected a character code after '#'");
        out += code > 0xFF ? '?' : static_cast<char>(code);
      } else {
        return;
      }
    }
  }

  [[noreturn]] void Malformed(std::size_t start) {
    while (IsIdentChar(At(pos_)) || At(pos_) == '.') ++pos_;
    throw FormFileError(line_, "malformed number " + Quoted(text_.substr(start, pos_ - start)));
  }

  void LexNumber(Token& token) {
    const std::size_t start = pos_;
    const bool negative = At(pos_) == '-';
    if (At(pos_) == '-' || At(pos_) == '+') ++pos_;
    if (At(pos_) == '$') {
      ++pos_;
      std::uint64_t value = 0;
      bool any = false;
      for (int d; (d = HexValue(At(pos_))) >= 0; ++pos_) {
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
          throw FormFileError(line_, "number out of range");
        }
        value = value * 16 + static_cast<unsigned>(d);
        any = true;
      }
      if (!any || IsIdentChar(At(pos_))) Malformed(start);
      token.type = TokenType::kInteger;
      token.text = (negative && value != 0 ? "-" : "") + std::to_string(value);
      return;
    }
    token.type = TokenType::kInteger;
    while (IsDigit(At(pos_))) ++pos_;
    if (At(pos_) == '.' && IsDigit(At(pos_ + 1))) {
      token.type = TokenType::kFloat;
      ++pos_;
      while (IsDigit(At(pos_))) ++pos_;
    }
    if (At(pos_) == 'e' || At(pos_) == 'E') {
      token.type = TokenType::kFloat;
      ++pos_;
      if (At(pos_) == '-' || At(pos_) == '+') ++pos_;
      if (!IsDigit(At(pos_))) Malformed(start);
      while (IsDigit(At(pos_))) ++pos_;
    }
    // A type letter may follow a floating value: currency, date, single,
    // extended.
    switch (At(pos_)) {
      case 'c':
      case 'C':
      case 'd':
      case 'D':
      case 's':
      case 'S':
      case 'f':
      case 'F':
        if (!IsIdentChar(At(pos_ + 1))) {
          token.type = TokenType::kFloat;
          ++pos_;
        }
        break;
      default:
        break;
    }
    if (IsIdentChar(At(pos_))) Malformed(start);
    std::string_view written = text_.substr(start, pos_ - start);
    if (written.front() == '+') written.remove_prefix(1);
    token.text.assign(written);
  }

  void LexBinary(Token& token) {
    token.type = TokenType::kBinary;
    ++pos_;
    int high = -1;
    for (;;) {
      if (pos_ >= text_.size()) {
        throw FormFileError(token.line, "unterminated binary data (missing '}')");
      }
      if (SkipLineEnd()) continue;
      const int c = At(pos_);
      if (c == '}') {
        ++pos_;
        break;
      }
      const int d = HexValue(c);
      if (d >= 0) {
        if (high < 0) {
          high = d;
        } else {
          token.bytes.push_back(static_cast<unsigned char>(high * 16 + d));
          high = -1;
        }
      } else if (c == 0 || c > ' ') {
        throw FormFileError(
            line_, "invalid " + CharacterName(static_cast<unsigned char>(c)) + " in binary data");
      }
      ++pos_;
    }
    if (high >= 0) throw FormFileError(token.line, "odd number of hex digits in binary data");
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
  std::size_t lastLine_ = 1;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Advance(); }

  FormObject ReadRoot() {
    if (current_.type == TokenType::kEnd) throw FormFileError(1, "the file is empty");
    if (!IsObjectKeyword()) {
      throw FormFileError(
          current_.line, "expected 'object', 'inherited' or 'inline', found " + Describe(current_));
    }
    FormObject root;
    ReadObject(root, 1);
    if (current_.type != TokenType::kEnd) {
      throw FormFileError(current_.line, "unexpected text after the end of the root object");
    }
    return root;
  }

 private:
  void Advance() {
    if (peeked_) {
      current_ = std::move(next_);
      peeked_ = false;
    } else {
      current_ = lexer_.Next();
    }
  }

  const Token& Peek() {
    if (!peeked_) {
      next_ = lexer_.Next();
      peeked_ = true;
    }
    return next_;
  }

  static bool IsSymbol(const Token& token, char symbol) {
    return token.type == TokenType::kSymbol && token.text.front() == symbol;
  }
  bool At(char symbol) const { return IsSymbol(current_, symbol); }
  bool AtWord(std::string_view word) const {
    return current_.type == TokenType::kIdent && EqualsIgnoringAsciiCase(current_.text, word);
  }
  bool IsObjectKeyword() const {
    return AtWord("object") || AtWord("inherited") || AtWord("inline");
  }
  // The reserved words, which cannot be a value; a property of the same name
  // is told apart by the '=' after it.
  bool AtKeyword() const { return IsObjectKeyword() || AtWord("end"); }
  bool NextIsEquals() { return IsSymbol(Peek(), '='); }

  static void CheckDepth(std::size_t depth, std::size_t line) {
    if (depth > kMaxDepth) {
      throw FormFileError(line, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
    }
  }

  // An optional "[n]" after an object's class or a collection's "item".
  void SkipIndex() {
    if (!At('[')) return;
    Advance();
    if (current_.type != TokenType::kInteger) {
      throw FormFileError(current_.line, "expected an index number after '['");
    }
    Advance();
    if (!At(']')) throw FormFileError(current_.line, "expected ']' after the index number");
    Advance();
  }

  std::string TakeClassName(std::string_view after) {
    if (current_.type != TokenType::kIdent || AtKeyword()) {
      throw FormFileError(current_.line, "expected a class name after " + std::string(after) +
                                             ", found " + Describe(current_));
    }
    std::string name = std::move(current_.text);
    Advance();
    return name;
  }

  void ReadObject(FormObject& object, std::size_t depth) {
    CheckDepth(depth, current_.line);
    object.line = current_.line;
    object.inherited = !AtWord("object");
    const std::string keyword = "'" + current_.text + "'";
    Advance();
    if (At(':')) {
      Advance();
      object.className = TakeClassName("':'");
    } else {
      std::string first = TakeClassName(keyword);
      if (At(':')) {
        Advance();
        object.name = std::move(first);
        object.className = TakeClassName("':'");
      } else {
        object.className = std::move(first);
      }
    }
    SkipIndex();

    for (;;) {
      if (current_.type == TokenType::kIdent) {
        if (AtWord("end") && !NextIsEquals()) {
          Advance();
          return;
        }
        if (IsObjectKeyword() && !NextIsEquals()) {
          object.children.emplace_back();
          ReadObject(object.children.back(), depth + 1);
          continue;
        }
        object.properties.push_back(ReadProperty(depth));
        continue;
      }
      if (current_.type == TokenType::kEnd) {
        throw FormFileError(current_.line, "missing 'end' of the object begun on line " +
                                               std::to_string(object.line));
      }
      throw FormFileError(current_.line, "expected a property name, 'object' or 'end', found " +
                                             Describe(current_));
    }
  }

  FormProperty ReadProperty(std::size_t depth) {
    FormProperty property;
    property.name = std::move(current_.text);
    property.line = current_.line;
    Advance();
    if (!At('=')) {
      throw FormFileError(property.line,
                          "expected '=' after property name " + Quoted(property.name));
    }
    const std::size_t equalsLine = current_.line;
    Advance();
    switch (current_.type) {
      case TokenType::kString:
        property.kind = FormProperty::Kind::kString;
        property.text = ReadString();
        return property;
      case TokenType::kInteger:
        property.kind = FormProperty::Kind::kInteger;
        break;
      case TokenType::kFloat:
        property.kind = FormProperty::Kind::kFloat;
        break;
      case TokenType::kIdent:
        if (AtKeyword()) throw FormFileError(equalsLine, "expected a value after '='");
        property.kind = FormProperty::Kind::kIdentifier;
        break;
      case TokenType::kBinary:
        property.kind = FormProperty::Kind::kBinary;
        property.bytes = std::move(current_.bytes);
        Advance();
        return property;
      case TokenType::kSymbol:
        if (At('[')) {
          property.kind = FormProperty::Kind::kSet;
          property.text = ReadSet();
          return property;
        }
        if (At('(')) {
          property.kind = FormProperty::Kind::kList;
          ReadList(property);
          return property;
        }
        if (At('<')) {
          property.kind = FormProperty::Kind::kCollection;
          ReadCollection(property, depth + 1);
          return property;
        }
        [[fallthrough]];
      case TokenType::kEnd:
        throw FormFileError(equalsLine, "expected a value after '='");
    }
    property.text = std::move(current_.text);
    Advance();
    return property;
  }

  // A string token and the strings joined to it by '+', on one line or many.
  std::string ReadString() {
    std::string text = std::move(current_.text);
    Advance();
    while (At('+')) {
      const std::size_t plusLine = current_.line;
      Advance();
      if (current_.type != TokenType::kString) {
        throw FormFileError(plusLine, "expected a string after '+'");
      }
      text += current_.text;
      Advance();
    }
    return text;
  }

  std::string ReadSet() {
    Advance();
    std::string text = "[";
    if (At(']')) {
      Advance();
      return "[]";
    }
    for (;;) {
      if (current_.type == TokenType::kEnd) throw FormFileError(current_.line, "missing ']'");
      if ((current_.type != TokenType::kIdent || AtKeyword()) &&
          current_.type != TokenType::kInteger) {
        throw FormFileError(current_.line,
                            "expected a name in the set, found " + Describe(current_));
      }
      text += current_.text;
      Advance();
      if (At(']')) break;
      if (current_.type == TokenType::kEnd) throw FormFileError(current_.line, "missing ']'");
      if (!At(',')) {
        throw FormFileError(current_.line,
                            "expected ',' or ']' in the set, found " + Describe(current_));
      }
      text += ", ";
      Advance();
    }
    Advance();
    return text + "]";
  }

  void ReadList(FormProperty& property) {
    Advance();
    while (!At(')')) {
      switch (current_.type) {
        case TokenType::kString:
          property.items.push_back(ReadString());
          continue;
        case TokenType::kInteger:
        case TokenType::kFloat:
          break;
        case TokenType::kIdent:
          if (!AtKeyword()) break;
          throw FormFileError(current_.line, "missing ')' at the end of the list");
        case TokenType::kSymbol:
          if (At('[')) {
            property.items.push_back(ReadSet());
            continue;
          }
          throw FormFileError(current_.line, "unexpected " + Describe(current_) + " in a list");
        case TokenType::kBinary:
          throw FormFileError(current_.line, "unexpected binary data in a list");
        case TokenType::kEnd:
          throw FormFileError(current_.line, "missing ')' at the end of the list");
      }
      property.items.push_back(std::move(current_.text));
      Advance();
    }
    Advance();
    std::size_t size = 0;
    for (const auto& item : property.items) size += item.size() + 2;
    property.text.reserve(size);
    for (std::size_t i = 0; i < property.items.size(); ++i) {
      if (i > 0) property.text += "\r\n";
      property.text += property.items[i];
    }
  }

  void ReadCollection(FormProperty& property, std::size_t depth) {
    CheckDepth(depth, current_.line);
    Advance();
    while (!At('>')) {
      if (current_.type == TokenType::kEnd) throw FormFileError(current_.line, "missing '>'");
      if (!AtWord("item")) {
        throw FormFileError(current_.line,
                            "expected 'item' or '>' in a collection, found " + Describe(current_));
      }
      const std::size_t itemLine = current_.line;
      Advance();
      SkipIndex();
      std::vector<FormProperty> item;
      for (;;) {
        if (AtWord("end") && !NextIsEquals()) break;
        if (current_.type == TokenType::kEnd) {
          throw FormFileError(current_.line, "missing 'end' of the collection item begun on line " +
                                                 std::to_string(itemLine));
        }
        if (current_.type != TokenType::kIdent || (AtKeyword() && !NextIsEquals())) {
          throw FormFileError(current_.line,
                              "expected a property name or 'end' in a collection "
                              "item, found " +
                                  Describe(current_));
        }
        item.push_back(ReadProperty(depth));
      }
      Advance();
      property.collection.push_back(std::move(item));
    }
    Advance();
  }

  Lexer lexer_;
  Token current_;
  Token next_;
  bool peeked_ = false;
};

}  // namespace

FormFileError::FormFileError(std::size_t line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

const FormProperty* FormObject::Find(std::string_view propertyName) const {
  for (auto it = properties.rbegin(); it != properties.rend(); ++it) {
    if (EqualsIgnoringAsciiCase(it->name, propertyName)) return &*it;
  }
  return nullptr;
}

FormObject ReadFormFile(std::string_view text) {
  return Parser(text).ReadRoot();
}

}  // namespace tavrel
