#include "engine/core/form_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrel {
namespace {

using Kind = FormProperty::Kind;
using Bytes = std::vector<unsigned char>;
using Items = std::vector<std::string>;

// The root of "object Test: TForm" holding the given body.
FormObject ReadBody(const std::string& body) {
  return ReadFormFile("object Test: TForm\n" + body + "end\n");
}

// The one property of a root holding "body".
FormProperty OnlyProperty(const std::string& body) {
  const FormObject root = ReadBody(body);
  EXPECT_EQ(root.properties.size(), 1u) << body;
  return root.properties.empty() ? FormProperty{} : root.properties.front();
}

// What the reader says about a malformed file, with the line it reports
// checked against the start of the message.
std::string ErrorOf(std::string_view text) {
  try {
    ReadFormFile(text);
  } catch (const FormFileError& error) {
    const std::string what = error.what();
    EXPECT_EQ(what.rfind("line " + std::to_string(error.Line()) + ": ", 0), 0u) << what;
    return what;
  }
  return "no error";
}

std::string NestedObjects(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "object O" + std::to_string(i) + ": TPanel\n";
  for (int i = 0; i < levels; ++i) text += "end\n";
  return text;
}

// A root whose first property holds collections nested "levels" deep.
std::string NestedCollections(int levels) {
  std::string text = "object Test: TForm\n";
  for (int i = 0; i < levels; ++i) text += "Sub = < item\n";
  for (int i = 0; i < levels; ++i) text += "end >\n";
  return text + "end\n";
}

TEST(FormFile, ReadsObjectHeadersAndNesting) {
  const FormObject root = ReadFormFile(
      "object Welcome: TPoolTemplate\n"
      "  Left = 1\n"
      "  object Panel1: TPanel [2]\n"
      "    object : TLabel\n"
      "    end\n"
      "    OBJECT TBevel\n"
      "    END\n"
      "  end\n"
      "  Top = 2\n"
      "  inherited Base: TFrame\n"
      "  end\n"
      "  inline Frame1: TFrame1 [0]\n"
      "    Tag = 3\n"
      "  end\n"
      "  Width = 3\n"
      "end");
  EXPECT_EQ(root.name, "Welcome");
  EXPECT_EQ(root.className, "TPoolTemplate");
  EXPECT_FALSE(root.inherited);
  EXPECT_EQ(root.line, 1u);
  // Properties after and between children still belong to the root.
  ASSERT_EQ(root.properties.size(), 3u);
  EXPECT_EQ(root.properties[0].name, "Left");
  EXPECT_EQ(root.properties[1].name, "Top");
  EXPECT_EQ(root.properties[1].line, 9u);
  EXPECT_EQ(root.properties[2].name, "Width");

  ASSERT_EQ(root.children.size(), 3u);
  const FormObject& panel = root.children[0];
  EXPECT_EQ(panel.name, "Panel1");
  EXPECT_EQ(panel.className, "TPanel");
  EXPECT_EQ(panel.line, 3u);
  ASSERT_EQ(panel.children.size(), 2u);
  EXPECT_EQ(panel.children[0].name, "");
  EXPECT_EQ(panel.children[0].className, "TLabel");
  EXPECT_EQ(panel.children[1].name, "");
  EXPECT_EQ(panel.children[1].className, "TBevel");
  EXPECT_EQ(panel.children[1].line, 6u);

  EXPECT_TRUE(root.children[1].inherited);
  EXPECT_EQ(root.children[1].name, "Base");
  EXPECT_TRUE(root.children[2].inherited);
  EXPECT_EQ(root.children[2].className, "TFrame1");
  ASSERT_EQ(root.children[2].properties.size(), 1u);
  EXPECT_EQ(root.children[2].properties[0].text, "3");
}

TEST(FormFile, ReadsNumbersIdentifiersAndSets) {
  const FormObject root = ReadBody(
      "Left = -12\n"
      "Top = +7\n"
      "Color = $00FF8000\n"
      "Negative = -$10\n"
      "Widest = $FFFFFFFFFFFFFFFF\n"
      "Padded = 007\n"
      "Ratio = 1.5\n"
      "Big = 1.5E3\n"
      "Small = -2.25e-3\n"
      "Plain = 1E5\n"
      "Money = 12.5c\n"
      "Visible = True\n"
      "BorderStyle = bsDialog\n"
      "DataSource = Form1.Source1\n"
      "Font.Style = [fsBold,fsItalic ,  fsUnderline]\n"
      "Anchors = [\n  akLeft,\n  akTop]\n"
      "Options = []\n");
  const auto expect = [&](std::string_view name, Kind kind, std::string_view text) {
    const FormProperty* property = root.Find(name);
    ASSERT_NE(property, nullptr) << name;
    EXPECT_EQ(property->kind, kind) << name;
    EXPECT_EQ(property->text, text) << name;
  };
  expect("Left", Kind::kInteger, "-12");
  expect("Top", Kind::kInteger, "7");
  expect("Color", Kind::kInteger, "16744448");
  expect("Negative", Kind::kInteger, "-16");
  expect("Widest", Kind::kInteger, "18446744073709551615");
  expect("Padded", Kind::kInteger, "007");
  expect("Ratio", Kind::kFloat, "1.5");
  expect("Big", Kind::kFloat, "1.5E3");
  expect("Small", Kind::kFloat, "-2.25e-3");
  expect("Plain", Kind::kFloat, "1E5");
  expect("Money", Kind::kFloat, "12.5c");
  expect("Visible", Kind::kIdentifier, "True");
  expect("BorderStyle", Kind::kIdentifier, "bsDialog");
  expect("DataSource", Kind::kIdentifier, "Form1.Source1");
  expect("Font.Style", Kind::kSet, "[fsBold, fsItalic, fsUnderline]");
  expect("Anchors", Kind::kSet, "[akLeft, akTop]");
  expect("Options", Kind::kSet, "[]");
  EXPECT_EQ(root.Find("Anchors")->line, 17u);
}

TEST(FormFile, DecodesStrings) {
  const auto text = [](const std::string& value) {
    const FormProperty property = OnlyProperty("Caption = " + value + "\n");
    EXPECT_EQ(property.kind, Kind::kString) << value;
    return property.text;
  };
  EXPECT_EQ(text("''"), "");
  EXPECT_EQ(text("'It''s'"), "It's");
  EXPECT_EQ(text("''''"), "'");
  EXPECT_EQ(text("'a'#13#10'b'"), "a\r\nb");
  EXPECT_EQ(text("#65#$42#$6a'x'#9"), "ABjx\t");
  EXPECT_EQ(text("'nul'#0'x'"), std::string("nul\0x", 5));
  // Codes beyond 8 bits have no character here.
  EXPECT_EQ(text("#1058#1077'!'#256#255"),
            "??"
            "!?\xFF");
  EXPECT_EQ(text("#99999999999999999999#$FFFFFFFFFFFF"), "??");
  // Upper-half bytes inside quotes are text as they stand.
  EXPECT_EQ(text("'caf\xE9 \x80\xFF'"), "caf\xE9 \x80\xFF");
  // Blanks and line ends inside the quotes are kept; '+' joins across lines.
  EXPECT_EQ(text("'  two  blanks '"), "  two  blanks ");
  EXPECT_EQ(text("'Welcome to the ' + 'installer'"), "Welcome to the installer");
  EXPECT_EQ(text("\n  'First line'#13#10 +\n  'second' +\r\n  #9'third'"),
            "First line\r\nsecond\tthird");
  EXPECT_EQ(text("'a'+'b'+\r'c'"), "abc");
  // Characters special elsewhere are plain text in quotes.
  EXPECT_EQ(text("'= { } < > ( ) [ ] # $ + end object'"), "= { } < > ( ) [ ] # $ + end object");

  // The property after a joined string still starts where it is written.
  const FormObject root = ReadBody("Hint = 'a' +\n  'b'\nTag = 5\n");
  ASSERT_EQ(root.properties.size(), 2u);
  EXPECT_EQ(root.properties[1].line, 4u);
}

TEST(FormFile, ReadsListsOverSeveralLines) {
  const FormProperty strings = OnlyProperty(
      "Items.Strings = (\n"
      "  'One'\n"
      "  'Two'#9'tab'\n"
      "  'long ' +\n"
      "    'joined'\n"
      "  ''\n"
      "  'last')\n");
  EXPECT_EQ(strings.name, "Items.Strings");
  EXPECT_EQ(strings.kind, Kind::kList);
  EXPECT_EQ(strings.items, (Items{"One", "Two\ttab", "long joined", "", "last"}));
  EXPECT_EQ(strings.text, "One\r\nTwo\ttab\r\nlong joined\r\n\r\nlast");
  EXPECT_EQ(strings.line, 2u);

  const FormProperty mixed = OnlyProperty("Values = (1 -2 $10 2.5 clRed 'x' [a,b])\n");
  EXPECT_EQ(mixed.items, (Items{"1", "-2", "16", "2.5", "clRed", "x", "[a, b]"}));

  const FormProperty empty = OnlyProperty("Lines.Strings = (\n)\n");
  EXPECT_EQ(empty.kind, Kind::kList);
  EXPECT_TRUE(empty.items.empty());
  EXPECT_EQ(empty.text, "");
}

TEST(FormFile, ReadsCollections) {
  const FormObject root = ReadBody(
      "Columns = <\n"
      "  item\n"
      "    Caption = 'Name'\n"
      "    Width = 120\n"
      "  end\n"
      "  item [1]\n"
      "    Caption = 'Size'\n"
      "    Sub = <\n"
      "      item\n"
      "        Data = {0A0b}\n"
      "      end>\n"
      "    Flags = [cfRight]\n"
      "  end\n"
      "  item\n"
      "  end>\n"
      "Panels = <>\n"
      "Empty = < >\n"
      "Tag = 1\n");
  const FormProperty* columns = root.Find("Columns");
  ASSERT_NE(columns, nullptr);
  EXPECT_EQ(columns->kind, Kind::kCollection);
  EXPECT_EQ(columns->text, "");
  ASSERT_EQ(columns->collection.size(), 3u);
  ASSERT_EQ(columns->collection[0].size(), 2u);
  EXPECT_EQ(columns->collection[0][0].name, "Caption");
  EXPECT_EQ(columns->collection[0][0].text, "Name");
  EXPECT_EQ(columns->collection[0][1].text, "120");
  EXPECT_EQ(columns->collection[0][1].line, 5u);
  const auto& second = columns->collection[1];
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[1].kind, Kind::kCollection);
  ASSERT_EQ(second[1].collection.size(), 1u);
  ASSERT_EQ(second[1].collection[0].size(), 1u);
  EXPECT_EQ(second[1].collection[0][0].bytes, (Bytes{0x0A, 0x0B}));
  EXPECT_EQ(second[2].text, "[cfRight]");
  EXPECT_TRUE(columns->collection[2].empty());

