#include "engine/core/variable_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/core/list_text.h"
#include "engine/core/script_text.h"

namespace tavrel {
namespace {

// Expansion exactly as its rule reads: one case-blind search-and-replace per
// variable in store order, with the same bounds as the store's.
std::string ReplaceAllFolded(std::string_view text, std::string_view pattern,
                             std::string_view value) {
  const std::string upperText = ToUpperAnsi(text);
  const std::string upperPattern = ToUpperAnsi(pattern);
  std::string result;
  std::size_t done = 0;
  for (std::size_t pos = upperText.find(upperPattern); pos != std::string::npos;
       pos = upperText.find(upperPattern, done)) {
    result.append(text.substr(done, pos - done));
    result.append(value);
    done = pos + pattern.size();
  }
  result.append(text.substr(done));
  return result;
}

std::string NaiveExpand(std::span<const Variable> variables, std::string_view text,
                        ExpansionLimits limits) {
  const auto dollarsIn = [](std::string_view part) {
    return static_cast<std::size_t>(std::count(part.begin(), part.end(), '$'));
  };
  const std::size_t limit = std::max(limits.maxSize, text.size());
  const std::size_t dollarLimit = std::max(limits.maxDollars, dollarsIn(text));
  std::string current(text);
  for (int pass = 0; pass < limits.maxPasses; ++pass) {
    std::string result;
    std::size_t done = 0;
    for (std::size_t pos = current.find("$NEWLINE$"); pos != std::string::npos;
         pos = current.find("$NEWLINE$", done)) {
      result.append(current, done, pos - done);
      result += "\r\n";
      done = pos + 9;
    }
    result.append(current, done);
    for (const Variable& variable : variables) {
      result = ReplaceAllFolded(result, '$' + variable.name + '$', variable.value);
      if (result.size() > limit || dollarsIn(result) > dollarLimit) return current;
    }
    if (result.find('$') == std::string::npos || result == current) return result;
    current = std::move(result);
  }
  return current;
}

class VariableStoreTest : public ::testing::Test {
 protected:
  MessageTable messages_;
  VariableStore store_{messages_};
};

TEST_F(VariableStoreTest, LookupFoldsAsciiLettersOnly) {
  store_.Define("Title", "Demo");
  EXPECT_TRUE(store_.Exists("TITLE"));
  EXPECT_TRUE(store_.Exists("title"));
  EXPECT_FALSE(store_.Exists("TITLE "));
  EXPECT_FALSE(store_.Exists(""));
  EXPECT_EQ(store_.Get("tItLe"), "Demo");
  store_.Set("TITLE", "Other");
  EXPECT_EQ(store_.Get("Title"), "Other");
  // The name stays as it was first spelled.
  store_.Define("TITLE", "Third");
  ASSERT_EQ(store_.Size(), 1u);
  EXPECT_EQ(store_.Variables()[0].name, "Title");
  EXPECT_EQ(store_.Variables()[0].value, "Third");
  // e acute and E acute are different names to lookup.
  store_.Define("caf\xE9", "lower");
  store_.Define("CAF\xC9", "upper");
  EXPECT_EQ(store_.Size(), 3u);
  EXPECT_EQ(store_.Get("CAF\xE9"), "lower");
  EXPECT_EQ(store_.Get("caf\xC9"), "upper");
}

TEST_F(VariableStoreTest, UnknownNamesFailWithTheMessageTableText) {
  store_.Define("A", "1");
  try {
    (void)store_.Get("MISSING");
    FAIL();
  } catch (const UndefinedVariableError& error) {
    EXPECT_STREQ(error.what(), "Attempting to get value of undefined variable MISSING");
  }
  try {
    store_.Set("missing", "x");
    FAIL();
  } catch (const UndefinedVariableError& error) {
    EXPECT_STREQ(error.what(), "Attempting to set value of undefined variable missing");
  }
  EXPECT_EQ(store_.Size(), 1u);

  MessageTable french;
  french.ReadLanguageFile("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\nLire inconnue : \r\n\r\n");
  const VariableStore translated(french);
  try {
    (void)translated.Get("X");
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Lire inconnue : X");
  }
}

TEST_F(VariableStoreTest, DefineAndResultVariables) {
  store_.Define("", "ignored");
  EXPECT_EQ(store_.Size(), 0u);
  EXPECT_EQ(store_.ListText(), "");

  // A result variable is created under the upper-cased name...
  store_.SetResult("result", "1");
  EXPECT_EQ(store_.Variables()[0].name, "RESULT");
  EXPECT_EQ(store_.Get("Result"), "1");
  // ...but an existing one keeps its spelling.
  store_.Define("Mixed", "a");
  store_.SetResult("MIXED", "b");
  EXPECT_EQ(store_.Variables()[1].name, "Mixed");
  EXPECT_EQ(store_.Get("mixed"), "b");
  EXPECT_EQ(store_.Size(), 2u);
  // Nothing can be created for an empty name, so storing into it fails.
  EXPECT_THROW(store_.SetResult("", "x"), UndefinedVariableError);
  EXPECT_EQ(store_.Size(), 2u);

  store_.Clear();
  EXPECT_EQ(store_.Size(), 0u);
  EXPECT_FALSE(store_.Exists("RESULT"));
  store_.Define("RESULT", "again");
  EXPECT_EQ(store_.Get("result"), "again");
}

TEST_F(VariableStoreTest, ExpansionOrderAndPasses) {
  // B after A: A's turn comes before B's value is inserted, so the second
  // pass finishes the job.
  store_.Define("A", "x");
  store_.Define("B", "$A$y");
  EXPECT_EQ(store_.Expand("$B$"), "xy");
  const VariableStore onePass = [&] {
    VariableStore limited(messages_, ExpansionLimits{1, 1000});
    limited.Define("A", "x");
    limited.Define("B", "$A$y");
    return limited;
  }();
  EXPECT_EQ(onePass.Expand("$B$"), "$A$y");

  // A before B: B's turn sees A's value, so one pass does it.
  VariableStore forward(messages_, ExpansionLimits{1, 1000});
  forward.Define("A", "$B$");
  forward.Define("B", "x");
  EXPECT_EQ(forward.Expand("$A$"), "x");

  // Text a variable inserts is not searched by that variable again.
  VariableStore self(messages_, ExpansionLimits{1, 1000});
  self.Define("A", "<$A$>");
  EXPECT_EQ(self.Expand("$A$ $a$"), "<$A$> <$A$>");
}

TEST_F(VariableStoreTest, ExpansionOfCaseAndOddDollars) {
  store_.Define("TITLE", "Demo");
  EXPECT_EQ(store_.Expand("$title$ $Title$ $TITLE$"), "Demo Demo Demo");
  EXPECT_EQ(store_.Expand("a$NEWLINE$b"), "a\r\nb");
  EXPECT_EQ(store_.Expand("$newline$ $NewLine$"), "$newline$ $NewLine$");
  EXPECT_EQ(store_.Expand("100$"), "100$");
  EXPECT_EQ(store_.Expand("$$ $ $$$ $UNKNOWN$ $TITLE"), "$$ $ $$$ $UNKNOWN$ $TITLE");
  EXPECT_EQ(store_.Expand(""), "");
  EXPECT_EQ(store_.Expand("$TITLE$$TITLE$$TITLE$"), "DemoDemoDemo");
  // Neighbouring references share a dollar sign; the search takes the
  // first and goes on after it.
  store_.Define("Z", "z");
  EXPECT_EQ(store_.Expand("$Z$Z$Z$Z$"), "zZzZ$");

  store_.Define("newline", "[nl]");
  EXPECT_EQ(store_.Expand("$newline$|$NEWLINE$"), "[nl]|\r\n");

  // Expansion folds the code page's accented letters, lookup does not.
  store_.Define("CAF\xC9", "coffee");
  EXPECT_EQ(store_.Expand("$caf\xE9$"), "coffee");
  EXPECT_FALSE(store_.Exists("caf\xE9"));
  EXPECT_EQ(store_.ExpandedValue("$caf\xE9$"), "");

  // A name with dollar signs in it is still found.
  store_.ReadListText("A$B,ab,B,b");
  EXPECT_EQ(store_.Expand("$a$b$ $B$"), "ab b");
}

TEST_F(VariableStoreTest, ExpandedValue) {
  store_.Define("A", "x");
  store_.Define("B", "$A$-$A$");
  store_.Define("$C$D$", "odd");
  EXPECT_EQ(store_.ExpandedValue("B"), "x-x");
  EXPECT_EQ(store_.ExpandedValue("$b$"), "x-x");
  EXPECT_EQ(store_.ExpandedValue("$missing$"), "");
  EXPECT_EQ(store_.ExpandedValue("missing"), "");
  EXPECT_EQ(store_.ExpandedValue(""), "");
  EXPECT_EQ(store_.ExpandedValue("$$"), "");
  // Not a reference, so taken as a name.
  EXPECT_EQ(store_.ExpandedValue("$C$D$"), "odd");
}

TEST_F(VariableStoreTest, PathForm) {
  store_.Define("SERVER", "\\\\srv");
  store_.Define("DIR", "C:\\Program Files\\");
  EXPECT_EQ(store_.PathForm("$SERVER$\\share\\file"), "\\\\srv\\share\\file");
  EXPECT_EQ(store_.PathForm("$DIR$\\Demo\\\\x\\"), "C:\\Program Files\\Demo\\x\\");
  EXPECT_EQ(store_.PathForm("a\\\\\\b"), "a\\\\b");
  EXPECT_EQ(store_.PathForm("a\\\\\\\\b"), "a\\\\b");
  EXPECT_EQ(store_.PathForm("\\\\\\x"), "\\\\\\x");
  EXPECT_EQ(store_.PathForm("\\x\\"), "\\x\\");
  EXPECT_EQ(store_.PathForm("\\"), "\\");
  EXPECT_EQ(store_.PathForm("\\\\"), "\\\\");
  EXPECT_EQ(store_.PathForm(""), "");
}

std::string Repeated(std::string_view text, std::size_t times) {
  std::string result;
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

TEST_F(VariableStoreTest, SelfReferenceStopsAtTheBounds) {
  // Grows by one letter a pass: stops after the last pass allowed.
  store_.Define("A", "x$A$");
  EXPECT_EQ(store_.Expand("$A$"), std::string(100, 'x') + "$A$");

  // Doubles per pass: the pass that would pass a bound is dropped.
  VariableStore bySize(messages_, ExpansionLimits{100, 1000, 1000});
  bySize.Define("A", "$A$$A$");
  EXPECT_EQ(bySize.Expand("$A$"), Repeated("$A$", 256));
  VariableStore byDollars(messages_, ExpansionLimits{100, 1000, 100});
  byDollars.Define("A", "$A$$A$");
  EXPECT_EQ(byDollars.Expand("$A$"), Repeated("$A$", 32));

  // A chain that multiplies the text within a single pass: nothing of the
  // pass survives, and nothing is built beyond the bound on the way.
  const auto defineChain = [](VariableStore& store) {
    for (int i = 0; i < 40; ++i) {
      const std::string next = "$V" + std::to_string(i + 1) + "$";
      store.Define("V" + std::to_string(i), next + next);
    }
  };
  VariableStore chain(messages_, ExpansionLimits{100, 1000, 1000});
  defineChain(chain);
  EXPECT_EQ(chain.Expand("a $V0$"), "a $V0$");
  // The default bounds hold against the same chain.
  defineChain(store_);
  EXPECT_EQ(store_.Expand("$V0$"), "$V0$");
  EXPECT_EQ(store_.Expand("$V30$"), Repeated("$V40$", 1024));

  // A text already over the bounds may still shrink, but not grow.
  VariableStore small(messages_, ExpansionLimits{100, 10, 2});
  small.Define("LONG", "0123456789");
  small.Define("S", "s");
  small.Define("D", "$$$");
  EXPECT_EQ(small.Expand("$S$ $S$ $S$ $S$"), "s s s s");
  EXPECT_EQ(small.Expand("$LONG$"), "0123456789");
  EXPECT_EQ(small.Expand("$LONG$$LONG$"), "$LONG$$LONG$");
  EXPECT_EQ(small.Expand("$S$$S$$S$$S$"), "ssss");
  EXPECT_EQ(small.Expand("$D$"), "$D$");
}

TEST_F(VariableStoreTest, ListTextRoundTrip) {
  store_.Define("TITLE", "My App, version 2 \"beta\"");
  store_.Define("EMPTY", "");
  store_.Define("Path", "C:\\Program Files\\My App\\");
  store_.Define("LINES", "one\r\ntwo");
  EXPECT_EQ(store_.ListText(),
            "TITLE,\"My App, version 2 \"\"beta\"\"\",EMPTY,,Path,\"C:\\Program Files\\My "
            "App\\\",LINES,\"one\r\ntwo\"");
  VariableStore copy(messages_);
  copy.Define("OLD", "gone");
  copy.ReadListText(store_.ListText());
  ASSERT_EQ(copy.Size(), 4u);
  EXPECT_FALSE(copy.Exists("OLD"));
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(copy.Variables()[i].name, store_.Variables()[i].name);
    EXPECT_EQ(copy.Variables()[i].value, store_.Variables()[i].value);
  }
  EXPECT_EQ(copy.Get("title"), "My App, version 2 \"beta\"");

  // Repeated names keep every pair and the first answers; nameless pairs are
  // dropped; a name without a value gets an empty one.
  copy.ReadListText("A,1,a,2,,lost,B");
  ASSERT_EQ(copy.Size(), 3u);
  EXPECT_EQ(copy.Get("A"), "1");
  copy.Set("a", "3");
  EXPECT_EQ(copy.ListText(), "A,3,a,2,B,");
  EXPECT_EQ(copy.Get("B"), "");
  // Later duplicates still take part in expansion, after the first.
  copy.ReadListText("A,$a$,a,x");
  EXPECT_EQ(copy.Expand("$A$"), "x");

  copy.ReadListText("");
  EXPECT_EQ(copy.Size(), 0u);
}

// The store against the plain per-variable search on random stores and
// texts built from a few letters, so that names collide, overlap, differ in
// case, hold dollar signs, repeat, and reach both bounds.
TEST_F(VariableStoreTest, ExpansionMatchesThePlainSearch) {
  const std::vector<std::string> names{"A",   "a", "B",  "AB", "\xE9", "\xC9", "NEWLINE",
                                       "A$B", "$", "b$", "x",  "aB",   "Ab$A", "newline"};
  const std::vector<std::string> pieces{"$", "$",    "$",    "A",         "a",   "B",   "b",
                                        "x", "\xE9", "\xC9", "$NEWLINE$", "$A$", "$B$", " "};
  std::mt19937 random(20240611);
  const auto randomText = [&](std::size_t maxPieces) {
    std::string text;
    const std::size_t count = random() % (maxPieces + 1);
    for (std::size_t i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    return text;
  };
  const ExpansionLimits limitSets[] = {{100, 400}, {3, 200}, {1, 100}, {100, 60}};
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::string> items;
    const std::size_t count = random() % 9;
    for (std::size_t i = 0; i < count; ++i) {
      items.push_back(names[random() % names.size()]);
      items.push_back(randomText(4));
    }
    const ExpansionLimits limits = limitSets[round % 4];
    VariableStore store(messages_, limits);
    store.ReadListText(WriteListText(items));
    ASSERT_EQ(store.Size(), count);
    for (int t = 0; t < 5; ++t) {
      const std::string text = randomText(12);
      ASSERT_EQ(store.Expand(text), NaiveExpand(store.Variables(), text, limits))
          << "text " << text << " store " << store.ListText() << " limits " << limits.maxPasses
          << "/" << limits.maxSize;
    }
  }
}

// The same comparison at the size of a real script: hundreds of variables,
// values that refer to earlier and later ones, a text of many references.
TEST_F(VariableStoreTest, ExpansionMatchesThePlainSearchAtScale) {
  std::mt19937 random(99);
  const ExpansionLimits limits{100, std::size_t{1} << 20, std::size_t{1} << 16};
  VariableStore store(messages_, limits);
  const auto name = [](std::size_t i) { return "Var" + std::to_string(i); };
  constexpr std::size_t kCount = 400;
  for (std::size_t i = 0; i < kCount; ++i) {
    std::string value = "v" + std::to_string(i);
    if (random() % 2) value += "$" + name(random() % kCount) + "$";
    if (random() % 4 == 0) value += "$";
    store.Define(random() % 3 ? name(i) : ToUpperAscii(name(i)), value);
  }
  std::string text;
  for (std::size_t i = 0; i < kCount; ++i) {
    text += (random() % 5 ? "$" : "$$") + name(random() % kCount) + (random() % 3 ? "$ " : "$");
  }
  ASSERT_EQ(store.Expand(text), NaiveExpand(store.Variables(), text, limits));
}

}  // namespace
}  // namespace tavrel
