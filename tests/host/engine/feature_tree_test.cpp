#include "engine/core/feature_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/core/compiled_script.h"
#include "engine/core/components.h"
#include "engine/core/message_table.h"

namespace tavrel {
namespace {

ComponentList Components(const std::vector<std::pair<std::string, bool>>& entries) {
  ComponentList list;
  list.Reset();
  for (const auto& [name, selected] : entries) list.Define(name, selected, "");
  return list;
}

// Each node as "text(data,image)" with its children in braces, in display order.
std::string Shape(const FeatureTree& tree, const std::vector<std::size_t>& level) {
  std::string text;
  for (const std::size_t i : level) {
    const FeatureNode& node = tree.nodes[i];
    if (!text.empty()) text += ' ';
    text += node.text + "(" + std::to_string(node.data) + "," + std::to_string(node.image) + ")";
    if (!node.children.empty()) text += "{" + Shape(tree, node.children) + "}";
  }
  return text;
}

TEST(FeatureTreeTest, SizeTextsPickTheUnitAndGroupDigits) {
  MessageTable messages;
  messages.ReadLanguageFile("1\n2\n3\n4\n5\nbytes\nKB\nMegs\n");
  const struct {
    std::int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 bytes"},
      {999, "999 bytes"},
      {1'000, "1,000 bytes"},
      {1'048'575, "1,048,575 bytes"},
      {1'048'576, "1,024 KB"},
      {5'000'000, "4,882 KB"},
      {1'073'741'823, "1,048,575 KB"},
      {1'073'741'824, "1,024 Megs"},
      {3'000'000'000, "2,861 Megs"},
      {5'000'000'000, "4,768 Megs"},  // past 4 GiB
      {-1, "-1 bytes"},
      {-5'000'000, "-5,000,000 bytes"},  // negative counts are never scaled
      {std::numeric_limits<std::int64_t>::max(), "8,796,093,022,207 Megs"},
      {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808 bytes"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes, messages), c.text) << c.bytes;
}

TEST(FeatureTreeTest, BuildsNodesFromNestedNames) {
  const std::string longName(5000, 'x');
  const struct {
    std::vector<std::pair<std::string, bool>> components;
    std::string shape;
  } cases[] = {
      {{{"Docs", true}, {"Docs\\Samples", false}, {"Tools", true}},
       "Docs(2,1){Samples(3,0)} Tools(4,1)"},
      // A parent defined after its child takes over the grouping node.
      {{{"A\\B", true}}, "A(0,0){B(2,1)}"},
      {{{"A\\B", true}, {"a", true}}, "A(3,1){B(2,1)}"},
      {{{"B", false}, {"A\\B", true}}, "B(2,0) A(0,0){B(3,1)}"},
      // Siblings match without regard to case; the first spelling stays.
      {{{"Docs\\Intro", true}, {"DOCS\\intro\\Deep", false}}, "Docs(0,0){Intro(2,1){Deep(3,0)}}"},
      // A trailing "\" adds no segment; doubled or leading ones give empty texts.
      {{{"Tools\\", true}, {"Tools\\\\X", false}, {"\\Y", true}},
       "Tools(2,1){(0,0){X(3,0)}} (0,0){Y(4,1)}"},
      {{{"", true}, {"\\", false}}, "(3,0)"},
      {{{longName + "\\" + longName, true}}, longName + "(0,0){" + longName + "(2,1)}"},
      // Anything but "TRUE" exactly shows as not installed.
      {{{"Low", false}}, "Low(2,0)"},
  };
  for (const auto& c : cases) {
    const FeatureTree tree = BuildFeatureTree(Components(c.components));
    EXPECT_EQ(Shape(tree, tree.roots), c.shape);
  }

  // Thousands of components, nested deep and wide: every one gets its node.
  ComponentList many;
  many.Reset();
  std::string deep = "D";
  for (int i = 0; i < 3000; ++i) {
    many.Define("Wide\\Item" + std::to_string(i), i % 2 == 0, "");
    deep += "\\D";
    if (i % 100 == 0) many.Define(deep, true, "");
  }
  const FeatureTree tree = BuildFeatureTree(many);
  ASSERT_EQ(tree.roots.size(), 2u);
  EXPECT_EQ(tree.nodes[tree.roots[0]].children.size(), 3000u);
  EXPECT_EQ(tree.DisplayOrder().size(), tree.nodes.size());
  EXPECT_EQ(tree.nodes.size(), 1u + 3000u + 2902u);
}

TEST(FeatureTreeTest, ChecksAndMenuChoicesChangeTheComponents) {
  // The check-list: top-level components only; a check spreads by prefix.
  ComponentList list =
      Components({{"Doc", false}, {"Documentation", false}, {"Doc\\Api", false}, {"Tools", true}});
  std::vector<FeatureListItem> items = FeatureListItems(list);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].text, "Doc");
  EXPECT_TRUE(items[2].checked);
  items[0].checked = true;
  ApplyFeatureChecks(list, items);
  // "Documentation" follows the earlier "Doc" only until its own item runs.
  EXPECT_EQ(list.States(), (std::vector<std::string>{"TRUE", "TRUE", "FALSE", "TRUE", "TRUE"}));
  items = {{"doc", true}, {"Tools", false}};
  ApplyFeatureChecks(list, items);
  EXPECT_EQ(list.States(), (std::vector<std::string>{"TRUE", "TRUE", "TRUE", "TRUE", "FALSE"}));

  // The tree: a node alone, or with everything below, grouping nodes passed through.
  ComponentList components = Components({{"App", false},
                                         {"App\\Help", true},
                                         {"Extras\\Fonts", true},
                                         {"Extras\\Fonts\\Bold", true}});
  FeatureTree tree = BuildFeatureTree(components);
  const std::size_t app = tree.roots[0];
  const std::size_t extras = tree.roots[1];
  ApplyFeatureChoice(tree, components, app, FeatureChoice::kInstallOnly);
  EXPECT_EQ(Shape(tree, tree.roots), "App(2,1){Help(3,1)} Extras(0,0){Fonts(4,1){Bold(5,1)}}");
  ApplyFeatureChoice(tree, components, extras, FeatureChoice::kEntireUnavailable);
  ApplyFeatureChoice(tree, components, app, FeatureChoice::kDoNotInstallOnly);
  EXPECT_EQ(Shape(tree, tree.roots), "App(2,0){Help(3,1)} Extras(0,0){Fonts(4,0){Bold(5,0)}}");
  ApplyFeatureChoice(tree, components, app, FeatureChoice::kDoNotInstallWithSubComponents);
  ApplyFeatureChoice(tree, components, tree.nodes[extras].children[0],
                     FeatureChoice::kInstallWithSubComponents);
  EXPECT_EQ(Shape(tree, tree.roots), "App(2,0){Help(3,0)} Extras(0,0){Fonts(4,1){Bold(5,1)}}");
  EXPECT_EQ(components.States(),
            (std::vector<std::string>{"TRUE", "FALSE", "FALSE", "TRUE", "TRUE"}));

  // The texts about the selection and the space.
  CompiledScript script;
  script.componentSizes = {{"EXTRAS\\FONTS", "3000000"}, {"Extras\\Fonts\\Bold", "2000000000"}};
  components.Define("App", false, "First line$NEWLINE$second$NEWLINE$");
  MessageTable messages;
  const FeatureFacts facts{components, script, 1'000'000, 5'000'000'000, messages};
  EXPECT_EQ(FeatureInformation(2, "app", facts), "First line\r\nsecond\r\n");
  EXPECT_EQ(FeatureInformation(2, "Nothing", facts), "");
  EXPECT_EQ(FeatureInformation(3, "extras\\fonts", facts), "2,929 KB");
  EXPECT_EQ(FeatureInformation(3, "App", facts), "0 bytes");
  EXPECT_EQ(FeatureInformation(4, "", facts), "1,909 MB");
  EXPECT_EQ(FeatureInformation(6, "", facts), "2,859 MB");
  EXPECT_EQ(FeatureInformation(1, "", facts), std::nullopt);
}

}  // namespace
}  // namespace tavrel