  ASSERT_NE(root.Find("Panels"), nullptr);
  EXPECT_EQ(root.Find("Panels")->kind, Kind::kCollection);
  EXPECT_TRUE(root.Find("Panels")->collection.empty());
  EXPECT_TRUE(root.Find("Empty")->collection.empty());
  EXPECT_EQ(root.Find("Tag")->text, "1");
}

TEST(FormFile, ReadsBinaryOverSeveralLines) {
  const FormProperty data = OnlyProperty(
      "Picture.Data = {\n"
      "  0754426974  6D6170\n"
      "\tff00a\n"
      "  B}\n");
  EXPECT_EQ(data.kind, Kind::kBinary);
  EXPECT_EQ(data.text, "");
  EXPECT_EQ(data.bytes, (Bytes{0x07, 0x54, 0x42, 0x69, 0x74, 0x6D, 0x61, 0x70, 0xFF, 0x00, 0xAB}));

  const FormObject root = ReadBody("Data = {}\nTag = 2\n");
  EXPECT_EQ(root.properties[0].kind, Kind::kBinary);
  EXPECT_TRUE(root.properties[0].bytes.empty());
  EXPECT_EQ(root.properties[1].line, 3u);
}

TEST(FormFile, TakesEveryLineEndAndTrailingBlanks) {
  for (const std::string end : {"\n", "\r\n", "\r"}) {
    const FormObject root =
        ReadFormFile("object A: T" + end + end + "  Caption = 'x' +" + end + "  'y'" + end +
                     "  Tag = 1" + end + "end" + end + "  " + end + "\t" + end);
    ASSERT_EQ(root.properties.size(), 2u);
    EXPECT_EQ(root.properties[0].text, "xy");
    EXPECT_EQ(root.properties[1].line, 5u);
  }
  // No line end at all after "end", and several values on one line.
  const FormObject root = ReadFormFile("object A: T Left = 1 Top = 2 end");
  EXPECT_EQ(root.properties.size(), 2u);
}

