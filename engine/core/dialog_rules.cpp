#include "engine/core/dialog_rules.h"

#include <array>

#include "common/text_lines.h"

namespace tavrel {

DialogRule ParseDialogRule(std::string_view line) {
  DialogRule rule;
  // The first four characters ("IF (") are never looked at.
  if (line.size() < 4) return rule;
  std::string_view rest = line.substr(4);
  rule.notEqual = rest.find(" <> ") != std::string_view::npos;

  const std::array<std::string*, 6> pieces{&rule.testControl,    &rule.testProperty,
                                           &rule.testValue,      &rule.targetControl,
                                           &rule.targetProperty, &rule.value};
  const std::array<std::string_view, 6> delimiters{
      ".", rule.notEqual ? " <> " : " = ", ")  THEN  ", ".", " := ", ";"};
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::size_t at = rest.find(delimiters[i]);
    if (at == std::string_view::npos) {
      // A rule cut short: this piece takes what is left, the later ones stay
      // empty.
      pieces[i]->assign(rest);
      break;
    }
    pieces[i]->assign(rest.substr(0, at));
    rest.remove_prefix(at + delimiters[i].size());
  }
  return rule;
}

std::vector<DialogRule> ParseDialogRules(std::string_view text) {
  std::vector<DialogRule> rules;
  common::LineReader reader(text);
  for (std::string_view line; reader.Next(line);) rules.push_back(ParseDialogRule(line));
  return rules;
}

void ApplyDialogRules(const std::vector<DialogRule>& rules, RuleTarget& target) {
  for (const auto& rule : rules) {
    const std::string current =
        target.ReadProperty(rule.testControl, rule.testProperty).value_or(std::string());
    if ((current == rule.testValue) != rule.notEqual) {
      target.WriteProperty(rule.targetControl, rule.targetProperty, rule.value);
    }
  }
}

}  // namespace tavrel
