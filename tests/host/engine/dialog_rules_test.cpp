#include "engine/core/dialog_rules.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tavrel {
namespace {

using Pieces =
    std::tuple<std::string, std::string, bool, std::string, std::string, std::string, std::string>;

Pieces PiecesOf(const DialogRule& rule) {
  return {rule.testControl,   rule.testProperty,   rule.notEqual, rule.testValue,
          rule.targetControl, rule.targetProperty, rule.value};
}

Pieces Parsed(std::string_view line) {
  return PiecesOf(ParseDialogRule(line));
}

// Controls as a map of "control.property" (upper case) to text; every read
// and write is logged.
class FakeTarget : public RuleTarget {
 public:
  void Set(const std::string& control, const std::string& property, const std::string& text) {
    values_[Key(control, property)] = text;
  }
  std::optional<std::string> ReadProperty(std::string_view control,
                                          std::string_view property) override {
    log.push_back("read " + std::string(control) + "." + std::string(property));
    const auto it = values_.find(Key(control, property));
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void WriteProperty(std::string_view control, std::string_view property,
                     const std::string& value) override {
    log.push_back("write " + std::string(control) + "." + std::string(property) + "=" + value);
    const auto it = values_.find(Key(control, property));
    if (it != values_.end()) it->second = value;
  }
  std::string Get(const std::string& control, const std::string& property) const {
    const auto it = values_.find(Key(control, property));
    return it == values_.end() ? "<none>" : it->second;
  }

  std::vector<std::string> log;

 private:
  static std::string Key(std::string_view control, std::string_view property) {
    std::string key = std::string(control) + "." + std::string(property);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
  }
  std::map<std::string, std::string> values_;
};

TEST(DialogRule, CutsALineIntoItsPieces) {
  EXPECT_EQ(Parsed("IF (CheckBox1.Checked = True)  THEN  NextButton.Enabled := True;"),
            Pieces("CheckBox1", "Checked", false, "True", "NextButton", "Enabled", "True"));
  EXPECT_EQ(Parsed("IF (Edit1.Text <> )  THEN  Label1.Caption := Path: C:\\a.b = c;  rest"),
            Pieces("Edit1", "Text", true, "", "Label1", "Caption", "Path: C:\\a.b = c"));
  // The test value runs to ")  THEN  ", so it may hold dots, blanks and '='.
  EXPECT_EQ(Parsed("IF (Edit1.Text = 1.5 = x) THEN)  THEN  Panel.Visible := ;"),
            Pieces("Edit1", "Text", false, "1.5 = x) THEN", "Panel", "Visible", ""));
  // The first four characters are skipped whatever they hold.
  EXPECT_EQ(Parsed("xxxxA.B = C)  THEN  D.E := F;"), Pieces("A", "B", false, "C", "D", "E", "F"));
  // " <> " anywhere after the first four characters makes it the operator,
  // even where it only appears in the assigned value.
  EXPECT_EQ(Parsed("IF (A.B = C)  THEN  D.E := x <> y;"),
            Pieces("A", "B = C)  THEN  D.E := x", true, "y;", "", "", ""));
  EXPECT_EQ(Parsed(" <> A.B = C)  THEN  D.E := F;"), Pieces("A", "B", false, "C", "D", "E", "F"));
  // Delimiters are matched exactly: one blank around THEN is not enough.
  EXPECT_EQ(Parsed("IF (A.B = C) THEN D.E := F;"),
            Pieces("A", "B", false, "C) THEN D.E := F;", "", "", ""));
  EXPECT_EQ(Parsed("IF (A.B = C)  then  D.E := F;"),
            Pieces("A", "B", false, "C)  then  D.E := F;", "", "", ""));
}

TEST(DialogRule, RulesCutShortLeaveTheLaterPiecesEmpty) {
  EXPECT_EQ(Parsed(""), Pieces());
  EXPECT_EQ(Parsed("IF "), Pieces());
  EXPECT_EQ(Parsed("IF ("), Pieces());
  EXPECT_EQ(Parsed("IF (A"), Pieces("A", "", false, "", "", "", ""));
  EXPECT_EQ(Parsed("IF (A.B"), Pieces("A", "B", false, "", "", "", ""));
  EXPECT_EQ(Parsed("IF (A.B = C"), Pieces("A", "B", false, "C", "", "", ""));
  EXPECT_EQ(Parsed("IF (A.B = C)  THEN  D"), Pieces("A", "B", false, "C", "D", "", ""));
  EXPECT_EQ(Parsed("IF (A.B = C)  THEN  D.E"), Pieces("A", "B", false, "C", "D", "E", ""));
  EXPECT_EQ(Parsed("IF (A.B = C)  THEN  D.E := F"), Pieces("A", "B", false, "C", "D", "E", "F"));
  EXPECT_EQ(Parsed("IF (A.B <> C"), Pieces("A", "B", true, "C", "", "", ""));
  EXPECT_EQ(Parsed("IF (A.B=C)  THEN  D.E := F;"),
            Pieces("A", "B=C)  THEN  D.E := F;", false, "", "", "", ""));
  EXPECT_EQ(Parsed("IF (A B = C)  THEN  D.E := F;"),
            Pieces("A B = C)  THEN  D", "E := F;", false, "", "", "", ""));
}

TEST(DialogRule, SplitsAFileOnEveryLineEnd) {
  const auto rules = ParseDialogRules(
      "IF (A.B = 1)  THEN  C.D := 2;\r\n"
      "\r\n"
      "IF (A.B <> 1)  THEN  C.D := 3;\n"
      "IF (E.F = x)  THEN  G.H := y;\r"
      "IF (I.J = )  THEN  K.L := z;");
  ASSERT_EQ(rules.size(), 5u);
  EXPECT_EQ(PiecesOf(rules[0]), Pieces("A", "B", false, "1", "C", "D", "2"));
  EXPECT_EQ(PiecesOf(rules[1]), Pieces());
  EXPECT_EQ(PiecesOf(rules[2]), Pieces("A", "B", true, "1", "C", "D", "3"));
  EXPECT_EQ(PiecesOf(rules[3]), Pieces("E", "F", false, "x", "G", "H", "y"));
  EXPECT_EQ(PiecesOf(rules[4]), Pieces("I", "J", false, "", "K", "L", "z"));
  EXPECT_TRUE(ParseDialogRules("").empty());
  EXPECT_EQ(ParseDialogRules("IF (A.B = 1)  THEN  C.D := 2;\r\n").size(), 1u);
  EXPECT_EQ(ParseDialogRules("\n\n").size(), 2u);
}

TEST(DialogRule, AppliesRulesInFileOrder) {
  FakeTarget target;
  target.Set("CheckBox1", "Checked", "True");
  target.Set("NextButton", "Enabled", "False");
  target.Set("Label1", "Caption", "start");
  target.Set("Edit1", "Text", "");
  const auto rules = ParseDialogRules(
      "IF (CheckBox1.Checked = True)  THEN  NextButton.Enabled := True;\r\n"
      // Sees what the rule before it wrote.
      "IF (NextButton.Enabled = True)  THEN  Label1.Caption := ready;\r\n"
      // Exact comparison: letter case counts.
      "IF (checkbox1.checked = TRUE)  THEN  Label1.Caption := upper;\r\n"
      "IF (CheckBox1.Checked <> TRUE)  THEN  Edit1.Text := differs;\r\n"
      "IF (CheckBox1.Checked <> True)  THEN  Edit1.Text := never;\r\n");
  ApplyDialogRules(rules, target);
  EXPECT_EQ(target.Get("NextButton", "Enabled"), "True");
  EXPECT_EQ(target.Get("Label1", "Caption"), "ready");
  EXPECT_EQ(target.Get("Edit1", "Text"), "differs");
  EXPECT_EQ(target.log, (std::vector<std::string>{
                            "read CheckBox1.Checked",
                            "write NextButton.Enabled=True",
                            "read NextButton.Enabled",
                            "write Label1.Caption=ready",
                            "read checkbox1.checked",
                            "read CheckBox1.Checked",
                            "write Edit1.Text=differs",
                            "read CheckBox1.Checked",
                        }));
}

TEST(DialogRule, MissingControlsReadAsEmptyText) {
  FakeTarget target;
  target.Set("Label1", "Caption", "start");
  target.Set("Label2", "Caption", "start");
  ApplyDialogRules(ParseDialogRules("IF (Ghost.Text = )  THEN  Label1.Caption := empty;\n"
                                    "IF (Label1.Nothing <> )  THEN  Label2.Caption := set;\n"
                                    "IF (Ghost.Text <> )  THEN  Label2.Caption := never;\n"
                                    "IF (Label1.Caption = empty)  THEN  Ghost.Text := lost;\n"),
                   target);
  EXPECT_EQ(target.Get("Label1", "Caption"), "empty");
  EXPECT_EQ(target.Get("Label2", "Caption"), "start");
  EXPECT_EQ(target.Get("Ghost", "Text"), "<none>");

  // An empty line reads control "" (missing, so empty text): it matches, and
  // its write goes to no control.
  FakeTarget blank;
  ApplyDialogRules(ParseDialogRules("\n"), blank);
  EXPECT_EQ(blank.log, (std::vector<std::string>{"read .", "write .="}));
}

}  // namespace
}  // namespace tavrel