TEST(FormFile, FindsTheLastPropertyOfANameInAnyCase) {
  const FormObject root = ReadBody("Caption = 'first'\nFont.Name = 'Arial'\ncaption = 'second'\n");
  ASSERT_NE(root.Find("CAPTION"), nullptr);
  EXPECT_EQ(root.Find("CAPTION")->text, "second");
  EXPECT_EQ(root.Find("font.name")->text, "Arial");
  EXPECT_EQ(root.Find("Font"), nullptr);
  EXPECT_EQ(root.Find("Name"), nullptr);
  EXPECT_EQ(root.Find(""), nullptr);
  // Words the reader reserves may still name a property when '=' follows.
  const FormObject odd = ReadBody("End = 1\nObject = 2\nitem = 3\n");
  EXPECT_EQ(odd.properties.size(), 3u);
  EXPECT_EQ(odd.Find("end")->text, "1");
}

TEST(FormFile, ReportsMalformedFilesByLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "line 1: the file is empty"},
      {"  \r\n\r\n\t", "line 1: the file is empty"},
      {"\n\nCaption = 'x'\n",
       "line 3: expected 'object', 'inherited' or 'inline', found 'Caption'"},
      {"object\nend\n", "line 2: expected a class name after 'object', found 'end'"},
      {"object A:\n", "line 1: expected a class name after ':', found the end of the file"},
      {"object A: T [x]\nend", "line 1: expected an index number after '['"},
      {"object A: T\n  Caption = 'abc\nend\n", "line 2: unterminated string"},
      {"object A: T\r  Tag = 1\r  Caption = 'abc", "line 3: unterminated string"},
      {"object A: T\n  Caption = 'a'#\nend", "line 2: expected a character code after '#'"},
      {"object A: T\n  Caption = 'a'#$\nend", "line 2: expected a character code after '#'"},
      {"object A: T\n  Left = 1\n", "line 2: missing 'end' of the object begun on line 1"},
      {"object A: T\n  object B: T\n    Left = 1\n  end\n\n\n",
       "line 4: missing 'end' of the object begun on line 1"},
      {"object A: T\r\n\r\n  Left 1\r\nend\r\n", "line 3: expected '=' after property name 'Left'"},
      {"object A: T\n  Left\n  Top = 1\nend", "line 2: expected '=' after property name 'Left'"},
      {"object A: T\n  Caption =\nend\n", "line 2: expected a value after '='"},
      {"object A: T\n  Caption = )\nend\n", "line 2: expected a value after '='"},
      {"object A: T\n  Caption = 'a' +\n  5\nend", "line 2: expected a string after '+'"},
      {"object A: T\n  Left = 12px\nend", "line 2: malformed number '12px'"},
      {"object A: T\n  Left = 1.5E\nend", "line 2: malformed number '1.5E'"},
      {"object A: T\n  Left = $\nend", "line 2: malformed number '$'"},
      {"object A: T\n  Left = $1FFFFFFFFFFFFFFFF\nend", "line 2: number out of range"},
      {"object A: T\n  Style = [a b]\nend", "line 2: expected ',' or ']' in the set, found 'b'"},
      {"object A: T\n  Style = [a,]\nend", "line 2: expected a name in the set, found ']'"},
      {"object A: T\n  Style = [a,\n", "line 2: missing ']'"},
      {"object A: T\n  Items = (\n    'a'\nend\n", "line 4: missing ')' at the end of the list"},
      {"object A: T\n  Items = ('a' {00})\nend\n", "line 2: unexpected binary data in a list"},
      {"object A: T\n  Items = ('a' (1))\nend\n", "line 2: unexpected '(' in a list"},
      {"object A: T\n  Cols = < Width = 1 >\nend",
       "line 2: expected 'item' or '>' in a collection, found 'Width'"},
      {"object A: T\n  Cols = <\n    item\n      Width = 1\n  >\nend",
       "line 5: expected a property name or 'end' in a collection item, found '>'"},
      {"object A: T\n  Cols = <\n    item\n      object B: T\n      end\n    end>\nend",
       "line 4: expected a property name or 'end' in a collection item, found 'object'"},
      {"object A: T\n  Cols = <\n    item\n",
       "line 3: missing 'end' of the collection item begun "
       "on line 3"},
      {"object A: T\n  Cols = <\n    item\n    end\n", "line 4: missing '>'"},
      {"object A: T\n  Data = {\n    0A0\n  }\nend",
       "line 2: odd number of hex digits in binary data"},
      {"object A: T\n  Data = {0A\n    0G}\nend", "line 3: invalid 'G' in binary data"},
      {"object A: T\n  Data = {0A,0B}\nend", "line 2: invalid ',' in binary data"},
      {"object A: T\n  Data = {0A0B\n  0C\n", "line 2: unterminated binary data (missing '}')"},
      {"object A: T\n  Data = {0A0B\nend\n", "line 3: invalid 'n' in binary data"},
      {"object A: T\nend\nobject B: T\nend",
       "line 3: unexpected text after the end of the root object"},
      {"object A: T\nend\n\n  x", "line 4: unexpected text after the end of the root object"},
      {"object A: T\nend.", "line 2: unexpected text after the end of the root object"},
      {"object A: T\n  @ = 1\nend",
       "line 2: expected a property name, 'object' or 'end', found '@'"},
      {"object A: T\n  \x80x = 1\nend",
       "line 2: expected a property name, 'object' or 'end', found character 0x80"},
      {std::string("object A: T\n\0\nend", 17),
       "line 2: expected a property name, 'object' or 'end', found character 0x00"},
      {"\xEF\xBB\xBFobject A: T\nend",
       "line 1: expected 'object', 'inherited' or 'inline', found character 0xEF"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(ErrorOf(text), message) << text;
}

