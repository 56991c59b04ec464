// Parameter lookup: parameter n of a command is the n-th line after the
// first line of a parameter block that equals the command's identifier.
// Each block is indexed once, so a lookup costs one hash probe per block
// instead of a scan of the block.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
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

 private:
  std::vector<std::string> lines_;
  std::unordered_map<std::string_view, std::size_t> firstLine_;
};

class ParameterBlocks {
 public:
  void Add(ParameterBlock block) { blocks_.push_back(std::move(block)); }

  // Parameter n (from 1) of the record keyed by id. The last block that
  // holds the identifier answers; without a record the parameter is empty.
  // A position past the end of that block raises ListIndexError.
  const std::string& Get(std::string_view id, std::size_t n) const;

 private:
  std::vector<ParameterBlock> blocks_;
};

}  // namespace tavrel
