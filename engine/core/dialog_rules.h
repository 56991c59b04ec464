// Dialog rules: one line per rule, "IF (Control.Property = value)  THEN
// Other.Property := value;", evaluated against the controls of a form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

struct DialogRule {
  std::string testControl;
  std::string testProperty;
  bool notEqual = false;  // " <> " instead of " = "
  std::string testValue;
  std::string targetControl;
  std::string targetProperty;
  std::string value;
};

// One line of a rules file cut into its pieces. The first four characters
// are skipped unread; each piece then ends at the first occurrence of its
// delimiter in what is left: "." , the operator, ")  THEN  ", ".", " := ",
// ";". The operator is " <> " when the line holds " <> " anywhere after its
// first four characters, else " = ". A piece whose delimiter is missing
// takes the rest of the line, and the pieces after it are empty.
DialogRule ParseDialogRule(std::string_view line);

// Every line of a rules file, in order. Empty lines are kept as rules that
// can never match a control.
std::vector<DialogRule> ParseDialogRules(std::string_view text);

// What the rules read and write: a property of a named control, as text.
// Names are compared without regard to case.
class RuleTarget {
 public:
  virtual ~RuleTarget() = default;
  // nullopt when there is no such control or property.
  virtual std::optional<std::string> ReadProperty(std::string_view control,
                                                  std::string_view property) = 0;
  // Does nothing when there is no such control or property.
  virtual void WriteProperty(std::string_view control, std::string_view property,
                             const std::string& value) = 0;
};

// Walks the rules in order: a missing control or property reads as the empty
// text; the test compares exactly (letter case included).
void ApplyDialogRules(const std::vector<DialogRule>& rules, RuleTarget& target);

}  // namespace tavrel