TEST(FormFile, BoundsNesting) {
  EXPECT_EQ(ReadFormFile(NestedObjects(64)).children.size(), 1u);
  EXPECT_EQ(ErrorOf(NestedObjects(65)), "line 65: nesting deeper than 64 levels");
  // Far deeper input stops at the bound instead of running out of stack.
  EXPECT_EQ(ErrorOf(NestedObjects(200000)), "line 65: nesting deeper than 64 levels");

  // Collections count as a level each, below the object that holds them.
  const FormObject collections = ReadFormFile(NestedCollections(63));
  ASSERT_EQ(collections.properties.size(), 1u);
  EXPECT_EQ(collections.properties[0].collection.size(), 1u);
  EXPECT_EQ(ErrorOf(NestedCollections(64)), "line 65: nesting deeper than 64 levels");
  EXPECT_EQ(ErrorOf(NestedCollections(100000)), "line 65: nesting deeper than 64 levels");
  // Lists and sets do not nest at all.
  EXPECT_EQ(ErrorOf("object A: T\n  X = (" + std::string(100000, '(')),
            "line 2: unexpected '(' in a list");
  EXPECT_EQ(ErrorOf("object A: T\n  X = [" + std::string(100000, '[')),
            "line 2: expected a name in the set, found '['");
}

