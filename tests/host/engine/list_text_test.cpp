#include "engine/core/list_text.h"

#include <gtest/gtest.h>

#include <random>

namespace tavrel {
namespace {

using Items = std::vector<std::string>;

TEST(ListText, WritesQuotesOnlyWhereNeeded) {
  EXPECT_EQ(WriteListText(Items{}), "");
  EXPECT_EQ(WriteListText(Items{""}), "\"\"");
  EXPECT_EQ(WriteListText(Items{"", ""}), ",");
  EXPECT_EQ(WriteListText(Items{"A", "", "B", ""}), "A,,B,");
  EXPECT_EQ(WriteListText(Items{"plain", "C:\\x\\", "caf\xE9"}), "plain,C:\\x\\,caf\xE9");
  EXPECT_EQ(
      WriteListText(Items{"a b", "a,b", "say \"hi\"", "tab\there", "nul" + std::string(1, '\0')}),
      "\"a b\",\"a,b\",\"say \"\"hi\"\"\",\"tab\there\",\"nul" + std::string(1, '\0') + "\"");
}

TEST(ListText, ReadsLeniently) {
  EXPECT_EQ(ReadListText(""), Items{});
  EXPECT_EQ(ReadListText("  \r\n"), Items{});
  EXPECT_EQ(ReadListText("\"\""), Items{""});
  EXPECT_EQ(ReadListText(","), (Items{"", ""}));
  EXPECT_EQ(ReadListText("a,"), (Items{"a", ""}));
  // Only a comma that ends the text adds an empty last item.
  EXPECT_EQ(ReadListText("a, "), Items{"a"});
  EXPECT_EQ(ReadListText("  a ,\t b"), (Items{"a", "b"}));
  EXPECT_EQ(ReadListText("a b,c"), (Items{"a", "b", "c"}));
  EXPECT_EQ(ReadListText("\"x\"\"y\"z,w"), (Items{"x\"y", "z", "w"}));
  EXPECT_EQ(ReadListText("a\"b,c"), (Items{"a\"b", "c"}));
  // A quote that is never closed takes the rest of the text.
  EXPECT_EQ(ReadListText("a,\"b, c"), (Items{"a", "b, c"}));
  EXPECT_EQ(ReadListText("\""), Items{""});
  EXPECT_EQ(ReadListText("\"a\"\""), Items{"a\""});
  // Upper-half bytes are text, not control characters.
  EXPECT_EQ(ReadListText("\xE9\xA0\xFF,x"), (Items{"\xE9\xA0\xFF", "x"}));
}

TEST(ListText, RoundTripsAnyItems) {
  const Items awkward{"",
                      "a,b",
                      " lead",
                      "trail ",
                      "\"",
                      "\"\"",
                      ",",
                      "\r\n",
                      std::string(1, '\0'),
                      "x\x7F",
                      "\xFF\"",
                      "$A$",
                      "C:\\Program Files\\"};
  EXPECT_EQ(ReadListText(WriteListText(awkward)), awkward);
  for (std::size_t i = 0; i < awkward.size(); ++i) {
    const Items one{awkward[i]};
    EXPECT_EQ(ReadListText(WriteListText(one)), one) << i;
  }

  std::mt19937 random(7);
  const std::string alphabet = std::string("ab ,\"\t\r\n\x01\xE9\x7F") + '\0';
  for (int round = 0; round < 3000; ++round) {
    Items items(random() % 5);
    for (auto& item : items) {
      const std::size_t length = random() % 4;
      for (std::size_t i = 0; i < length; ++i) item += alphabet[random() % alphabet.size()];
    }
    ASSERT_EQ(ReadListText(WriteListText(items)), items) << WriteListText(items);
  }
}

}  // namespace
}  // namespace tavrel
