#include "engine/core/parameter_blocks.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/core/engine_state.h"

namespace tavrel {
namespace {

TEST(ParameterBlocks, RecordsAreFoundWhereverTheyStand) {
  ParameterBlocks blocks;
  blocks.Add(ParameterBlock(
      {"id-c", "checks the count", "id-b", "COUNT", "2", "3", "FALSE", "id-a", "COUNT", "5"}));
  EXPECT_EQ(blocks.Get("id-a", 1), "COUNT");
  EXPECT_EQ(blocks.Get("id-a", 2), "5");
  EXPECT_EQ(blocks.Get("id-b", 4), "FALSE");
  // A record's length is not stored: reading on runs into the next record.
  EXPECT_EQ(blocks.Get("id-c", 2), "id-b");
  EXPECT_EQ(blocks.Get("id-missing", 3), "");
  EXPECT_THROW(blocks.Get("id-a", 3), ListIndexError);
  try {
    blocks.Get("id-a", 3);
  } catch (const ListIndexError& error) {
    EXPECT_STREQ(error.what(), "List index out of bounds (10)");
  }
}

TEST(ParameterBlocks, FirstMatchInABlockAndTheLastBlockThatHoldsTheIdentifier) {
  ParameterBlocks blocks;
  blocks.Add(ParameterBlock({"x", "first", "x", "second", "y", "only in one"}));
  EXPECT_EQ(blocks.Get("x", 1), "first");
  blocks.Add(ParameterBlock({"z", "z1", "x", "later block"}));
  EXPECT_EQ(blocks.Get("x", 1), "later block");
  EXPECT_EQ(blocks.Get("y", 1), "only in one");
}

TEST(ParameterBlocks, EngineStateLooksUpByCommandIndex) {
  EngineState state;
  state.script.commandIds = {"a", "b"};
  state.parameters.Add(ParameterBlock({"b", "B1", "a", "A1"}));
  EXPECT_EQ(state.Parameter(0, 1), "A1");
  EXPECT_EQ(state.Parameter(1, 1), "B1");
  EXPECT_THROW(state.Parameter(2, 1), ListIndexError);
}

// The index must answer exactly as a scan from the first line would.
TEST(ParameterBlocks, IndexAgreesWithALinearScan) {
  std::mt19937 random(7);
  std::vector<std::string> lines;
  for (int i = 0; i < 4000; ++i) lines.push_back("v" + std::to_string(random() % 500));
  const std::vector<std::string> copy = lines;
  ParameterBlocks blocks;
  blocks.Add(ParameterBlock(lines));
  for (int probe = 0; probe < 600; ++probe) {
    const std::string id = "v" + std::to_string(probe);
    const std::size_t n = random() % 5 + 1;
    std::string expected;
    bool outOfRange = false;
    for (std::size_t i = 0; i < copy.size(); ++i) {
      if (copy[i] != id) continue;
      if (i + n >= copy.size())
        outOfRange = true;
      else
        expected = copy[i + n];
      break;
    }
    if (outOfRange) {
      EXPECT_THROW(blocks.Get(id, n), ListIndexError);
    } else {
      EXPECT_EQ(blocks.Get(id, n), expected) << id;
    }
  }
}

// Records located once per command (reading ahead of the last record
// first) must be exactly the ones a lookup per parameter finds: records in
// order, out of order, behind an earlier line with the identifier's text,
// in an earlier block only, in several blocks, or nowhere.
TEST(ParameterBlocks, CommandRecordsAgreeWithLookups) {
  std::mt19937 random(11);
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> ids;
    for (int i = 0; i < 60; ++i) ids.push_back("id" + std::to_string(random() % 70));
    ParameterBlocks blocks;
    const int blockCount = static_cast<int>(random() % 3);
    for (int b = 0; b < blockCount; ++b) {
      std::vector<std::string> lines;
      for (std::size_t i = 0; i < ids.size(); ++i) {
        if (random() % 8 == 0) continue;  // no record here
        const std::size_t which = random() % 6 == 0 ? random() % ids.size() : i;
        lines.push_back(ids[which]);
        for (int p = 0; p < 3; ++p) {
          // Parameter values that look like identifiers now and then.
          lines.push_back(random() % 10 == 0 ? "id" + std::to_string(random() % 70)
                                             : "p" + std::to_string(random()));
        }
      }
      blocks.Add(ParameterBlock(std::move(lines)));
    }
    const CommandRecords records(ids, blocks);
    ASSERT_TRUE(records.Covers(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) {
      for (std::size_t n = 1; n <= 4; ++n) {
        bool lookupThrew = false;
        std::string expected;
        try {
          expected = blocks.Get(ids[i], n);
        } catch (const ListIndexError&) {
          lookupThrew = true;
        }
        if (lookupThrew) {
          EXPECT_THROW(records.Get(i, n), ListIndexError);
        } else {
          EXPECT_EQ(records.Get(i, n), expected) << "round " << round << " command " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tavrel