TEST(FormFile, ReadsAWholeDialog) {
  const FormObject root = ReadFormFile(
      "object Welcome: TPoolTemplate\r\n"
      "  Left = 192\r\n"
      "  Top = 114\r\n"
      "  BorderStyle = bsDialog\r\n"
      "  Caption = 'Welcome to the ' + 'installer'\r\n"
      "  ClientHeight = 313\r\n"
      "  ClientWidth = 497\r\n"
      "  Color = clBtnFace\r\n"
      "  Font.Charset = DEFAULT_CHARSET\r\n"
      "  Font.Color = clWindowText\r\n"
      "  Font.Height = -11\r\n"
      "  Font.Name = 'MS Sans Serif'\r\n"
      "  Font.Style = []\r\n"
      "  OldCreateOrder = False\r\n"
      "  Position = poScreenCenter\r\n"
      "  PixelsPerInch = 96\r\n"
      "  TextHeight = 13\r\n"
      "  object Banner: TImage\r\n"
      "    Left = 0\r\n"
      "    Top = 0\r\n"
      "    Width = 164\r\n"
      "    Height = 314\r\n"
      "    Picture.Data = {\r\n"
      "      07544269746D6170\r\n"
      "      4200}\r\n"
      "  end\r\n"
      "  object Title: TLabel\r\n"
      "    Left = 176\r\n"
      "    Caption = 'Welcome to the %APPNAME% Setup Wizard'\r\n"
      "    Font.Style = [fsBold]\r\n"
      "    ParentFont = False\r\n"
      "    WordWrap = True\r\n"
      "  end\r\n"
      "  object Info: TMemo\r\n"
      "    Lines.Strings = (\r\n"
      "      'This wizard will install %APPNAME% on your computer.'\r\n"
      "      ''\r\n"
      "      'Click Next to continue, or Cancel to exit Setup.')\r\n"
      "    ReadOnly = True\r\n"
      "    TabOrder = 0\r\n"
      "  end\r\n"
      "  object Options: TPanel\r\n"
      "    BevelOuter = bvNone\r\n"
      "    object CheckBox1: TCheckBox\r\n"
      "      Caption = 'I &accept the agreement'\r\n"
      "      Checked = False\r\n"
      "      Hint = 'Tick'#13#10'to go on'\r\n"
      "    end\r\n"
      "    object Files: TListView\r\n"
      "      Columns = <\r\n"
      "        item\r\n"
      "          Caption = 'Name'\r\n"
      "          Width = 200\r\n"
      "        end\r\n"
      "        item\r\n"
      "          Alignment = taRightJustify\r\n"
      "          Caption = 'Size'\r\n"
      "        end>\r\n"
      "    end\r\n"
      "  end\r\n"
      "  object NextButton: TButton\r\n"
      "    Caption = '&Next >'\r\n"
      "    Default = True\r\n"
      "    Enabled = False\r\n"
      "    Tag = 1\r\n"
      "  end\r\n"
      "end\r\n");
  EXPECT_EQ(root.className, "TPoolTemplate");
  EXPECT_EQ(root.properties.size(), 16u);
  EXPECT_EQ(root.Find("Caption")->text, "Welcome to the installer");
  EXPECT_EQ(root.Find("Font.Height")->text, "-11");
  EXPECT_EQ(root.Find("Font.Style")->text, "[]");
  ASSERT_EQ(root.children.size(), 5u);
  EXPECT_EQ(root.children[0].Find("Picture.Data")->bytes.size(), 10u);
  EXPECT_EQ(root.children[1].Find("Font.Style")->text, "[fsBold]");
  EXPECT_EQ(root.children[2].Find("Lines.Strings")->items.size(), 3u);
  const FormObject& options = root.children[3];
  ASSERT_EQ(options.children.size(), 2u);
  EXPECT_EQ(options.children[0].name, "CheckBox1");
  EXPECT_EQ(options.children[0].Find("Hint")->text, "Tick\r\nto go on");
  EXPECT_EQ(options.children[1].Find("Columns")->collection.size(), 2u);
  EXPECT_EQ(root.children[4].name, "NextButton");
  EXPECT_EQ(root.children[4].line, 61u);
  EXPECT_EQ(root.children[4].Find("Enabled")->text, "False");
}

