// Fuzzes the dialog readers of untrusted text: the same input read as a
// dialog file and as a rules file. A dialog that reads must hold together (a
// list's text is its items joined, lines lie inside the file, nesting stays
// within its bound, Find gives the last property of a name), and an error
// must name a line of the file. Each rule must cut its line exactly at the
// first occurrence of each delimiter; the rules then run over a few fake
// controls.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/dialog_rules.h"
#include "engine/core/form_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::size_t LineCount(std::string_view text) {
  std::size_t lines = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++lines;
    }
  }
  return lines;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void CheckProperties(const std::vector<tavrel::FormProperty>& properties, std::size_t lines,
                     std::size_t depth) {
  using Kind = tavrel::FormProperty::Kind;
  Check(depth <= 64);
  for (const auto& property : properties) {
    Check(!property.name.empty());
    Check(property.line >= 1 && property.line <= lines);
    switch (property.kind) {
      case Kind::kList: {
        std::string joined;
        for (std::size_t i = 0; i < property.items.size(); ++i) {
          if (i > 0) joined += "\r\n";
          joined += property.items[i];
        }
        Check(joined == property.text);
        break;
      }
      case Kind::kSet:
        Check(property.text.size() >= 2 && property.text.front() == '[' &&
              property.text.back() == ']');
        break;
      case Kind::kCollection:
        Check(property.text.empty());
        for (const auto& item : property.collection) CheckProperties(item, lines, depth + 1);
        break;
      case Kind::kBinary:
        Check(property.text.empty());
        break;
      case Kind::kInteger:
      case Kind::kFloat:
      case Kind::kIdentifier:
        Check(!property.text.empty());
        break;
      case Kind::kString:
        break;
    }
    if (property.kind != Kind::kList) Check(property.items.empty());
    if (property.kind != Kind::kCollection) Check(property.collection.empty());
    if (property.kind != Kind::kBinary) Check(property.bytes.empty());
  }
}

void CheckObject(const tavrel::FormObject& object, std::size_t lines, std::size_t depth) {
  Check(depth <= 64);
  Check(!object.className.empty());
  Check(object.line >= 1 && object.line <= lines);
  CheckProperties(object.properties, lines, depth);
  for (const auto& property : object.properties) {
    const tavrel::FormProperty* found = object.Find(property.name);
    Check(found != nullptr && SameNoCase(found->name, property.name) && found >= &property);
  }
  for (const auto& child : object.children) CheckObject(child, lines, depth + 1);
}

void FuzzFormFile(std::string_view text) {
  const std::size_t lines = LineCount(text);
  try {
    const tavrel::FormObject root = tavrel::ReadFormFile(text);
    CheckObject(root, lines, 1);
  } catch (const tavrel::FormFileError& error) {
    Check(error.Line() >= 1 && error.Line() <= lines);
    const std::string prefix = "line " + std::to_string(error.Line()) + ": ";
    Check(std::string_view(error.what()).substr(0, prefix.size()) == prefix);
  }
}

// The rule's pieces with their delimiters between them must give back the
// line after its first four characters, up to the piece that took the rest.
void CheckRule(std::string_view line, const tavrel::DialogRule& rule) {
  std::string_view rest = line.size() < 4 ? std::string_view() : line.substr(4);
  Check(rule.notEqual == (rest.find(" <> ") != std::string_view::npos));
  const std::array<const std::string*, 6> pieces{&rule.testControl,    &rule.testProperty,
                                                 &rule.testValue,      &rule.targetControl,
                                                 &rule.targetProperty, &rule.value};
  const std::array<std::string_view, 6> delimiters{
      ".", rule.notEqual ? " <> " : " = ", ")  THEN  ", ".", " := ", ";"};
  bool cut = line.size() < 4;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = *pieces[i];
    if (cut) {
      Check(piece.empty());
      continue;
    }
    Check(piece.find(delimiters[i]) == std::string::npos);
    Check(rest.substr(0, piece.size()) == piece);
    rest.remove_prefix(piece.size());
    if (rest.substr(0, delimiters[i].size()) == delimiters[i]) {
      rest.remove_prefix(delimiters[i].size());
    } else {
      Check(rest.empty());
      cut = true;
    }
  }
}

class FakeControls : public tavrel::RuleTarget {
 public:
  FakeControls() {
    values_["CheckBox1.Checked"] = "True";
    values_["NextButton.Enabled"] = "False";
    values_["Edit1.Text"] = "";
    values_["Label1.Caption"] = "A";
  }
  std::optional<std::string> ReadProperty(std::string_view control,
                                          std::string_view property) override {
    ++reads;
    const auto it = values_.find(std::string(control) + "." + std::string(property));
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void WriteProperty(std::string_view control, std::string_view property,
                     const std::string& value) override {
    ++writes;
    const auto it = values_.find(std::string(control) + "." + std::string(property));
    if (it != values_.end()) it->second = value;
  }
  std::size_t reads = 0;
  std::size_t writes = 0;

 private:
  std::map<std::string, std::string> values_;
};

void FuzzRules(std::string_view text) {
  const std::vector<tavrel::DialogRule> rules = tavrel::ParseDialogRules(text);
  std::size_t lines = 0;
  std::size_t start = 0;
  // The same line cutting as the reader's: CR LF, LF or a lone CR; an empty
  // remainder after the last line end is no line.
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    Check(lines < rules.size());
    CheckRule(text.substr(start, end - start), rules[lines]);
    ++lines;
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') {
      ++start;
    }
  }
  Check(lines == rules.size());
  FakeControls controls;
  tavrel::ApplyDialogRules(rules, controls);
  Check(controls.reads == rules.size() && controls.writes <= rules.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FuzzFormFile(text);
  FuzzRules(text);
  return 0;
}
