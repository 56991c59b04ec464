// Parameter lookup: parameter n of a command is the n-th line after the
// first line of a parameter block that equals the command's identifier.
// Each block is indexed once, so a lookup costs one hash probe per block
// instead of a scan of the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Raised for a position outside a list, with the text the engine has always
// reported for it.
class ListIndexError : public std::out_of_range {
 public:
  explicit ListIndexError(std::size_t index);
};

class ParameterBlock {
 public:
  explicit ParameterBlock(std::vector<std::string> lines);
  ParameterBlock(ParameterBlock&&) = default;
  ParameterBlock& operator=(ParameterBlock&&) = default;
  // The index points into lines_, so a copy would dangle.
  ParameterBlock(const ParameterBlock&) = delete;
  ParameterBlock& operator=(const ParameterBlock&) = delete;

  // Position of the first line equal to id (whole line, case-sensitive).
  std::optional<std::size_t> Find(std::string_view id) const;
  const std::vector<std::string>& Lines() const { return lines_; }
  // True when no earlier line of the block has the same text.
  bool IsFirstOccurrence(std::size_t line) const { return firstOccurrence_[line] != 0; }

 private:
  // The slot of a text in firstLine_, or of the empty slot where it belongs.
  std::size_t SlotOf(std::string_view text) const;

  std::vector<std::string> lines_;
  // Open addressing over the lines' texts, each slot the first line's
  // position + 1 (0 for empty), at most half full: one small table instead
  // of a node for each of a hundred thousand lines.
  std::vector<std::uint32_t> firstLine_;
  std::vector<unsigned char> firstOccurrence_;
};

// Where a command's record starts: its block's lines and the position of
// the identifier line; not found when no block holds the identifier. The
// lines stay where they are when blocks are added or moved.
struct RecordLocation {
  std::span<const std::string> lines;
  std::size_t position = 0;
  bool found = false;

  // Same rules as ParameterBlocks::Get.
  const std::string& Parameter(std::size_t n) const;
};

class ParameterBlocks {
 public:
  void Add(ParameterBlock block) { blocks_.push_back(std::move(block)); }

  // The record keyed by id, found once so that a command's parameters can
  // be read without further lookups.
  RecordLocation Locate(std::string_view id) const;
  // The block that answers for every identifier it holds; null when none.
  const ParameterBlock* LastBlock() const { return blocks_.empty() ? nullptr : &blocks_.back(); }

  // Parameter n (from 1) of the record keyed by id. The last block that
  // holds the identifier answers; without a record the parameter is empty.
  // A position past the end of that block raises ListIndexError.
  const std::string& Get(std::string_view id, std::size_t n) const;

 private:
  std::vector<ParameterBlock> blocks_;
};

// The records of a script's commands, located once (command index ->
// record), so that reading parameters while the script runs costs no hash
// probes.
class CommandRecords {
 public:
  CommandRecords() = default;
  CommandRecords(const std::vector<std::string>& commandIds, const ParameterBlocks& blocks);

  bool Covers(std::size_t commandCount) const { return records_.size() == commandCount; }
  // Parameter n (from 1) of the command at index i.
  const std::string& Get(std::size_t commandIndex, std::size_t n) const;

 private:
  std::vector<RecordLocation> records_;
};

}  // namespace tavrel