TEST(FormFile, ReadsLargeInputsInOnePass) {
  // About 10 MB: many properties, a long list, a long joined string and a
  // large binary block. Work that grows faster than the input shows here as
  // a test that does not end.
  std::string text = "object Big: TForm\n";
  for (int i = 0; i < 100000; ++i) text += "  Prop" + std::to_string(i) + " = 'value'#13#10'x'\n";
  text += "  Items.Strings = (\n";
  for (int i = 0; i < 100000; ++i) text += "    'item " + std::to_string(i) + "'\n";
  text += "  )\n  Hint = 'a'";
  for (int i = 0; i < 100000; ++i) text += " +\n    'part'";
  text += "\n  Data = {\n";
  for (int i = 0; i < 100000; ++i) text += "    00112233445566778899AABBCCDDEEFF\n";
  text += "  }\n  Long = '" + std::string(3000000, 'x') + "'\nend\n";
  const FormObject root = ReadFormFile(text);
  EXPECT_EQ(root.properties.size(), 100004u);
  EXPECT_EQ(root.Find("Prop99999")->text, "value\r\nx");
  EXPECT_EQ(root.Find("Items.Strings")->items.size(), 100000u);
  EXPECT_EQ(root.Find("Hint")->text.size(), 400001u);
  EXPECT_EQ(root.Find("Data")->bytes.size(), 1600000u);
  EXPECT_EQ(root.Find("Long")->text.size(), 3000000u);
}

}  // namespace
}  // namespace tavrel
